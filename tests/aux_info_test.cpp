// Per-sample auxiliary information: the saio/saiz readers and their pairing,
// types implied by the sample descriptions, offsets in both saio layouts
// against a model, the block caches' reads, what window sizing sets aside,
// and the sample-group records.
#include <gtest/gtest.h>

#include <random>

#include "aux_info.h"
#include "play_handle.h"
#include "sample_access.h"
#include "support/memory_file.h"
#include "support/opened_movie.h"
#include "support/track_writer.h"

using namespace boxw;
using bxf::AuxBoxes;

namespace {

constexpr uint32_t kCenc = BXF_FOURCC('c', 'e', 'n', 'c'), kCbcs = BXF_FOURCC('c', 'b', 'c', 's');
constexpr uint32_t kAvc1 = BXF_FOURCC('a', 'v', 'c', '1'), kEncv = BXF_FOURCC('e', 'n', 'c', 'v');
const AuxType cenc{"cenc"}, cbcs{"cbcs"};
// The type and parameter fields of a saio or saiz with flags bit 0, written by hand.
const Bytes cenc_fields = cat({fourcc("cenc"), u32(0)});

// A movie of `traks` tracks whose first track is opened for playback.
struct Movie : OpenedMovie {
    uint32_t open_code = BXF_RET_INTERNAL;

    explicit Movie(const Bytes &traks, OpenParams params = {0, 0, 1, 0})
        : OpenedMovie(cat({ftyp(), box("moov", cat({mvhd(0, 1000), traks}))}), params) {
        if (code == BXF_RET_OK) open_code = bxf_open_track(handle, 1);
    }
    const AuxBoxes &aux_boxes() { return bxf::find_opened_track(handle, 1)->tables.aux; }
};

Bytes video_trak(const Bytes &stbl, const Bytes &trak_extra = {}, uint32_t id = 1) {
    return trak(id, "vide", 1000, stbl, trak_extra);
}

// Six samples of 100 bytes: samples 1-4 in chunk 1, 5-6 in chunk 2.
const Bytes kTables = cat({stts({{6, 10}}), stsc({{1, 4, 1}, {2, 2, 1}}), stsz_constant(100, 6), stco({1000, 2000})});

// Sample entries: an avcC with no parameter sets, and sinf boxes naming a scheme.
Bytes avcc() { return box("avcC", Bytes{1, 66, 0, 30, 0xFF, 0xE0, 0}); }
Bytes sinf(const char *scheme) {
    return box("sinf", cat({box("frma", fourcc("avc1")), full_box("schm", 0, 0, cat({fourcc(scheme), u32(0x10000)}))}));
}
Bytes encv(const Bytes &sinfs) { return stsd(visual_entry("encv", 16, 16, cat({avcc(), sinfs})), 1); }

TEST(AuxInfo, PairingAndImpliedTypes) {
    const Bytes encv_cbcs = encv(cat({sinf("cbcs"), sinf("cenc")}));
    struct Row {
        const char *name;
        Bytes stbl;
        uint32_t flags = 0, type = 0, size = 0;  // of sample 5
        uint32_t open_code = BXF_RET_OK;
    } rows[] = {
        {"explicit types alike", cat({kTables, saio({900}, 0, cenc), saiz(10, 6, {}, cenc)}), 2, kCenc, 10},
        {"types differ", cat({kTables, saiz(10, 6, {}, cenc), saio({900}, 0, cbcs)})},
        {"parameters differ", cat({kTables, saiz(10, 6, {}, {"cenc", 1}), saio({900}, 0, {"cenc", 2})})},
        {"a later saiz pairs", cat({kTables, saio({900}, 0, cenc), saiz(10, 6, {}, cbcs), saiz(12, 6, {}, cenc)}), 2,
         kCenc, 12},
        {"a later saio pairs", cat({kTables, saiz(12, 6, {}, cbcs), saio({900}, 0, cenc), saio({900}, 0, cbcs)}), 2,
         kCbcs, 12},
        {"a lone saio", cat({kTables, saio({900}, 0, cenc)})},
        {"a lone saiz", cat({kTables, saiz(12, 6, {}, cenc)})},
        {"a second saio is not read",
         cat({kTables, saio({900}, 0, cenc), saiz(12, 6, {}, cenc), full_box("saio", 2, 0, u32(0))}), 2, kCenc, 12},
        {"implied: the first sinf's scheme", cat({kTables, encv_cbcs, saio({900}), saiz(12, 6)}), 2, kCbcs, 12},
        {"implied and explicit alike", cat({kTables, encv_cbcs, saio({900}), saiz(12, 6, {}, cbcs)}), 2, kCbcs, 12},
        {"implied and explicit differ", cat({kTables, encv_cbcs, saio({900}), saiz(12, 6, {}, cenc)})},
        {"implied: an entry without sinf gives its type",
         cat({kTables, stsd(visual_entry("avc1", 16, 16, avcc()), 1), saio({900}), saiz(12, 6)}), 2, kAvc1, 12},
        {"implied from a sinf without schm: the entry's type",
         cat({kTables, encv(box("sinf", box("frma", fourcc("avc1")))), saio({900}), saiz(12, 6)}), 2, kEncv, 12},
        {"aux boxes before stsd and stsc", cat({saio({900}), saiz(12, 6), encv_cbcs, kTables}), 2, kCbcs, 12},
        {"implied without stsd", cat({kTables, saio({900}), saiz(12, 6)}), 0, 0, 0, BXF_RET_FORMAT},
        {"implied for description 0",
         cat({stts({{6, 10}}), stsc({{1, 4, 0}}), stsz_constant(100, 6), stco({1000, 2000}), encv_cbcs, saio({900}),
              saiz(12, 6)}),
         0, 0, 0, BXF_RET_FORMAT},
        {"implied for description 2 of 1",
         cat({stts({{6, 10}}), stsc({{1, 4, 2}}), stsz_constant(100, 6), stco({1000, 2000}), encv_cbcs, saio({900}),
              saiz(12, 6)}),
         0, 0, 0, BXF_RET_FORMAT},
        {"implied over entries that do not parse", cat({kTables, stsd(box("encv", zeros(10)), 1), saiz(12, 6)}), 0, 0,
         0, BXF_RET_FORMAT},
        {"explicit over entries that do not parse",
         cat({kTables, stsd(box("encv", zeros(10)), 1), saiz(12, 6, {}, cenc), saio({900}, 0, cenc)}), 2, kCenc, 12},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        Movie m(video_trak(r.stbl));
        ASSERT_EQ(m.open_code, r.open_code);
        if (r.open_code != BXF_RET_OK) continue;
        const SampleInfo s = m.sample_info(5);
        EXPECT_EQ(s.aux_flags, r.flags);
        EXPECT_EQ(s.aux_info_type, r.type);
        EXPECT_EQ(s.aux_size, r.size);
        if (r.flags) {
            EXPECT_EQ(s.saiz_flags, 1u) << "an implied type counts as flags bit 0";
            EXPECT_EQ(s.aux_offset, 900u + 4 * r.size);
        }
    }
}

TEST(AuxInfo, TrakLevelSenc) {
    const Bytes pair = cat({saio({900}, 0, cenc), saiz(12, 6, {}, cenc)});
    struct Row {
        const char *name;
        Bytes stbl, trak_extra;
        uint32_t open_code, flags, senc_flags;
    } rows[] = {
        {"senc alone", kTables, full_box("senc", 0, 2, u32(0)), BXF_RET_OK, BXF_AUX_SENC, 2},
        {"senc and the pair", cat({kTables, pair}), full_box("senc", 0, 0, u32(0)), BXF_RET_OK,
         BXF_AUX_SENC | BXF_AUX_SAIO_SAIZ, 0},
        {"only the first senc counts", kTables, cat({full_box("senc", 0, 2), full_box("senc", 1, 0)}), BXF_RET_OK,
         BXF_AUX_SENC, 2},
        {"a senc inside stbl is not the trak's", cat({kTables, pair, full_box("senc", 0, 2, u32(0))}), {}, BXF_RET_OK,
         BXF_AUX_SAIO_SAIZ, 0},
        {"senc version 1", kTables, full_box("senc", 1, 0, u32(0)), BXF_RET_FORMAT, 0, 0},
        {"senc shorter than its version and flags", kTables, box("senc", Bytes{0, 0}), BXF_RET_FORMAT, 0, 0},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        Movie m(video_trak(r.stbl, r.trak_extra));
        ASSERT_EQ(m.open_code, r.open_code);
        if (r.open_code != BXF_RET_OK) continue;
        const SampleInfo s = m.sample_info(2);
        EXPECT_EQ(s.aux_flags, r.flags);
        EXPECT_EQ(s.senc_flags, r.senc_flags);
        EXPECT_EQ(s.aux_offset, r.flags & BXF_AUX_SAIO_SAIZ ? 912u : 0u);
    }
}

TEST(AuxInfo, BoxVersionsAndSizes) {
    struct Row {
        const char *name;
        Bytes boxes;
        uint32_t open_code;
    } rows[] = {
        {"saio version 2", full_box("saio", 2, 1, cat({cenc_fields, u32(1), u32(900)})), BXF_RET_FORMAT},
        {"saio of 3 bytes", box("saio", Bytes{0, 0, 0}), BXF_RET_FORMAT},
        {"saio without its count", full_box("saio", 0, 0), BXF_RET_FORMAT},
        {"saio with type, without count", full_box("saio", 0, 1, cenc_fields), BXF_RET_FORMAT},
        {"saio with half its type", full_box("saio", 0, 1, u32(0)), BXF_RET_FORMAT},
        {"saiz version 1", full_box("saiz", 1, 1, cat({cenc_fields, u8(8), u32(6)})), BXF_RET_FORMAT},
        {"saiz without its whole count", full_box("saiz", 0, 1, cat({cenc_fields, u8(8), u16(0), u8(0)})),
         BXF_RET_FORMAT},
        {"saiz with type, no size fields", full_box("saiz", 0, 1, cat({cenc_fields, u8(8)})), BXF_RET_FORMAT},
        {"saiz of header and 5 bytes", full_box("saiz", 0, 1, cat({cenc_fields, u8(8), u32(6)})), BXF_RET_OK},
        {"saio version 1", saio({1 << 20}, 1, cenc), BXF_RET_OK},
        {"sbgp without its count", full_box("sbgp", 1, 0, cat({fourcc("roll"), u32(0)})), BXF_RET_FORMAT},
        {"sgpd version 2", full_box("sgpd", 2, 0, cat({fourcc("roll"), u32(0), u32(0)})), BXF_RET_FORMAT},
        {"sgpd without its count", full_box("sgpd", 0, 0, fourcc("seig")), BXF_RET_FORMAT},
    };
    for (const Row &r : rows) {
        Movie m(video_trak(cat({kTables, r.boxes})));
        EXPECT_EQ(m.open_code, r.open_code) << r.name;
    }
}

TEST(AuxInfo, WideOffsetsCountsAndLimits) {
    // saio version 1: 64-bit entries, one per chunk.
    Movie wide(video_trak(cat({kTables, saiz(8, 6, {}, cenc), saio({0x100000000, 0x100000100}, 1, cenc)})));
    EXPECT_EQ(wide.sample_info(6).aux_offset, 0x100000108u);
    // An addition past 64 bits.
    Movie overflow(video_trak(cat({kTables, saiz(16, 6, {}, cenc), saio({0xFFFFFFFFFFFFFFF0}, 1, cenc)})));
    EXPECT_EQ(overflow.sample_info(1).aux_offset, 0xFFFFFFFFFFFFFFF0u);
    overflow.sample_info(2, 0, BXF_RET_OVERFLOW);

    // Three chunks of two; saio claims three entries and holds two.
    const Bytes three_chunks =
        cat({stts({{6, 10}}), stsc({{1, 2, 1}}), stsz_constant(100, 6), stco({1000, 2000, 3000})});
    Movie short_saio(video_trak(cat({three_chunks, saiz(8, 6, {}, cenc),
                                     full_box("saio", 0, 1, cat({cenc_fields, u32(3), u32(700), u32(800)}))})));
    EXPECT_EQ(short_saio.sample_info(4).aux_offset, 808u);
    short_saio.sample_info(5, 0, BXF_RET_NOTFOUND);
    // Holding one entry of two declared makes it the one contiguous entry.
    Movie one_held(video_trak(cat({three_chunks, saiz(8, 6, {}, cenc),
                                   full_box("saio", 0, 1, cat({cenc_fields, u32(2), u32(700), u16(0)}))})));
    EXPECT_EQ(one_held.sample_info(5).aux_offset, 732u);

    // saiz claims six sizes and holds four: samples 5 and 6 have none.
    Movie short_saiz(video_trak(cat({kTables, saio({500}, 0, cenc),
                                     full_box("saiz", 0, 1, cat({cenc_fields, u8(0), u32(6), Bytes{1, 2, 3, 4}}))})));
    SampleInfo s = short_saiz.sample_info(6);
    EXPECT_EQ(s.aux_size, 0u);
    EXPECT_EQ(s.aux_offset, 510u);
    EXPECT_EQ(short_saiz.sample_info(4, 1).aux_run_bytes, 4u);
    // A default size covers the saiz count only.
    Movie default_count(video_trak(cat({kTables, saio({500}, 0, cenc), saiz(16, 4, {}, cenc)})));
    EXPECT_EQ(default_count.sample_info(4).aux_size, 16u);
    s = default_count.sample_info(5, 1);
    EXPECT_EQ(s.aux_size, 0u);
    EXPECT_EQ(s.aux_offset, 564u);
    EXPECT_EQ(s.aux_run_bytes, 0u);
    EXPECT_EQ(default_count.sample_info(2, 1).aux_run_bytes, 48u);
}

// A long track read in every order against a model of its auxiliary
// information, in both saio layouts, with a second track opened midway
// (which releases and re-sizes every track's buffers).
struct AuxModel {
    std::vector<uint32_t> sizes, chunk_end;
    std::vector<uint64_t> contiguous, per_chunk;
    std::vector<uint64_t> chunk_entries;
    Bytes tables;
    Bytes saiz_box;

    explicit AuxModel(uint32_t n) {
        std::vector<StscEntry> stsc_entries;
        std::vector<uint32_t> chunk_offsets;
        for (uint32_t i = 0; i < n; ++i) sizes.push_back((i * 37 + 5) % 41);
        uint64_t total = 60000;
        for (uint32_t s = 0, chunk = 1; s < n; ++chunk) {
            const uint32_t per_chunk_samples = std::min(1 + chunk % 7, n - s);
            if (stsc_entries.empty() || stsc_entries.back().samples_per_chunk != per_chunk_samples)
                stsc_entries.push_back({chunk, per_chunk_samples, 1});
            chunk_offsets.push_back(1000 * chunk);
            chunk_entries.push_back(100000 + 500 * chunk);
            uint64_t in_chunk = chunk_entries.back();
            for (uint32_t k = 0; k < per_chunk_samples; ++k, ++s) {
                chunk_end.push_back(s - k + per_chunk_samples);
                contiguous.push_back(total);
                per_chunk.push_back(in_chunk);
                total += sizes[s];
                in_chunk += sizes[s];
            }
        }
        tables = cat({stts({{n, 10}}), stsc(stsc_entries), stsz_constant(10, n), stco(chunk_offsets)});
        saiz_box = saiz(0, n, std::vector<uint8_t>(sizes.begin(), sizes.end()), cenc);
    }
    void expect(const SampleInfo &s, uint32_t n, bool one_entry, bool with_run) const {
        const uint32_t i = n - 1;
        EXPECT_EQ(s.aux_offset, one_entry ? contiguous[i] : per_chunk[i]) << n;
        EXPECT_EQ(s.aux_size, sizes[i]) << n;
        uint64_t run = 0;
        for (uint32_t k = i; with_run && k < chunk_end[i]; ++k) run += sizes[k];
        EXPECT_EQ(s.aux_run_bytes, run) << n;
    }
};

TEST(AuxInfo, EveryOrderAgainstAModel) {
    constexpr uint32_t kSamples = 400;
    const AuxModel model(kSamples);
    for (const bool one_entry : {true, false}) {
        const Bytes saio_box = one_entry ? saio({60000}, 0, cenc) : saio(model.chunk_entries, 0, cenc);
        const Bytes stbl = cat({model.tables, model.saiz_box, saio_box});
        Movie m(cat({video_trak(stbl), video_trak(stbl, {}, 2)}));
        ASSERT_EQ(m.open_code, BXF_RET_OK);
        // The tables and a one-entry saio load with the first lookup; then
        // each block of 50 sizes is read once forwards, and backwards from
        // the two blocks held (351 and 301) once again.
        model.expect(m.sample_info(1), 1, one_entry, false);
        uint64_t reads = m.file.reads;
        for (uint32_t n = 1; n <= kSamples; ++n) model.expect(m.sample_info(n), n, one_entry, false);
        if (one_entry) {
            EXPECT_EQ(m.file.reads - reads, 7u) << "blocks 51 to 351";
        }
        reads = m.file.reads;
        for (uint32_t n = kSamples; n >= 1; --n) model.expect(m.sample_info(n), n, one_entry, false);
        if (one_entry) {
            EXPECT_EQ(m.file.reads - reads, 6u) << "blocks 251 down to 1";
        }
        ASSERT_EQ(bxf_open_track(m.handle, 2), BXF_RET_OK);
        std::mt19937 random(one_entry ? 3 : 5);
        for (int k = 0; k < 1500; ++k) {
            const uint32_t n = 1 + random() % kSamples;
            const bool run = random() % 2;
            model.expect(m.sample_info(n, run, BXF_RET_OK, 1 + k % 2), n, one_entry, run);
        }
    }
}

// The block caches through a file whose reads are counted.
TEST(AuxCache, BlocksAreReplacedAsWritten) {
    // 120 sizes at offset 16: sample i has size i.
    Bytes bytes = zeros(16);
    for (uint32_t i = 1; i <= 120; ++i) bytes.push_back(uint8_t(i));
    TestInstance f(bytes);
    const bxf::SaizRecord record{0, 0, 16, 0, 0, 0, 0, 120};  // first size byte at 16, 120 samples
    bxf::SaizCache cache;
    bxf::init_saiz_cache(cache, record);
    uint32_t size = 0;
    auto read = [&](uint32_t i) {
        const uint64_t before = f.file.reads;
        EXPECT_EQ(bxf::saiz_size(cache, f.io(), i, &size), BXF_RET_OK) << i;
        EXPECT_EQ(size, i) << i;
        return f.file.reads - before;
    };
    uint64_t reads = 0;
    for (uint32_t i = 1; i <= 120; ++i) reads += read(i);
    EXPECT_EQ(reads, 3u) << "forwards: each block once";
    EXPECT_EQ(f.file.bytes_read, 120u) << "the last block holds the 20 entries left";
    struct Step {
        uint32_t entry;
        uint64_t reads;
        const char *why;
    } steps[] = {
        {60, 0, "blocks 51 and 101 are held"},
        {10, 1, "block 1 replaces 51; 101 is not just before it, so it goes too"},
        {101, 1, "block 1 is not just before 101: both emptied"},
        {55, 1, "block 101 comes after 51: both emptied"},
        {120, 1, "block 51 is just before 101 and stays"},
        {52, 0, "still held"},
        {1, 1, "block 1: both emptied"},
    };
    for (const Step &s : steps) EXPECT_EQ(read(s.entry), s.reads) << s.entry << ": " << s.why;
    reads = 0;
    for (uint32_t i = 120; i >= 1; --i) reads += read(i);
    EXPECT_EQ(reads, 3u) << "backwards from 120 with block 1 held: 101, 51, then 1 again";

    // Beyond the count a sample has no auxiliary information; a short read
    // leaves the block empty, and the next access loads it again.
    EXPECT_EQ(bxf::saiz_size(cache, f.io(), 121, &size), BXF_RET_OK);
    EXPECT_EQ(size, 0u);
    bxf::init_saiz_cache(cache, record);
    f.file.bytes.resize(16 + 30);
    EXPECT_EQ(bxf::saiz_size(cache, f.io(), 2, &size), BXF_RET_FILE);
    f.file.bytes = bytes;
    EXPECT_EQ(read(2), 1u);
}

TEST(AuxCache, WindowSizingSetsTheCachesAside) {
    // The tables alone: one-entry stts, stsc and stco, four sizes need 48
    // bytes of buffer headers and 2 x (24 + 16 + 8 + 4) for the first pass,
    // 152 bytes of pool 2; the pair adds 864 for the saio cache and 176 for
    // the saiz cache. No budget sets nothing aside.
    const Bytes tables = cat({stts({{4, 10}}), stsc({{1, 4, 1}}), stsz({1, 2, 3, 4}), stco({100})});
    const Bytes pair = cat({saio({900}, 0, cenc), saiz(0, 4, {5, 6, 7, 8}, cenc)});
    struct Row {
        Bytes stbl;
        uint64_t budget;  // 1 percent of it is pool 2
        uint32_t code;
    } rows[] = {{tables, 15200, BXF_RET_OK},
                {tables, 15100, BXF_RET_NOMEM},
                {cat({tables, pair}), 0, BXF_RET_OK},
                {cat({tables, pair}), 119200, BXF_RET_OK},
                {cat({tables, pair}), 119100, BXF_RET_NOMEM},
                {cat({tables, saio({900}, 0, cenc), saiz(0, 4, {5, 6, 7, 8}, cbcs)}), 15200, BXF_RET_OK}};
    for (const Row &r : rows) {
        Movie m(video_trak(r.stbl), OpenParams{r.budget, 1, 1, 0});
        ASSERT_EQ(m.open_code, r.code) << r.budget;
        if (r.code != BXF_RET_OK) continue;
        const SampleInfo s = m.sample_info(4);
        EXPECT_EQ(s.size, 4u) << r.budget;
        EXPECT_EQ(s.aux_offset, bxf::aux_pair_kept(m.aux_boxes()) ? 918u : 0u) << r.budget;
        EXPECT_LE(m.inst->sample_used, m.inst->sample_limit) << r.budget;
    }
}

TEST(AuxBoxes, SampleGroups) {
    Bytes kid;
    for (uint8_t i = 0; i < 16; ++i) kid.push_back(i);
    const Bytes seig_v0 = full_box(
        "sgpd", 0, 0, cat({fourcc("seig"), u32(2), Bytes{0, 0x19, 1, 8}, kid, Bytes{0, 0, 0, 0}, zeros(16)}));
    const Bytes constant_iv = cat({Bytes{0, 0, 1, 0}, kid, u8(16), kid});
    const Bytes seig_v1 = full_box("sgpd", 1, 0,
                                   cat({fourcc("seig"), u32(0), u32(3), u32(uint32_t(constant_iv.size())), constant_iv,
                                        u32(10), zeros(10), u32(37), constant_iv}));
    const Bytes tele = full_box("sgpd", 0, 0, cat({fourcc("tele"), u32(4), Bytes{0x80, 0x00, 0xFF}}));
    const Bytes roll = full_box("sgpd", 1, 0, cat({fourcc("roll"), u32(2), u32(9), u16(0xFFFF), u16(1)}));
    const Bytes sbgp_v0 = full_box("sbgp", 0, 0, cat({fourcc("roll"), u32(2), u32(5), u32(1), u32(1), u32(0)}));
    const Bytes sbgp_v1 = full_box("sbgp", 1, 0, cat({fourcc("seig"), u32(7), u32(5), u32(6), u32(1)}));
    Movie m(video_trak(cat({sbgp_v0, kTables, seig_v0, sbgp_v1, seig_v1, tele, roll})));
    ASSERT_EQ(m.open_code, BXF_RET_OK);
    const AuxBoxes &aux = m.aux_boxes();
    ASSERT_EQ(aux.sbgp_count, 2u);
    EXPECT_EQ(aux.sbgp_head->grouping_type, BXF_FOURCC('r', 'o', 'l', 'l'));
    EXPECT_EQ(aux.sbgp_head->entry_count, 2u);
    EXPECT_EQ(aux.sbgp_tail->grouping_type_parameter, 7u);
    EXPECT_EQ(aux.sbgp_tail->entry_count, 1u) << "five declared, one held";

    ASSERT_EQ(aux.sgpd_count, 4u);
    const bxf::SgpdRecord *g = aux.sgpd_head;
    ASSERT_EQ(g->entry_count, 2u);
    EXPECT_EQ(Bytes({g->seig[0].crypt_byte_block, g->seig[0].skip_byte_block, g->seig[0].is_protected,
                     g->seig[0].per_sample_iv_size}),
              (Bytes{1, 9, 1, 8}));
    EXPECT_EQ(Bytes(g->seig[0].kid, g->seig[0].kid + 16), kid);
    EXPECT_EQ(g->seig[1].is_protected, 0);
    g = g->next;
    ASSERT_EQ(g->entry_count, 1u) << "the second entry is too short for its fields";
    EXPECT_EQ(g->seig[0].constant_iv_size, 16);
    EXPECT_EQ(g->seig[0].constant_iv[15], 15);
    g = g->next;
    ASSERT_EQ(g->entry_count, 3u) << "four declared, three bytes";
    EXPECT_EQ(Bytes(g->tele, g->tele + 3), (Bytes{1, 0, 1}));
    g = g->next;
    EXPECT_EQ(g->grouping_type, BXF_FOURCC('r', 'o', 'l', 'l'));
    EXPECT_EQ(g->entry_count, 2u) << "not read; nine declared, two of two bytes held";
    EXPECT_EQ(g->seig, nullptr);
    EXPECT_EQ(g->tele, nullptr);
}

TEST(AuxBoxes, RecordedWithEmptyTables) {
    // An stbl without samples (an empty moov) still has its saio/saiz pair and
    // its sample groups recorded; a box that leaves its type to the
    // description in force is dropped, since no sample has one, whether or not
    // there is a description.
    const Bytes empty = cat({encv(sinf("cenc")), stts({}), stsc({}), stsz({}), stco({})});
    const Bytes saio_cenc = saio({4096}, 0, cenc), saiz_cenc = saiz(16, 0, {}, cenc);
    const Bytes saio_implied = saio({0}), implied = cat({saio_implied, saiz(0, 0)});
    const Bytes sbgp = full_box("sbgp", 0, 0, cat({fourcc("seig"), u32(1), u32(0), u32(1)}));
    const Bytes sgpd = full_box("sgpd", 1, 0, cat({fourcc("roll"), u32(2), u32(1), u16(0xFFFF)}));
    struct Row {
        const char *name;
        Bytes stbl;
        bool pair_kept;
        uint32_t sbgp_count, sgpd_count;
    } rows[] = {
        {"explicit type pair and groups", cat({empty, saio_cenc, saiz_cenc, sbgp, sgpd}), true, 1, 1},
        {"groups alone", cat({empty, sgpd, sbgp, sgpd}), false, 1, 2},
        {"implied type pair", cat({empty, implied}), false, 0, 0},
        {"implied type pair, no stsd", cat({stts({}), stsc({}), stsz({}), stco({}), implied}), false, 0, 0},
        {"implied saio, explicit saiz", cat({empty, saio_implied, saiz_cenc, saio_cenc}), true, 0, 0},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        Movie m(video_trak(r.stbl));
        ASSERT_EQ(m.open_code, BXF_RET_OK);
        const AuxBoxes &aux = m.aux_boxes();
        EXPECT_EQ(aux.saio.box_offset != 0 && aux.saiz.box_offset != 0, r.pair_kept);
        if (r.pair_kept) {
            EXPECT_EQ(aux.saio.aux_info_type, kCenc);
            EXPECT_EQ(aux.saiz.default_sample_info_size, 16u);
        }
        EXPECT_EQ(aux.sbgp_count, r.sbgp_count);
        EXPECT_EQ(aux.sgpd_count, r.sgpd_count);
    }
}

}  // namespace
