// The fragment random-access boxes: tfra heads, finding mfra through mfro at
// the end of the file, the bounded per-track index (thinning, sorting, the
// reads it costs) and its search.
#include <gtest/gtest.h>

#include <vector>

#include "bxf.h"
#include "fragment_index.h"
#include "movie_parsers.h"
#include "play_handle.h"
#include "support/memory_file.h"
#include "support/opened_movie.h"
#include "support/fragment_writer.h"

using namespace boxw;
using bxf::FragmentIndexEntry;
using bxf::TrackFragmentIndex;

namespace {

// A file in memory with accounting on, so that anything left allocated shows
// in the pool counters.
struct Session : TestInstance {
    MovieRecord movie{};

    explicit Session(Bytes bytes) : TestInstance(std::move(bytes)) { bxf_set_memory_limits(inst, 1, 1 << 20, 50, 0); }
    ~Session() { bxf::release_movie(inst, movie); }
    // The whole file is one mfra box.
    uint32_t parse() { return bxf::parse_mfra(io(), BoxRange{8, file.bytes.size() - 8}, movie); }
};

// Entry i: time 100 i, moof 1000 + i, run i % 3 + 1, sample i + 1.
std::vector<TfraEntry> ladder(uint32_t n) {
    std::vector<TfraEntry> e;
    for (uint32_t i = 0; i < n; ++i) e.push_back(TfraEntry{100ull * i, 1000ull + i, 1, i % 3 + 1, i + 1});
    return e;
}

struct Built {
    uint32_t code;
    std::vector<FragmentIndexEntry> entries;
    bool built;
    uint64_t reads;  // file reads made by the build
};

Built build(const Bytes &tfra_box, uint64_t set_aside, uint64_t budget, uint32_t track = 1) {
    Session s(box("mfra", tfra_box));
    EXPECT_EQ(s.parse(), BXF_RET_OK);
    const uint64_t reads = s.file.reads;
    TrackFragmentIndex index{};
    Built b{bxf::build_track_index(s.io(), s.movie, track, set_aside, budget, &index), {}, index.built, 0};
    b.entries.assign(index.entries, index.entries + index.count);
    b.reads = s.file.reads - reads;
    bxf::release_track_index(s.inst, index);
    return b;
}

TEST(FragmentIndex, TfraHeads) {
    const std::vector<TfraEntry> three = ladder(3);
    struct Row {
        const char *name;
        Bytes tfra;
        uint32_t code, entry_size, count;
    } rows[] = {
        {"version 0, one-byte numbers", tfra(0, 1, 0x00, 3, three), BXF_RET_OK, 11, 3},
        {"version 1, four-byte numbers", tfra(1, 1, 0x3F, 3, three), BXF_RET_OK, 28, 3},
        {"version 0, sizes 2, 3 and 4", tfra(0, 1, 0x1B, 3, three), BXF_RET_OK, 17, 3},
        {"reserved bits do not count", tfra(0, 1, 0xFFFFFFC0, 3, three), BXF_RET_OK, 11, 3},
        {"count past the entries held", tfra(0, 1, 0, 100, three, zeros(10)), BXF_RET_OK, 11, 3},
        {"count below the entries held", tfra(0, 1, 0, 1, three), BXF_RET_OK, 11, 1},
        {"largest count, no entries", tfra(0, 1, 0, 0xFFFFFFFF, {}), BXF_RET_OK, 11, 0},
        {"version 2", tfra(2, 1, 0, 0, {}), BXF_RET_FORMAT, 0, 0},
        {"15-byte payload", full_box("tfra", 0, 0, zeros(11)), BXF_RET_FORMAT, 0, 0},
    };
    for (const Row &r : rows) {
        Session s(box("mfra", cat({box("free", zeros(3)), r.tfra, r.tfra})));
        ASSERT_EQ(s.parse(), r.code) << r.name;
        if (r.code != BXF_RET_OK) continue;
        ASSERT_EQ(s.movie.tfra_count, 2u) << r.name << ": every tfra is kept, other children skipped";
        const TfraRecord &t = *s.movie.tfra_tail;
        EXPECT_EQ(t.entry_size, r.entry_size) << r.name;
        EXPECT_EQ(t.entry_count, r.count) << r.name;
        const uint64_t box_at = 8 + 11 + r.tfra.size();
        EXPECT_EQ(t.box.offset, box_at) << r.name;
        EXPECT_EQ(t.entries.offset, box_at + 8 + 16) << r.name;
        EXPECT_EQ(t.entries.size, uint64_t(r.count) * r.entry_size) << r.name;
    }
}

TEST(FragmentIndex, EntryFields) {
    const TfraEntry small{0xFFFFFFFE, 0x80000000, 0xFF, 0xFE, 0x01};
    const TfraEntry wide{1ull << 40, (1ull << 33) + 5, 0xFFFFFFFF, 0x01020304, 0xA0B0C0D0};
    const TfraEntry mixed{7, 9, 0x112233, 0x44, 0x5566};
    struct Row {
        uint8_t version;
        uint32_t length_sizes;
        TfraEntry entry;
    } rows[] = {{0, 0x00, small}, {1, 0x3F, wide}, {1, 0x1B, TfraEntry{3, 4, 0x1122, 0x0A0B0C, 0x11223344}},
                {0, 0x21, mixed}};
    for (const Row &r : rows) {
        // A second entry after the first checks the stride.
        TfraEntry later = r.entry;
        later.time += 1;
        later.sample ^= 1;
        const Built b = build(tfra(r.version, 1, r.length_sizes, 2, {r.entry, later}), 4096, 4096);
        ASSERT_EQ(b.code, BXF_RET_OK);
        ASSERT_EQ(b.entries.size(), 2u);
        for (int i = 0; i < 2; ++i) {
            const TfraEntry &want = i ? later : r.entry;
            EXPECT_EQ(b.entries[i].time, want.time) << int(r.version) << " " << r.length_sizes;
            EXPECT_EQ(b.entries[i].moof_offset, want.moof_offset) << r.length_sizes;
            EXPECT_EQ(b.entries[i].trun_number, want.trun) << r.length_sizes;
            EXPECT_EQ(b.entries[i].sample_number, want.sample) << r.length_sizes;
        }
    }
}

// The set-aside bounds the entries ((set-aside - 32) / 24) and the read
// buffer is set-aside + budget - 64 bytes: 11-byte entries, 5 per read at 65.
TEST(FragmentIndex, CapacityThinningAndReads) {
    struct Row {
        const char *name;
        uint32_t entries;
        uint64_t set_aside, budget;
        uint32_t code;
        std::vector<uint32_t> kept;
        uint64_t reads;
    } rows[] = {
        {"room for 4 of 10", 10, 128, 1, BXF_RET_OK, {2, 4, 7, 9}, 2},
        {"room for 1 keeps the last", 10, 56, 1 << 16, BXF_RET_OK, {9}, 1},
        {"room for all", 10, 32 + 240, 1 << 16, BXF_RET_OK, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 1},
        {"more room than entries", 4, 1 << 20, 0, BXF_RET_OK, {0, 1, 2, 3}, 1},
        {"set-aside 55: no index", 10, 55, 1 << 16, BXF_RET_OK, {}, 0},
        {"set-aside 48: no index", 10, 48, 1 << 16, BXF_RET_OK, {}, 0},
        {"a 64-byte read buffer", 10, 56, 72, BXF_RET_NOMEM, {}, 0},
        {"a 65-byte read buffer", 10, 56, 73, BXF_RET_OK, {9}, 2},
        {"an empty table", 0, 1024, 1024, BXF_RET_OK, {}, 0},
    };
    for (const Row &r : rows) {
        const Built b = build(tfra(0, 1, 0, r.entries, ladder(r.entries)), r.set_aside, r.budget);
        ASSERT_EQ(b.code, r.code) << r.name;
        EXPECT_EQ(b.reads, r.reads) << r.name;
        EXPECT_EQ(b.built, r.code == BXF_RET_OK) << r.name;
        ASSERT_EQ(b.entries.size(), r.kept.size()) << r.name;
        for (size_t k = 0; k < r.kept.size(); ++k) {
            const TfraEntry want = ladder(r.entries)[r.kept[k]];
            EXPECT_EQ(b.entries[k].time, want.time) << r.name << " " << k;
            EXPECT_EQ(b.entries[k].moof_offset, want.moof_offset) << r.name << " " << k;
            EXPECT_EQ(b.entries[k].trun_number, want.trun) << r.name << " " << k;
        }
    }
}

TEST(FragmentIndex, SortsByTime) {
    std::vector<TfraEntry> shuffled;
    for (uint32_t i = 0; i < 30; ++i) {
        const uint64_t t = (i * 7 % 30) * 10ull;
        shuffled.push_back(TfraEntry{t, t + 5, 1, 1, i});
    }
    const Built b = build(tfra(1, 1, 0, 30, shuffled), 4096, 4096);
    ASSERT_EQ(b.entries.size(), 30u);
    for (uint32_t i = 0; i < 30; ++i) {
        EXPECT_EQ(b.entries[i].time, i * 10ull);
        EXPECT_EQ(b.entries[i].moof_offset, i * 10ull + 5) << "each entry moves whole";
    }
}

TEST(FragmentIndex, BuildErrors) {
    const Bytes table = tfra(0, 2, 0, 3, ladder(3));
    EXPECT_EQ(build(table, 4096, 4096, 1).code, BXF_RET_NOTFOUND) << "no tfra for track 1";
    EXPECT_EQ(build(cat({table, tfra(0, 1, 0, 1, ladder(1))}), 4096, 4096, 1).entries.size(), 1u);

    Session s(box("mfra", table));
    ASSERT_EQ(s.parse(), BXF_RET_OK);
    TrackFragmentIndex index{};
    s.file.fail_reads = true;
    EXPECT_EQ(bxf::build_track_index(s.io(), s.movie, 2, 4096, 4096, &index), BXF_RET_FILE);
    EXPECT_FALSE(index.built);
    EXPECT_EQ(bxf::build_track_index(s.io(), s.movie, 2, 4096, 4096, nullptr), BXF_RET_ARGS);
}

// Every size up to 20 and every time from before the first entry to past the
// last, against a linear search; every third time repeats the one before.
TEST(FragmentIndex, Lookup) {
    EXPECT_EQ(bxf::lookup_fragment_index(TrackFragmentIndex{nullptr, 0, true}, 5), nullptr);
    for (uint32_t n = 1; n <= 20; ++n) {
        std::vector<FragmentIndexEntry> e;
        for (uint32_t i = 0; i < n; ++i) e.push_back(FragmentIndexEntry{10ull * (i - i % 3 / 2) + 10, i, 1, 1});
        const TrackFragmentIndex index{e.data(), n, true};
        for (uint64_t t = 0; t <= 10ull * n + 20; ++t) {
            const FragmentIndexEntry *want = nullptr;
            for (const auto &x : e)
                if (x.time <= t) want = &x;
            const FragmentIndexEntry *got = bxf::lookup_fragment_index(index, t);
            ASSERT_EQ(got == nullptr, want == nullptr) << n << " " << t;
            if (got) {
                EXPECT_EQ(got->time, want->time) << n << " " << t;
            }
        }
    }
}

// Opened movies: the walk stops at the first moof (walk_all_boxes 0) unless
// said otherwise, so mfra is found from the end of the file.
TEST(FragmentIndex, MfraFromTheEnd) {
    const Bytes fragments = cat({box("moov", cat({mvhd(0, 1000), trak(1, "soun", 1000), box("mvex", trex(1))})),
                                 box("moof"), box("mdat", zeros(4))});
    const Bytes head = cat({ftyp(), fragments});
    const Bytes one = tfra(0, 1, 0, 2, ladder(2));
    const Bytes index = mfra(one);
    const Bytes index_without_mfro = box("mfra", one);
    const Bytes wide_mfro = large_box("mfro", cat({u32(0), u32(uint32_t(8 + one.size() + 24))}));
    const uint64_t head_size = head.size();
    struct Row {
        const char *name;
        Bytes tail;
        uint32_t walk_all, code;
        uint64_t mfra_at;  // 0: no mfra
        uint32_t tfras;
    } rows[] = {
        {"mfro closes the file", index, 0, BXF_RET_OK, head_size, 1},
        {"mfro with a 64-bit size, 24 bytes from the end", box("mfra", cat({one, wide_mfro})), 0, BXF_RET_OK,
         head_size, 1},
        {"a malformed box after the first moof is not walked", cat({box_sized(4, "free", zeros(4)), index}), 0,
         BXF_RET_OK, head_size + 12, 1},
        {"the same box, walking everything", cat({box_sized(4, "free", zeros(4)), index}), 1, BXF_RET_FORMAT, 0, 0},
        {"mfra met by the walk, without mfro", index_without_mfro, 1, BXF_RET_OK, head_size, 1},
        {"mfra without mfro, walk stopped", index_without_mfro, 0, BXF_RET_OK, 0, 0},
        {"mfro size past the file", cat({index_without_mfro, mfro(1 << 20)}), 0, BXF_RET_OK, 0, 0},
        {"mfro names itself", cat({index_without_mfro, mfro(16)}), 0, BXF_RET_OK, 0, 0},
        {"mfro names another box", cat({index_without_mfro, box("free"), mfro(24)}), 0, BXF_RET_OK, 0, 0},
        {"mfro size 0", cat({index_without_mfro, mfro(0)}), 0, BXF_RET_OK, 0, 0},
        {"mfro version 1", cat({index_without_mfro, mfro(uint32_t(index_without_mfro.size() + 16), 1)}), 0,
         BXF_RET_FORMAT, 0, 0},
        {"mfro payload of 4 bytes", cat({box_sized(12, "mfro", u32(0)), zeros(4)}), 0, BXF_RET_FORMAT, 0, 0},
        {"bad tfra in the mfra that mfro names", mfra(tfra(2, 1, 0, 0, {})), 0, BXF_RET_FORMAT, 0, 0},
    };
    for (const Row &r : rows) {
        OpenedMovie o(cat({head, r.tail}), OpenParams{1 << 20, 50, r.walk_all, 0});
        ASSERT_EQ(o.code, r.code) << r.name;
        if (r.code != BXF_RET_OK) continue;
        EXPECT_EQ((o.flags & BXF_PLAY_INIT_EXIST_MFRA_BOX) != 0, r.mfra_at != 0) << r.name;
        EXPECT_EQ(o.movie->mfra_box.offset, r.mfra_at) << r.name;
        EXPECT_EQ(o.movie->tfra_count, r.tfras) << r.name;
    }
    // An mfra before the first moof is the one kept; the one at the end is
    // not read.
    const Bytes early = mfra(tfra(0, 7, 0, 0, {}));
    OpenedMovie o(cat({ftyp(), early, fragments, mfra(cat({one, one}))}), OpenParams{1 << 20, 50, 0, 0});
    ASSERT_EQ(o.code, BXF_RET_OK);
    EXPECT_EQ(o.movie->mfra_box.offset, ftyp().size());
    ASSERT_EQ(o.movie->tfra_count, 1u);
    EXPECT_EQ(o.movie->tfra_head->track_id, 7u);
}

}  // namespace
