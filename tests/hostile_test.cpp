// Hostile files: each class of malformed input that has broken MP4 parsers
// gets the code it must get, and no input of any class may crash, hang, leak
// or leave pool memory behind. The driver asks every question a player asks.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "bxf.h"
#include "support/fragment_writer.h"
#include "support/memory_file.h"
#include "support/opened_movie.h"

using namespace boxw;

namespace {

#define BXF_RET_LIST_ENTRY(code) code,
const uint32_t kDocumented[] = {BXF_RET_EACH(BXF_RET_LIST_ENTRY)};
#undef BXF_RET_LIST_ENTRY

TEST(ReturnCodes, EachHasItsOwnName) {
    std::set<std::string> names;
    for (uint32_t c : kDocumented) {
        const std::string name = bxf_ret_name(c);
        EXPECT_EQ(name.rfind("BXF_RET_", 0), 0u) << name;
        EXPECT_NE(name, "BXF_RET_UNKNOWN") << c;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), sizeof kDocumented / sizeof kDocumented[0]) << "no code listed twice";
    EXPECT_STREQ(bxf_ret_name(0x3), "BXF_RET_UNKNOWN");
}

uint32_t documented(uint32_t code) {
    for (uint32_t c : kDocumented)
        if (c == code) return code;
    ADD_FAILURE() << "undocumented code " << code;
    return code;
}

// What a player learns of a file: the open, track 1's open, its first and
// last sample, the sample at a late time, and the whole duration.
struct Outcome {
    uint32_t open = 0, track = 0, first = 0, last = 0, at_time = 0, duration = 0;
};

Outcome drive(const Bytes &bytes, uint32_t fragment_mode = 0) {
    OpenedMovie m(bytes, OpenParams{uint64_t(4) << 20, 50, 1, fragment_mode});
    PlayHandle *handle = m.handle;
    Outcome o;
    o.open = documented(m.code);
    if (o.open == BXF_RET_OK) {
        uint32_t tracks = 0;
        bxf_get_track_count(handle, &tracks);
        o.track = documented(bxf_open_track(handle, 1));
        for (uint32_t t = 2; t <= tracks && t <= 4; ++t) documented(bxf_open_track(handle, t));
        SampleDescriptions *d = nullptr;
        if (documented(bxf_get_sample_descriptions(handle, 1, &d)) == BXF_RET_OK) bxf_release_sample_descriptions(handle, d);
        SampleInfo s;
        uint32_t count = 0, sync = 0, sample = 0;
        uint64_t start = 0, duration = 0;
        o.first = documented(bxf_play_get_sample_info(handle, 1, 1, 1, &s));
        if (documented(bxf_play_get_sample_count(handle, 1, &count)) == BXF_RET_OK && count)
            o.last = documented(bxf_play_get_sample_info(handle, 1, count, 1, &s));
        o.duration = documented(bxf_play_get_track_duration(handle, 1, 1, &duration));
        o.at_time = documented(bxf_play_get_sample_at_time(handle, 1, duration ? duration - 1 : 0, 1, 1, &start, &s));
        documented(bxf_play_find_sample_at_time(handle, 1, duration / 2, 0, &sync, &sample, &start));
        documented(bxf_play_find_sync_time_near(handle, 1, duration / 2 + 1, 1, 0, &start));
        documented(bxf_play_find_sync_time_near(handle, 1, duration / 2, 1, 1, &start));
        documented(bxf_play_find_sync_sample(handle, 1, count / 2 + 2, 1, &sample, &start));
    }
    return o;  // the movie closes here, its pools checked back to empty
}

const Bytes kAvcC = box("avcC", cat({Bytes{1, 66, 0xC0, 30, 0xFF, 0xE1}, u16(4), Bytes{0x67, 1, 2, 3}, u8(1), u16(2),
                                     Bytes{0x68, 4}}));

// A valid four-sample video track's tables, any of which a row replaces.
struct Tables {
    Bytes stsd = boxw::stsd(visual_entry("avc1", 64, 64, kAvcC), 1);
    Bytes stts = boxw::stts({{4, 10}});
    Bytes ctts = boxw::ctts({{4, 0}});
    Bytes stsc = boxw::stsc({{1, 2, 1}});
    Bytes stsz = boxw::stsz({5, 6, 7, 8});
    Bytes stco = boxw::stco({200, 300});
    Bytes stss = boxw::stss({1});
    Bytes extra;
    Bytes all() const { return cat({stsd, stts, ctts, stsc, stsz, stco, stss, extra}); }
};

Bytes progressive(const Tables &t, uint64_t duration = 40) {
    return cat({table_movie(t.all(), duration), box("mdat", zeros(64))});
}

// A count of 0xFFFFFFFF with 8 bytes behind it, in any full box.
Bytes huge_count(const char *type, uint8_t version = 0, const Bytes &before = {}) {
    return full_box(type, version, 0, cat({before, u32(0xFFFFFFFF), zeros(8)}));
}

// The file with the time scales of its mvhd and mdhd set to 0: nothing in
// the library divides by them.
Bytes zero_time_scales(Bytes file) {
    for (const char *type : {"mvhd", "mdhd"}) {
        const auto at = std::search(file.begin(), file.end(), type, type + 4);
        std::fill(at + 16, at + 20, 0);  // type, version/flags, two 32-bit times
    }
    return file;
}

struct Row {
    const char *name;
    Bytes file;
    Outcome expected;
};

void check_rows(const std::vector<Row> &rows, uint32_t fragment_mode = 0) {
    for (const Row &r : rows) {
        const Outcome o = drive(r.file, fragment_mode);
        EXPECT_EQ(o.open, r.expected.open) << r.name;
        EXPECT_EQ(o.track, r.expected.track) << r.name;
        EXPECT_EQ(o.first, r.expected.first) << r.name;
        EXPECT_EQ(o.last, r.expected.last) << r.name;
        EXPECT_EQ(o.at_time, r.expected.at_time) << r.name;
        EXPECT_EQ(o.duration, r.expected.duration) << r.name;
    }
}

// Opens the file and its first track without a budget, then asks `ask`.
template <class Ask>
void with_track(const Bytes &bytes, uint32_t fragment_mode, Ask ask) {
    OpenedMovie m(bytes, OpenParams{0, 0, 1, fragment_mode});
    EXPECT_EQ(m.code, BXF_RET_OK);
    if (m.handle && bxf_open_track(m.handle, 1) == BXF_RET_OK) ask(m.handle);
}

Tables with(Bytes Tables::*table, Bytes value) {
    Tables t;
    t.*table = std::move(value);
    return t;
}

const uint32_t STATE = BXF_RET_STATE, OK = BXF_RET_OK, FORMAT = BXF_RET_FORMAT, NOTFOUND = BXF_RET_NOTFOUND, OVERFLOW = BXF_RET_OVERFLOW;

TEST(Hostile, SampleTables) {
    Tables extra_boxes;
    extra_boxes.extra = cat({huge_count("sbgp", 0, fourcc("roll")), full_box("saio", 0, 0, cat({u32(0xFFFFFFFF), zeros(8)})),
                             full_box("saiz", 0, 1, cat({fourcc("cenc"), u32(0), u8(0), u32(0xFFFFFFFF), zeros(8)}))});
    check_rows({
        {"valid", progressive(Tables{}), {OK, OK, OK, OK, OK, OK}},
        {"stts count 2^32-1", progressive(with(&Tables::stts, huge_count("stts"))), {OK, OK, NOTFOUND, NOTFOUND, NOTFOUND, OK}},
        {"ctts count 2^32-1", progressive(with(&Tables::ctts, huge_count("ctts"))), {OK, OK, OK, OK, OK, OK}},
        {"stsc count 2^32-1", progressive(with(&Tables::stsc, huge_count("stsc"))), {OK, OK, NOTFOUND, NOTFOUND, NOTFOUND, OK}},
        {"stsz count 2^32-1", progressive(with(&Tables::stsz, huge_count("stsz", 0, u32(0)))), {OK, OK, OK, OK, NOTFOUND, OK}},
        {"stco count 2^32-1", progressive(with(&Tables::stco, huge_count("stco"))), {OK, OK, OK, OK, OK, OK}},
        {"co64 count 2^32-1", progressive(with(&Tables::stco, huge_count("co64"))), {OK, OK, OK, NOTFOUND, NOTFOUND, OK}},
        {"stss count 2^32-1", progressive(with(&Tables::stss, huge_count("stss"))), {OK, OK, OK, OK, OK, OK}},
        {"stsd count 2^32-1", progressive(with(&Tables::stsd, huge_count("stsd"))), {OK, OK, OK, OK, OK, OK}},
        {"saio, saiz, sbgp counts 2^32-1", progressive(extra_boxes), {OK, OK, OK, OK, OK, OK}},
        {"stsz count times 4 wraps 32 bits", progressive(with(&Tables::stsz, full_box("stsz", 0, 0, cat({u32(0), u32(0x40000001), u32(5)})))),
         {OK, OK, FORMAT, FORMAT, NOTFOUND, OK}},
        {"stsc first_chunk 0", progressive(with(&Tables::stsc, stsc({{0, 2, 1}}))), {OK, OK, FORMAT, FORMAT, FORMAT, OK}},
        {"stsc first_chunk decreasing", progressive(with(&Tables::stsc, stsc({{2, 2, 1}, {1, 2, 1}}))), {OK, OK, FORMAT, FORMAT, FORMAT, OK}},
        {"stsc first_chunk past the chunks", progressive(with(&Tables::stsc, stsc({{1, 1, 1}, {9, 1, 1}}))), {OK, OK, OK, NOTFOUND, NOTFOUND, OK}},
        {"stts delta 0", progressive(with(&Tables::stts, stts({{4, 0}})), 0), {OK, OK, OK, OK, NOTFOUND, OK}},
        {"stts sum past 2^64", progressive(with(&Tables::stts, stts({{0xFFFFFFFF, 0xFFFFFFFF}, {0xFFFFFFFF, 0xFFFFFFFF}, {4, 1}}))),
         {OK, OVERFLOW, STATE, 0, STATE, STATE}},
        {"ctts counts past 2^32 samples", progressive(with(&Tables::ctts, ctts({{0xFFFFFFFF, 1}, {0xFFFFFFFF, 1}}))), {OK, OK, FORMAT, FORMAT, FORMAT, OK}},
        {"stts shorter than the samples", progressive(with(&Tables::stts, stts({{2, 10}}))), {OK, OK, OK, NOTFOUND, OK, OK}},
        {"chunk offset past 2^63", progressive(with(&Tables::stco, full_box("co64", 0, 0, cat({u32(2), u64(UINT64_MAX - 3), u64(0)})))),
         {OK, OK, OK, OK, OK, OK}},
        {"sizes past 2^64 within a chunk", progressive(with(&Tables::stco, full_box("co64", 0, 0, cat({u32(2), u64(UINT64_MAX - 3), u64(UINT64_MAX)})))),
         {OK, OK, OK, OVERFLOW, OVERFLOW, OK}},
        {"time scales 0", zero_time_scales(progressive(Tables{})), {OK, OK, OK, OK, OK, OK}},
    });
}

TEST(Hostile, BoxSizesAndNesting) {
    Bytes repeated, nested = box("free");
    for (int i = 0; i < 5000; ++i) append(repeated, box("free"));
    for (int i = 0; i < 3000; ++i) nested = box("udta", nested);
    Tables t;
    check_rows({
        {"largesize 0 runs to the end", cat({progressive(t), large_box("free", zeros(4), 0x0)}), {OK, OK, OK, OK, OK, OK}},
        {"largesize 8", cat({progressive(t), large_box("free", zeros(4), 8)}), {FORMAT, 0, 0, 0, 0, 0}},
        {"largesize 2^63", cat({progressive(t), large_box("free", zeros(4), 1ull << 63)}), {OK, OK, OK, OK, OK, OK}},
        {"size 0 in moov", cat({ftyp(), box("moov", cat({mvhd(0, 1000), box_sized(0, "free")}))}), {OK, NOTFOUND, STATE, 0, STATE, STATE}},
        {"size 2^32-1", cat({progressive(t), box_sized(0xFFFFFFFF, "mdat", zeros(4))}), {OK, OK, OK, OK, OK, OK}},
        {"5000 repeated boxes", cat({progressive(t), repeated}), {OK, OK, OK, OK, OK, OK}},
        {"3000 nested boxes", cat({ftyp(), nested, progressive(t)}), {OK, OK, OK, OK, OK, OK}},
        {"pssh KID count 2^32-1", cat({ftyp(), box("moov", cat({mvhd(0, 1000), full_box("pssh", 1, 0, cat({zeros(16), u32(0xFFFFFFFF), zeros(8)}))}))}),
         {FORMAT, 0, 0, 0, 0, 0}},
        {"avcC parameter set past its box", progressive(with(&Tables::stsd, stsd(visual_entry("avc1", 8, 8, box("avcC", cat({Bytes{1, 66, 0, 30, 0xFF, 0xE1}, u16(900), zeros(4)}))), 1))),
         {OK, OK, OK, OK, OK, OK}},
    });
    // The avcC row opens and plays; its descriptions are what fail.
    with_track(progressive(with(&Tables::stsd, stsd(visual_entry("avc1", 8, 8, box("avcC", cat({Bytes{1, 66, 0, 30, 0xFF, 0xE1}, u16(900), zeros(4)}))), 1))),
               0, [](PlayHandle *h) {
                   SampleDescriptions *d = nullptr;
                   EXPECT_EQ(bxf_get_sample_descriptions(h, 1, &d), BXF_RET_FORMAT);
               });
}

Bytes one_fragment(const Bytes &traf_children, const Bytes &after = {}) {
    return cat({fragmented_movie(1, trex(1, 10, 4), moof(1, traf(traf_children))), after});
}

TEST(Hostile, Fragments) {
    const Bytes head = tfhd({1, 0x020000});
    const Bytes huge_trun = full_box("trun", 0, 0x200, cat({u32(0xFFFFFFFF), zeros(8)}));
    const Bytes default_trun = full_box("trun", 0, 0, u32(0xFFFFFFFF));  // 2^32-1 samples of the defaults
    for (uint32_t mode : {0u, 1u}) {
        check_rows({
            {"trun count 2^32-1 with 8 bytes", one_fragment(cat({head, tfdt(0), huge_trun})), {OK, OK, OK, 0, OK, OK}},
            {"trun of 2^32-1 default samples", one_fragment(cat({head, tfdt(0), default_trun})), {OK, OK, OK, 0, OK, OK}},
            {"trun data offset past 2^64", one_fragment(cat({tfhd({1, 0x1, UINT64_MAX - 2}), tfdt(0), trun(0x201, {{0, 4}}, 100)})),
             {OK, OK, OVERFLOW, 0, OVERFLOW, OVERFLOW}},
            // The fragment starts after every time asked, and a lookup reads on
            // into it: its run ends past 2^64.
            {"tfdt near 2^64", one_fragment(cat({head, tfdt(UINT64_MAX - 5), trun(0x300, {{10, 4}})})),
             {OK, OK, OVERFLOW, 0, OVERFLOW, OVERFLOW}},
            {"more traf than tracks", cat({fragmented_movie(1, trex(1), moof(1, cat({traf(cat({head, trun(0x300, {{1, 1}})})), traf(head)})))}),
             {OK, OK, FORMAT, 0, FORMAT, FORMAT}},
            {"tfra count 2^32-1", one_fragment(cat({head, tfdt(0), trun(0x300, {{10, 4}})}), mfra(huge_count("tfra", 1, cat({u32(1), u32(0)})))),
             {OK, OK, OK, 0, OK, OK}},
            {"mfro pointing past the file", one_fragment(cat({head, tfdt(0), trun(0x300, {{10, 4}})}), mfro(0x7FFFFFFF)), {OK, OK, OK, 0, OK, OK}},
            {"mfro pointing at itself", one_fragment(cat({head, tfdt(0), trun(0x300, {{10, 4}})}), mfro(16)), {OK, OK, OK, 0, OK, OK}},
        }, mode);
        // A run that would end past 2^64: asking inside it is an overflow.
        with_track(one_fragment(cat({head, tfdt(UINT64_MAX - 5), trun(0x300, {{10, 4}})})), mode, [](PlayHandle *h) {
            SampleInfo s;
            uint64_t start = 0;
            EXPECT_EQ(bxf_play_get_sample_at_time(h, 1, UINT64_MAX - 3, 1, 0, &start, &s), BXF_RET_OVERFLOW);
        });
    }
}

// Every prefix of a small valid file, progressive and fragmented, in both
// fragment modes: whatever the cut, a documented code and no leak.
TEST(Hostile, TruncationAtEveryByte) {
    const Bytes files[] = {
        progressive(Tables{}),
        one_fragment(cat({tfhd({1, 0x020000}), tfdt(0), trun(0x700, {{10, 4, 0}, {10, 4, 0x10000}})}),
                     mfra(tfra(1, 1, 0, 1, {TfraEntry{0, 200, 1, 1, 1}}))),
    };
    for (const Bytes &file : files) {
        for (size_t cut = 0; cut <= file.size(); ++cut) {
            const Bytes prefix(file.begin(), file.begin() + cut);
            drive(prefix, 0);
            drive(prefix, 1);
            if (HasFailure()) FAIL() << "at cut " << cut << " of " << file.size();
        }
    }
}

}  // namespace
