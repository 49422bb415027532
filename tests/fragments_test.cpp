// Samples in movie fragments: defaults, base offsets and times, sync flags,
// the malformed cases, the fragment budget, the fragment index, gaps in the
// timeline, auxiliary information, and both fragment modes.
#include <gtest/gtest.h>

#include <string>

#include "bxf.h"
#include "support/fragment_writer.h"
#include "support/memory_file.h"
#include "support/opened_movie.h"

using namespace boxw;

namespace {

// The movie opened with every track; each question leaves its answer in the
// fields below.
struct Movie : OpenedMovie {
    SampleInfo s{};
    uint64_t start = 0, found = 0;
    uint32_t sample = 0;

    explicit Movie(Bytes bytes, uint32_t fragment_mode = 0, uint64_t budget = 0, uint32_t percent = 0)
        : OpenedMovie(std::move(bytes), OpenParams{budget, percent, 1, fragment_mode}) {
        uint32_t tracks = 0;
        EXPECT_EQ(bxf_get_track_count(handle, &tracks), BXF_RET_OK);
        for (uint32_t t = 1; t <= tracks; ++t) EXPECT_EQ(bxf_open_track(handle, t), BXF_RET_OK) << t;
    }
    // The sample that holds time t.
    uint32_t at(uint32_t track, uint64_t t, uint32_t want_run = 0) {
        return bxf_play_get_sample_at_time(handle, track, t, 1, want_run, &start, &s);
    }
    uint32_t info(uint32_t n) { return bxf_play_get_sample_info(handle, 1, n, 0, &s); }
    uint32_t sample_at(uint64_t t) {
        uint32_t sync = 0;
        return bxf_play_find_sample_at_time(handle, 1, t, 1, &sync, &sample, &start);
    }
    uint32_t sync_near(uint64_t t, uint32_t forward) {
        return bxf_play_find_sync_time_near(handle, 1, t, 1, forward, &found);
    }
    uint32_t sync_sample(uint32_t n, uint32_t forward) {
        return bxf_play_find_sync_sample(handle, 1, n, forward, &sample, &start);
    }
};

const uint32_t kSizeDuration = 0x300;  // trun stores sizes and durations

// Two tracks, two moofs; each traf holds one run of three samples of 10, 20
// and 30 bytes lasting 10, 20 and 30 (track 1) or 20, 40 and 60 (track 2).
Bytes two_track_movie(uint32_t second_traf_flags, bool with_tfdt) {
    Bytes fragments;
    for (uint32_t m = 0; m < 2; ++m) {
        Bytes trafs;
        for (uint32_t id = 1; id <= 2; ++id) {
            const uint32_t flags = id == 2 ? second_traf_flags : 0x020000;
            append(trafs, traf(cat({tfhd({id, flags}), with_tfdt ? tfdt(m * 300) : Bytes{},
                                    trun(kSizeDuration, {{10 * id, 10}, {20 * id, 20}, {30 * id, 30}})})));
        }
        append(fragments, cat({moof(m + 1, trafs), box("mdat", zeros(8))}));
    }
    return fragmented_movie(2, cat({trex(1), trex(2)}), fragments, 0);
}

TEST(Fragments, BaseDataOffsets) {
    struct Row {
        const char *name;
        uint32_t second_traf_flags;
        uint64_t second_track_first_offset_from_moof;
    } rows[] = {
        {"default-base-is-moof", 0x020000, 0},
        {"continuing the first traf's data", 0, 60},  // 10 + 20 + 30 bytes before it
    };
    for (const Row &r : rows) {
        for (uint32_t mode : {0u, 1u}) {
            SCOPED_TRACE(r.name);
            Movie m(two_track_movie(r.second_traf_flags, true), mode);
            ASSERT_EQ(m.at(1, 0), BXF_RET_OK);
            const uint64_t moof_offset = m.s.offset;  // track 1's data starts at its moof
            ASSERT_EQ(m.at(2, 0), BXF_RET_OK);
            EXPECT_EQ(m.s.offset - moof_offset, r.second_track_first_offset_from_moof);
            EXPECT_EQ(m.s.size, 10u);
            EXPECT_EQ(m.s.duration, 20u);
            EXPECT_EQ(m.s.fragment_position != 0, mode == 1) << "only mode 1 reports the moof";
        }
    }
}

TEST(Fragments, BaseDecodeTimes) {
    // Without tfdt the first traf starts where the stts runs end (here 0), the
    // second moof's where the track's first traf ended.
    Movie m(two_track_movie(0x020000, false));
    struct Row {
        uint32_t track;
        uint64_t t, start, duration;
    } rows[] = {{1, 0, 0, 10},    {1, 35, 30, 30},   {1, 60, 60, 10}, {1, 119, 90, 30},
                {2, 119, 60, 60}, {2, 239, 180, 60}, {1, 45, 30, 30}};
    for (const Row &r : rows) {
        ASSERT_EQ(m.at(r.track, r.t), BXF_RET_OK) << r.track << " " << r.t;
        EXPECT_EQ(m.start, r.start) << r.track << " " << r.t;
        EXPECT_EQ(m.s.duration, r.duration) << r.track << " " << r.t;
    }
    EXPECT_EQ(m.at(1, 120), BXF_RET_NOTFOUND) << "past the last fragment";
    EXPECT_EQ(m.duration(2), 240u);
    EXPECT_EQ(m.duration(2, 0), 0u) << "the tables alone";

    // The tables end where their stts runs do, whatever the mdhd says (a DASH
    // init states its segments' span over empty tables): with or without a
    // tfdt of 0, the first traf starts at 0.
    for (const bool with_tfdt : {true, false}) {
        Bytes g =
            moof(1, traf(cat({tfhd({1, 0x020000}), with_tfdt ? tfdt(0) : Bytes{}, trun(kSizeDuration, {{4, 5}})})));
        Movie joined(fragmented_movie(1, trex(1), g, 500));
        ASSERT_EQ(joined.at(1, 2), BXF_RET_OK) << with_tfdt;
        EXPECT_EQ(joined.start, 0u) << with_tfdt;
    }
}

TEST(Fragments, SampleValues) {
    // trex default size 100, tfhd default size 200 and duration 7, trun
    // without sizes; first sample flags say sync, the others not.
    const Tfhd head{1, 0x020000 | 0x10 | 0x8, 0, 0, 7, 200, 0};
    const Bytes run =
        trun(0x4 | 0x400 | 0x800, {{0, 0, 0x00010000, 5}, {0, 0, 0x00010000, 0xFFFFFF9C}}, 0, 0x02000000, 1);
    Movie m(fragmented_movie(1, trex(1, 3, 100), moof(1, traf(cat({tfhd(head), tfdt(0), run})))));
    ASSERT_EQ(m.at(1, 0), BXF_RET_OK);
    EXPECT_EQ(m.s.size, 200u);
    EXPECT_EQ(m.s.duration, 7u);
    EXPECT_EQ(m.s.is_sync, 1u) << "first_sample_flags win over the sample's own flags";
    EXPECT_EQ(m.s.composition_offset_signed, 1u);
    ASSERT_EQ(m.at(1, 7, 1), BXF_RET_OK);
    EXPECT_EQ(m.s.is_sync, 0u);
    EXPECT_EQ(m.s.composition_offset, 0xFFFFFF9Cu);
    EXPECT_EQ(m.s.run_count, 1u);
    EXPECT_EQ(m.s.run_bytes, 200u);
    ASSERT_EQ(m.at(1, 0, 1), BXF_RET_OK);
    EXPECT_EQ(m.s.run_count, 2u);
    EXPECT_EQ(m.s.run_duration, 14u);
}

TEST(Fragments, MalformedFragments) {
    const Bytes head = tfhd({1, 0x020000}), run = trun(kSizeDuration, {{4, 5}});
    const Bytes one = traf(cat({head, tfdt(0), run}));
    struct Row {
        const char *name;
        Bytes fragments;
        uint32_t code;
    } rows[] = {
        {"a traf without tfhd", moof(1, traf(cat({tfdt(0), run}))), BXF_RET_FORMAT},
        {"an unknown track", moof(1, traf(cat({tfhd({9, 0x020000}), run}))), BXF_RET_FORMAT},
        {"tfhd version 1", moof(1, traf(full_box("tfhd", 1, 0, u32(1)))), BXF_RET_FORMAT},
        {"tfhd too short for its flags", moof(1, traf(full_box("tfhd", 0, 0x1, cat({u32(1), u32(0)})))),
         BXF_RET_FORMAT},
        {"trun version 2", moof(1, traf(cat({head, trun(kSizeDuration, {{4, 5}}, 0, 0, 2)}))), BXF_RET_FORMAT},
        {"data offset before the file", moof(1, traf(cat({head, trun(0x1 | kSizeDuration, {{4, 5}}, -100000)}))),
         BXF_RET_OVERFLOW},
        {"no moof", box("free"), BXF_RET_NOTFOUND},
    };
    for (const Row &r : rows) EXPECT_EQ(Movie(fragmented_movie(1, trex(1), r.fragments)).at(1, 0), r.code) << r.name;
    Movie dup(fragmented_movie(2, cat({trex(1), trex(2)}), moof(1, cat({one, one}))));
    EXPECT_EQ(dup.at(2, 0), BXF_RET_FORMAT) << "two traf boxes for one track";
}

TEST(Fragments, RunsThroughASmallBudget) {
    // 3000 samples in three runs of one traf; a budget that holds a window of
    // a few dozen entries at a time.
    Bytes runs;
    std::vector<TrunEntry> entries;
    for (uint32_t i = 0; i < 1000; ++i) entries.push_back({1 + i % 3, 10 + i % 5});
    for (int r = 0; r < 3; ++r) append(runs, trun(kSizeDuration, entries));
    const Bytes file = fragmented_movie(1, trex(1), moof(1, traf(cat({tfhd({1, 0x020000}), tfdt(0), runs}))));
    for (uint64_t budget : {uint64_t(0), uint64_t(2400000)}) {
        Movie m(file, 0, budget, budget ? 1 : 0);  // 1 percent of 2.4 MB: a 24000-byte pool 2
        uint64_t t = 0, offset = 0;
        uint32_t count = 0;
        for (uint32_t ret; (ret = m.at(1, t)) != BXF_RET_NOTFOUND; ++count) {
            ASSERT_EQ(ret, BXF_RET_OK) << budget << " at " << t;
            ASSERT_EQ(m.start, t);
            ASSERT_EQ(m.s.duration, 1 + count % 1000 % 3);
            if (count) EXPECT_EQ(m.s.offset, offset);
            offset = m.s.offset + m.s.size;
            t += m.s.duration;
        }
        EXPECT_EQ(count, 3000u) << budget;
        ASSERT_EQ(m.at(1, 5), BXF_RET_OK) << "back to the start after the end";
        EXPECT_EQ(m.start, 3u);
    }
    Movie tiny(file, 0, 30000, 1);  // pool 2 of 300 bytes: not even one run record fits
    EXPECT_EQ(tiny.at(1, 0), BXF_RET_NOMEM);
}

TEST(Fragments, SyncSearchesAcrossTheTablesAndTheFragments) {
    // Tables: three samples of 10 (sync 1 only); fragments from 30: sync at 30 and 60.
    const Bytes tables = cat({stts({{3, 10}}), stsc({{1, 3, 1}}), stsz_constant(1, 3), stco({0}), stss({1})});
    std::vector<TrunEntry> entries(6, TrunEntry{10, 1, 0x00010000, 0});
    entries[0].flags = entries[3].flags = 0;
    const Bytes fragments = moof(1, traf(cat({tfhd({1, 0x020000}), tfdt(30), trun(0x700, entries)})));
    Movie m(fragmented_movie(1, trex(1), fragments, 30, tables));
    struct Row {
        uint64_t t;
        uint32_t forward, code;
        uint64_t result;
    } rows[] = {{75, 0, BXF_RET_OK, 60}, {55, 0, BXF_RET_OK, 30},     {45, 0, BXF_RET_OK, 30},
                {25, 0, BXF_RET_OK, 0},  {5, 0, BXF_RET_NOTFOUND, 0}, {5, 1, BXF_RET_OK, 30},
                {35, 1, BXF_RET_OK, 60}, {65, 1, BXF_RET_NOTFOUND, 0}};
    for (const Row &r : rows) {
        EXPECT_EQ(m.sync_near(r.t, r.forward), r.code) << r.t;
        if (r.code == BXF_RET_OK) EXPECT_EQ(m.found, r.result) << r.t << " " << r.forward;
    }
    EXPECT_EQ(m.duration(), 90u);
    // By number: the tables' samples 1 to 3, then the fragment's 4 to 9.
    struct Step {
        uint32_t sample, forward, code, found;
        uint64_t start;
    } steps[] = {{2, 1, BXF_RET_OK, 4, 30},      {3, 1, BXF_RET_OK, 4, 30}, {4, 1, BXF_RET_OK, 7, 60},
                 {7, 1, BXF_RET_NOTFOUND, 0, 0}, {9, 0, BXF_RET_OK, 7, 60}, {7, 0, BXF_RET_OK, 4, 30},
                 {4, 0, BXF_RET_OK, 1, 0},       {6, 0, BXF_RET_OK, 4, 30}};
    for (const Step &st : steps) {
        EXPECT_EQ(m.sync_sample(st.sample, st.forward), st.code) << st.sample;
        if (st.code != BXF_RET_OK) continue;
        EXPECT_EQ(m.sample, st.found) << st.sample << " " << st.forward;
        EXPECT_EQ(m.start, st.start) << st.sample << " " << st.forward;
    }
    ASSERT_EQ(m.info(3), BXF_RET_OK) << "back to the tables";
    EXPECT_EQ(m.s.decode_time, 20u);
    ASSERT_EQ(m.info(5), BXF_RET_OK);
    EXPECT_EQ(m.s.decode_time, 40u);
    EXPECT_EQ(m.info(10), BXF_RET_NOTFOUND) << "after the last fragment sample";
}

// 40 moofs of one track, ten 10-unit samples each carrying composition
// offsets `composition`, with tfdt values `tfdt_shift` after the index's
// times (none when negative); with `indexed`, an mfra whose tfra names sample
// `indexed` of each moof's run at its presentation time.
Bytes indexed_movie(uint32_t indexed, uint32_t composition = 0, int64_t tfdt_shift = -1) {
    const Bytes head = fragmented_movie(1, trex(1), {});
    Bytes fragments;
    std::vector<TfraEntry> index;
    const std::vector<TrunEntry> entries(10, TrunEntry{10, 4, 0, composition});
    for (uint32_t m = 0; m < 40; ++m) {
        const uint64_t presentation = m * 100 + (indexed ? indexed - 1 : 0) * 10 + composition;
        index.push_back({presentation, head.size() + fragments.size(), 1, 1, indexed});
        const Bytes base = tfdt_shift < 0 ? Bytes{} : tfdt(m * 100 + uint64_t(tfdt_shift));
        append(fragments, cat({moof(m + 1, traf(cat({tfhd({1, 0x020000}), base, trun(0xB00, entries)}))),
                               box("mdat", zeros(40))}));
    }
    return indexed ? cat({head, fragments, mfra(tfra(1, 1, 0, 40, index))}) : cat({head, fragments});
}

TEST(FragmentIndex, TfraTimeIsTheIndexedSamplesPresentationTime) {
    // A traf without tfdt has no base of its own: reached through the index,
    // it starts its indexed sample at the tfra time (when that sample is
    // presented) less its composition offset.
    struct Row {
        uint32_t indexed, composition;
    } rows[] = {{1, 0}, {1, 20}, {3, 20}, {1, 7}, {5, 0}};
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << "sample " << r.indexed << " offset " << r.composition);
        Movie m(indexed_movie(r.indexed, r.composition));
        ASSERT_EQ(m.at(1, 2345), BXF_RET_OK);
        EXPECT_EQ(m.start, 2340u);
        EXPECT_EQ(m.s.composition_offset, r.composition);
        ASSERT_EQ(m.at(1, 1200), BXF_RET_OK) << "backwards through the index";
        EXPECT_EQ(m.start, 1200u);
        EXPECT_EQ(m.at(1, 4000), BXF_RET_NOTFOUND);
    }
    // A tfdt ahead of the index: the index entry starts before its sample.
    EXPECT_EQ(Movie(indexed_movie(1, 0, 5)).at(1, 2345), BXF_RET_FORMAT);
}

TEST(FragmentIndex, LookupsJumpThroughTheIndex) {
    uint64_t reads[2] = {};
    for (uint32_t index : {0u, 1u}) {
        SCOPED_TRACE(index);
        Movie m(indexed_movie(index, 0, 0));
        const uint64_t before = m.file.reads;
        ASSERT_EQ(m.at(1, 3555), BXF_RET_OK);
        EXPECT_EQ(m.start, 3550u);
        reads[index] = m.file.reads - before;
        ASSERT_EQ(m.at(1, 1205), BXF_RET_OK) << "backwards";
        EXPECT_EQ(m.start, 1200u);
        ASSERT_EQ(m.at(1, 3999), BXF_RET_OK);
        EXPECT_EQ(m.at(1, 4000), BXF_RET_NOTFOUND);
        // A jump leaves the sample's number to be counted: 35 moofs of ten
        // before it, then its sixth sample; the walk goes on from there.
        ASSERT_EQ(m.sample_at(3555), BXF_RET_OK);
        EXPECT_EQ(m.sample, 356u);
        for (uint32_t n : {356u, 357u, 361u}) {
            ASSERT_EQ(m.info(n), BXF_RET_OK) << n;
            EXPECT_EQ(m.s.decode_time, (n - 1) * 10) << n;
        }
    }
    // A scan reads every moof's and mdat's header up to the 36th fragment; a
    // jump reads the index and that one moof.
    EXPECT_GT(reads[0], 60u);
    EXPECT_LT(reads[1], 20u);
}

TEST(Fragments, GapsInTheTimelineEndNoSearch) {
    // One track, two moofs of three 10-unit samples (sync, then two that are
    // not) whose tfdt values are `first` and `second`.
    constexpr uint64_t kTenHours = 10ull * 3600 * 1000;
    struct Row {
        const char *name;
        uint64_t first, second;  // tfdt of the two moofs
        uint64_t in_gap;         // a time no sample holds, before a fragment
        uint64_t whole;          // where the last fragment sample ends
    } rows[] = {
        {"first tfdt at 10 hours", kTenHours, kTenHours + 30, 0, kTenHours + 60},
        {"gap between fragments", 0, 500, 300, 530},
        {"first tfdt at 10 hours and a gap", kTenHours, kTenHours + 1000, kTenHours + 40, kTenHours + 1030},
    };
    for (uint32_t mode : {0u, 1u}) {
        for (const Row &r : rows) {
            SCOPED_TRACE(std::string(r.name) + (mode ? ", extended mode" : ""));
            Bytes fragments;
            uint32_t sequence = 1;
            for (uint64_t base : {r.first, r.second}) {
                const Bytes run = trun(0x700, {{10, 4, 0}, {10, 4, 0x10000}, {10, 4, 0x10000}});
                append(fragments, cat({moof(sequence++, traf(cat({tfhd({1, 0x020000}), tfdt(base), run}))),
                                       box("mdat", zeros(12))}));
            }
            Movie m(fragmented_movie(1, trex(1), fragments), mode);
            const uint64_t after_gap = r.in_gap < r.first ? r.first : r.second;
            EXPECT_EQ(m.at(1, r.in_gap), BXF_RET_NOTFOUND);
            // Forwards: the first sync sample at or after the time, past the gap.
            ASSERT_EQ(m.sync_near(r.in_gap, 1), BXF_RET_OK);
            EXPECT_EQ(m.found, after_gap);
            // Backwards: the sync sample before the gap, if any.
            const uint32_t back = r.in_gap == 0 ? BXF_RET_ARGS : r.in_gap < r.first ? BXF_RET_NOTFOUND : BXF_RET_OK;
            ASSERT_EQ(m.sync_near(r.in_gap, 0), back);
            if (back == BXF_RET_OK) EXPECT_EQ(m.found, r.first);
            // From a sample before the gap that is not a sync sample.
            ASSERT_EQ(m.sync_near(r.first + 15, 1), BXF_RET_OK);
            EXPECT_EQ(m.found, r.second);
            // Both fragments are reached, in either order.
            ASSERT_EQ(m.at(1, r.second + 25), BXF_RET_OK);
            EXPECT_EQ(m.start, r.second + 20);
            ASSERT_EQ(m.at(1, r.first + 5), BXF_RET_OK);
            EXPECT_EQ(m.start, r.first);
            EXPECT_EQ(m.s.is_sync, 1u);
            EXPECT_EQ(m.sync_near(r.second + 30, 1), BXF_RET_NOTFOUND) << "past the last sample";
            EXPECT_EQ(m.duration(), r.whole);
            // In sample order: each moof's three samples, whatever the gap,
            // and a step back into the first moof.
            for (uint32_t n : {1u, 2u, 3u, 4u, 5u, 6u, 2u}) {
                ASSERT_EQ(m.info(n), BXF_RET_OK) << n;
                EXPECT_EQ(m.s.decode_time, (n <= 3 ? r.first : r.second) + (n - 1) % 3 * 10) << n;
            }
            EXPECT_EQ(m.info(7), BXF_RET_NOTFOUND);
            // By time, a time in the gap finds the sample after it.
            ASSERT_EQ(m.sample_at(r.in_gap), BXF_RET_OK);
            EXPECT_EQ(m.sample, r.in_gap < r.first ? 1u : 4u);
            EXPECT_EQ(m.start, after_gap);
            EXPECT_EQ(m.sync_sample(6, 0), BXF_RET_OK);
            EXPECT_EQ(m.sample, 4u);
            uint64_t first = 0, end = 0;
            ASSERT_EQ(bxf_play_get_track_timeline(m.handle, 1, &first, &end), BXF_RET_OK);
            EXPECT_EQ(first, r.first);
            EXPECT_EQ(end, r.whole);
        }
    }
}

TEST(Fragments, ZeroDurationSamplesAreReachedInOrder) {
    // Durations 0, 10, 0 and 10 from tfdt 100: no time holds the first or the
    // third, the walk by number reaches all four.
    const Bytes t =
        traf(cat({tfhd({1, 0x020000}), tfdt(100), trun(kSizeDuration, {{0, 4}, {10, 5}, {0, 6}, {10, 7}})}));
    for (uint32_t mode : {0u, 1u}) {
        Movie m(fragmented_movie(1, trex(1), cat({moof(1, t), box("mdat", zeros(22))})), mode);
        const uint64_t times[] = {100, 100, 110, 110};
        for (uint32_t n = 1; n <= 4; ++n) {
            ASSERT_EQ(m.info(n), BXF_RET_OK) << n;
            EXPECT_EQ(m.s.decode_time, times[n - 1]) << n;
            EXPECT_EQ(m.s.size, n + 3) << n;
        }
        ASSERT_EQ(m.sample_at(110), BXF_RET_OK);
        EXPECT_EQ(m.sample, 4u) << "the sample whose interval holds the time";
    }
}

TEST(FragmentAux, ExtendedModeReportsEachSamplesAuxiliaryInformation) {
    // saio: one entry, 500 past the base data offset (the moof); saiz: 8
    // bytes per sample; a senc with subsample flags; trik bytes per sample.
    // Without a type, and no description to take it from, the pair is
    // dropped and the samples stay reachable in every mode.
    const Bytes head = fragmented_movie(1, trex(1), {});
    const uint64_t moof_offset = head.size();
    const Bytes samples = cat({tfhd({1, 0x020000}), tfdt(0), trun(kSizeDuration, {{10, 4}, {10, 4}, {10, 4}})});
    const Bytes typed = traf(cat({samples, full_box("senc", 0, 2, u32(3)), saio({500}, 0, {"cenc"}),
                                  saiz(8, 3, {}, {"cenc"}), full_box("trik", 0, 0, Bytes{0x40, 0xA1, 0xC2})}));
    const Bytes untyped = traf(cat({samples, saio({500}), saiz(8, 3)}));
    for (uint32_t mode : {0u, 1u, 2u}) {
        Movie m(cat({head, moof(1, typed)}), mode);
        ASSERT_EQ(m.at(1, 15, 1), BXF_RET_OK) << mode;
        Movie without_type(cat({head, moof(1, untyped)}), mode);
        ASSERT_EQ(without_type.at(1, 15, 1), BXF_RET_OK) << mode;
        EXPECT_EQ(without_type.s.aux_flags, 0u) << mode;
        if (mode != 1) {
            EXPECT_EQ(m.s.aux_flags, 0u) << "only fragment mode 1 reports auxiliary information";
            continue;
        }
        EXPECT_EQ(m.s.aux_flags, BXF_AUX_TRICK_PLAY | BXF_AUX_SAIO_SAIZ | BXF_AUX_SENC);
        EXPECT_EQ(m.s.aux_offset, moof_offset + 500 + 8);
        EXPECT_EQ(m.s.aux_size, 8u);
        EXPECT_EQ(m.s.aux_run_bytes, 16u);
        EXPECT_EQ(m.s.aux_info_type, BXF_FOURCC('c', 'e', 'n', 'c'));
        EXPECT_EQ(m.s.senc_flags, 2u);
        EXPECT_EQ(m.s.trick_play_info, (2u << 8) | 33u) << "pic_type 2, dependency level 33";
        EXPECT_EQ(m.s.fragment_position, moof_offset + 8);
    }
}

}  // namespace
