// Sample tables read through their windows and the lookups over them: the
// worked cases of each rule, the error codes, and a long track read in every
// order against a model built alongside its tables.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "bxf.h"
#include "track_caches.h"
#include "support/memory_file.h"
#include "support/opened_movie.h"
#include "support/track_writer.h"

using namespace boxw;

namespace {

// The movie opened with its first track.
struct Track : OpenedMovie {
    uint32_t open_code = 0;

    explicit Track(Bytes bytes, OpenParams params = {0, 0, 1, 0}) : OpenedMovie(std::move(bytes), params) {
        EXPECT_EQ(code, BXF_RET_OK);
        open_code = bxf_open_track(handle, 1);
    }
    // The sample at time t, its start and whether it is a sync sample.
    uint32_t sample = 0, sync = 0;
    uint64_t start = 0;
    uint32_t sample_at(uint64_t t, uint32_t inclusive = 1) {
        return bxf_play_find_sample_at_time(handle, 1, t, inclusive, &sync, &sample, &start);
    }
    uint32_t sync_sample(uint32_t n, uint32_t forward) {
        return bxf_play_find_sync_sample(handle, 1, n, forward, &sample, &start);
    }
};

TEST(WindowSizing, SplitsAShareAmongTheTables) {
    bxf::TableWindow w[bxf::kTableCount] = {};
    const uint32_t totals[] = {1, 5000, 10000, 1, 10000, 50};
    for (uint32_t k = 0; k < bxf::kTableCount; ++k) w[k].total = totals[k];
    ASSERT_EQ(bxf::split_window_budget(65488, w, false), BXF_RET_OK);
    const uint32_t expected[] = {1, 2718, 2719, 1, 2719, 50};
    for (uint32_t k = 0; k < bxf::kTableCount; ++k) EXPECT_EQ(w[k].capacity, expected[k]) << k;

    // Every present table needs room for two entries in the pass that sizes it.
    ASSERT_EQ(bxf::split_window_budget(2 * 68, w, false), BXF_RET_OK);
    EXPECT_EQ(bxf::split_window_budget(2 * 68 - 1, w, false), BXF_RET_NOMEM);
    // Empty tables take nothing; 4-bit sizes get an even capacity.
    for (auto &x : w) x.total = 0;
    w[bxf::kSizes].total = 1001;
    ASSERT_EQ(bxf::split_window_budget(4 * 501, w, true), BXF_RET_OK);
    EXPECT_EQ(w[bxf::kSizes].capacity, 500u);
}

TEST(SampleTables, RecordingRules) {
    struct Row {
        const char *name;
        Bytes tables;
        uint32_t open_code;
        uint32_t count;
        std::vector<uint32_t> sizes;
    } rows[] = {
        {"constant size", cat({stts({{5, 1}}), stsc({{1, 5, 1}}), stsz_constant(12, 5), stco({0})}), BXF_RET_OK, 5,
         {12, 12, 12, 12, 12}},
        {"stz2 with 4-bit entries",
         cat({stts({{5, 1}}), stsc({{1, 5, 1}}),
              full_box("stz2", 0, 0, cat({zeros(3), u8(4), u32(5), Bytes{0x12, 0x34, 0x50}})), stco({0})}),
         BXF_RET_OK, 5, {1, 2, 3, 4, 5}},
        {"stz2 with 16-bit entries",
         cat({stts({{2, 1}}), stsc({{1, 2, 1}}), full_box("stz2", 0, 0, cat({zeros(3), u8(16), u32(2), u16(300), u16(7)})),
              stco({0})}),
         BXF_RET_OK, 2, {300, 7}},
        {"stz2 after stsz is ignored",
         cat({stts({{2, 1}}), stsc({{1, 2, 1}}), stsz({9, 8}),
              full_box("stz2", 0, 0, cat({zeros(3), u8(8), u32(2), Bytes{1, 2}})), stco({0})}),
         BXF_RET_OK, 2, {9, 8}},
        {"a second stts is ignored",
         cat({stts({{2, 1}}), stts({{1, 5}}), stsc({{1, 2, 1}}), stsz({9, 8}), stco({0})}), BXF_RET_OK, 2, {9, 8}},
        {"stsz count past its payload",
         cat({stts({{3, 1}}), stsc({{1, 3, 1}}), full_box("stsz", 0, 0, cat({u32(0), u32(3), u32(5), u32(6)})),
              stco({0})}),
         BXF_RET_OK, 2, {5, 6}},
        {"stz2 field size 3", full_box("stz2", 0, 0, cat({zeros(3), u8(3), u32(0)})), BXF_RET_FORMAT, 0, {}},
        {"stts version 1", full_box("stts", 1, 0, u32(0)), BXF_RET_FORMAT, 0, {}},
        {"ctts version 1", full_box("ctts", 1, 0, u32(0)), BXF_RET_OK, 0, {}},
        {"ctts version 2", full_box("ctts", 2, 0, u32(0)), BXF_RET_FORMAT, 0, {}},
        {"stsc under 8 bytes", full_box("stsc", 0, 0, u16(0)), BXF_RET_FORMAT, 0, {}},
        {"stsz under 12 bytes", full_box("stsz", 0, 0, u32(0)), BXF_RET_FORMAT, 0, {}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        Track t(table_movie(r.tables, 100));
        ASSERT_EQ(t.open_code, r.open_code);
        if (r.open_code != BXF_RET_OK || r.sizes.empty()) continue;
        uint32_t count = 0;
        ASSERT_EQ(bxf_play_get_sample_count(t.handle, 1, &count), BXF_RET_OK);
        EXPECT_EQ(count, r.count);
        for (uint32_t n = 1; n <= count; ++n) EXPECT_EQ(t.sample_info(n).size, r.sizes[n - 1]) << n;
    }
}

TEST(SampleLookup, EmptyChunkRuns) {
    // A sample's run goes to the end of its chunk. An stsc run of
    // samples_per_chunk 0 names chunks that hold no sample: the samples go on
    // in the next run's first chunk. Every sample is 10 bytes lasting 3; the
    // empty runs carry description index 9, which no sample may report.
    struct Row {
        const char *name;
        std::vector<StscEntry> runs;
        std::vector<uint32_t> chunks;
        std::vector<uint64_t> offsets;  // of samples 1..4
        std::vector<uint32_t> run_counts;
    } rows[] = {
        {"two chunks of two", {{1, 2, 1}}, {100, 200}, {100, 110, 200, 210}, {2, 1, 2, 1}},
        {"empty run between", {{1, 2, 1}, {2, 0, 9}, {3, 2, 1}}, {100, 200, 300}, {100, 110, 300, 310}, {2, 1, 2, 1}},
        {"empty first run", {{1, 0, 9}, {2, 4, 1}}, {100, 200}, {200, 210, 220, 230}, {4, 3, 2, 1}},
        {"empty last run", {{1, 4, 1}, {2, 0, 9}}, {100, 200}, {100, 110, 120, 130}, {4, 3, 2, 1}},
        {"two empty runs", {{1, 1, 1}, {2, 0, 9}, {4, 3, 1}, {5, 0, 9}}, {100, 200, 300, 400, 500},
         {100, 400, 410, 420}, {1, 3, 2, 1}},
    };
    for (const Row &r : rows) {
        const Bytes tables = cat({stts({{4, 3}}), stsc(r.runs), stsz_constant(10, 4), stco(r.chunks)});
        // Forwards from sample 1, and backwards from sample 4 in a fresh track
        // (the window then loads the stsc from its end).
        for (bool backwards : {false, true}) {
            SCOPED_TRACE(std::string(r.name) + (backwards ? " backwards" : ""));
            Track t(table_movie(tables, 12));
            ASSERT_EQ(t.open_code, BXF_RET_OK);
            for (uint32_t i = 0; i < 4; ++i) {
                const uint32_t n = backwards ? 4 - i : i + 1;
                const SampleInfo s = t.sample_info(n, 1);
                EXPECT_EQ(s.offset, r.offsets[n - 1]) << n;
                EXPECT_EQ(s.run_count, r.run_counts[n - 1]) << n;
                EXPECT_EQ(s.run_bytes, 10 * r.run_counts[n - 1]) << n;
                EXPECT_EQ(s.run_duration, 3 * r.run_counts[n - 1]) << n;
                EXPECT_EQ(s.description_index, 1u) << n;
            }
            t.sample_info(5, 0, BXF_RET_NOTFOUND);  // past the last sample: the end of a streaming loop
        }
    }
    // An stsc whose runs are all empty places no sample: the size table is the
    // longer one, and the shorter table ends the track, read from either end.
    for (uint32_t first : {1u, 4u, 2u}) {
        Track empty(table_movie(cat({stts({{4, 10}}), stsc({{1, 0, 1}}), stsz_constant(10, 4), stco({100})}), 40));
        empty.sample_info(first, 0, BXF_RET_NOTFOUND);
    }
}

TEST(SampleLookup, TimesAndSyncSamples) {
    // Runs (3 x 1000) and (2 x 500): samples start at 0, 1000, 2000, 3000, 3500.
    Track t(table_movie(cat({stts({{3, 1000}, {2, 500}}), stsc({{1, 5, 1}}), stsz_constant(1, 5), stco({0}),
                             stss({1, 4})}),
                        4000));
    struct Row {
        uint64_t time;
        uint32_t inclusive, code, sample;
        uint64_t start;
    } times[] = {{3000, 1, BXF_RET_OK, 4, 3000}, {3000, 0, BXF_RET_OK, 3, 2000}, {3999, 1, BXF_RET_OK, 5, 3500},
                 {4000, 1, BXF_RET_NOTFOUND, 0, 0}, {0, 0, BXF_RET_ARGS, 0, 0}, {0, 1, BXF_RET_OK, 1, 0},
                 {1, 0, BXF_RET_OK, 1, 0}, {2500, 1, BXF_RET_OK, 3, 2000}};
    for (const Row &r : times) {
        ASSERT_EQ(t.sample_at(r.time, r.inclusive), r.code) << r.time << " " << r.inclusive;
        if (r.code != BXF_RET_OK) continue;
        EXPECT_EQ(t.sample, r.sample) << r.time;
        EXPECT_EQ(t.start, r.start) << r.time;
        EXPECT_EQ(t.sync, r.sample == 1 || r.sample == 4) << r.time;
    }
    uint64_t near = 0;
    EXPECT_EQ(bxf_play_find_sync_time_near(t.handle, 1, 3600, 1, 0, &near), BXF_RET_OK);
    EXPECT_EQ(near, 3000u) << "sample 5 holds 3600; the sync sample before it is 4";
    EXPECT_EQ(bxf_play_find_sync_time_near(t.handle, 1, 3000, 1, 0, &near), BXF_RET_OK);
    EXPECT_EQ(near, 0u) << "before sample 4 even though it is a sync sample itself";
    EXPECT_EQ(bxf_play_find_sync_time_near(t.handle, 1, 500, 1, 1, &near), BXF_RET_OK);
    EXPECT_EQ(near, 3000u);
    EXPECT_EQ(bxf_play_find_sync_time_near(t.handle, 1, 500, 1, 0, &near), BXF_RET_NOTFOUND);
    EXPECT_EQ(bxf_play_find_sync_time_near(t.handle, 1, 3600, 1, 1, &near), BXF_RET_NOTFOUND);
    EXPECT_EQ(bxf_play_find_sync_time_near(t.handle, 1, 0, 0, 0, &near), BXF_RET_ARGS);
    EXPECT_EQ(t.duration(1, 0), 4000u);

    // Sync searches over stss = {1, 5, 9} in ten samples.
    const Bytes base = cat({stts({{10, 100}}), stsc({{1, 10, 1}}), stsz_constant(1, 10), stco({0})});
    Track s(table_movie(cat({base, stss({1, 5, 9})}), 1000));
    struct SyncRow {
        uint32_t from, forward, code, sample;
    } syncs[] = {{5, 0, BXF_RET_OK, 1},        {5, 1, BXF_RET_OK, 9},          {9, 1, BXF_RET_NOTFOUND, 0},
                 {1, 0, BXF_RET_ARGS, 0},      {10, 0, BXF_RET_OK, 9},         {2, 1, BXF_RET_OK, 5},
                 {11, 0, BXF_RET_NOTFOUND, 0}, {10, 1, BXF_RET_NOTFOUND, 0},   {0, 1, BXF_RET_ARGS, 0}};
    for (const SyncRow &r : syncs) {
        ASSERT_EQ(s.sync_sample(r.from, r.forward), r.code) << r.from << " " << r.forward;
        if (r.code != BXF_RET_OK) continue;
        EXPECT_EQ(s.sample, r.sample) << r.from << " " << r.forward;
        EXPECT_EQ(s.start, (r.sample - 1) * 100u);
    }
    for (uint32_t n = 1; n <= 10; ++n) EXPECT_EQ(s.sample_info(n).is_sync, n == 1 || n == 5 || n == 9) << n;

    // Without stss every sample is a sync sample; with an empty one, none is.
    Track without_stss(table_movie(base, 1000));
    EXPECT_EQ(without_stss.sync_sample(7, 0), BXF_RET_OK);
    EXPECT_EQ(without_stss.sample, 6u);
    Track empty_stss(table_movie(cat({base, stss({})}), 1000));
    for (uint32_t n = 1; n <= 10; ++n) EXPECT_EQ(empty_stss.sample_info(n).is_sync, 0u) << n;
    EXPECT_EQ(empty_stss.sync_sample(7, 0), BXF_RET_NOTFOUND);
}

TEST(SampleLookup, CompositionOffsets) {
    const Bytes base = cat({stts({{3, 1}}), stsc({{1, 3, 1}}), stsz_constant(1, 3), stco({0})});
    Track v1(table_movie(cat({base, ctts({{1, 0xFFFFFC18}, {2, 5}}, 1)}), 3));
    SampleInfo s = v1.sample_info(1);
    EXPECT_EQ(s.composition_offset, 0xFFFFFC18u);
    EXPECT_EQ(s.composition_offset_signed, 1u);
    EXPECT_EQ(v1.sample_info(3).composition_offset, 5u);
    Track v0(table_movie(cat({base, ctts({{1, 7}})}), 3));
    EXPECT_EQ(v0.sample_info(1).composition_offset_signed, 0u);
    EXPECT_EQ(v0.sample_info(3).composition_offset, 0u) << "past a short ctts";
}

TEST(SampleLookup, ErrorCodes) {
    const Bytes stts_ = stts({{4, 10}}), stsc_ = stsc({{1, 2, 1}}), stsz_ = stsz_constant(1, 4), stco_ = stco({0, 9});
    struct Row {
        const char *name;
        Bytes tables;
        uint32_t count_code, info_code;
    } rows[] = {
        {"no sample sizes", cat({stts_, stsc_, stco_}), BXF_RET_FORMAT, BXF_RET_FORMAT},
        {"no stts", cat({stsc_, stsz_, stco_}), BXF_RET_OK, BXF_RET_FORMAT},
        {"no stsc", cat({stts_, stsz_, stco_}), BXF_RET_OK, BXF_RET_FORMAT},
        {"no chunk offsets", cat({stts_, stsc_, stsz_}), BXF_RET_OK, BXF_RET_FORMAT},
        // Chunks without samples: the stsc places none, and the shorter table ends the track.
        {"samples_per_chunk 0", cat({stts_, stsc({{1, 0, 1}}), stsz_, stco_}), BXF_RET_OK, BXF_RET_NOTFOUND},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        Track t(table_movie(r.tables, 40));
        ASSERT_EQ(t.open_code, BXF_RET_OK);
        uint32_t count = 0;
        EXPECT_EQ(bxf_play_get_sample_count(t.handle, 1, &count), r.count_code);
        t.sample_info(4, 0, r.info_code);
        t.sample_info(4, 0, r.info_code);  // asked again
    }
    Track t(table_movie(cat({stts_, stsc_, stsz_, stco_}), 40));
    SampleInfo s;
    uint32_t count = 0;
    EXPECT_EQ(bxf_play_get_sample_info(t.handle, 1, 0, 0, &s), BXF_RET_ARGS);
    EXPECT_EQ(bxf_play_get_sample_info(t.handle, 0, 1, 0, &s), BXF_RET_ARGS);
    EXPECT_EQ(bxf_play_get_sample_info(t.handle, 1, 1, 0, nullptr), BXF_RET_ARGS);
    EXPECT_EQ(bxf_play_get_sample_count(t.handle, 2, &count), BXF_RET_STATE);
    EXPECT_EQ(bxf_play_get_sample_count(nullptr, 1, &count), BXF_RET_ARGS);


    // The malformed stsc and stts classes are the hostile files'. An mdhd
    // duration unlike the stts sum (40) does not move the samples' times:
    // lookups count back from where the stts runs end.
    struct MdhdRow {
        uint64_t mdhd_duration, t;
        uint32_t code, sample;
        uint64_t start;
    } mdhd_rows[] = {{30, 29, BXF_RET_OK, 3, 20}, {30, 35, BXF_RET_OK, 4, 30}, {90, 35, BXF_RET_OK, 4, 30},
                {90, 45, BXF_RET_NOTFOUND, 0, 0}};
    for (const MdhdRow &r : mdhd_rows) {
        Track t(table_movie(cat({stts({{4, 10}}), stsc_, stsz_, stco_}), r.mdhd_duration));
        EXPECT_EQ(t.sample_at(r.t), r.code) << r.t;
        if (r.code != BXF_RET_OK) continue;
        EXPECT_EQ(t.sample, r.sample) << r.mdhd_duration << " " << r.t;
        EXPECT_EQ(t.start, r.start) << r.mdhd_duration << " " << r.t;
        EXPECT_EQ(t.sample_info(r.sample).decode_time, r.start);
    }
}

// A long track read in every order against a model of its tables.
struct Model {
    std::vector<uint32_t> sizes, durations, sync, cts, description;
    std::vector<uint64_t> offsets, dts;
    Bytes tables;
    uint64_t duration = 0;
    uint64_t table_bytes = 0;

    explicit Model(uint32_t n) {
        Pairs stts_runs, ctts_runs;
        std::vector<StscEntry> stsc_entries;
        std::vector<uint32_t> chunk_offsets, stss_entries;
        for (uint32_t i = 0; i < n; ++i) sizes.push_back(100 + (i * 37) % 200);
        for (uint32_t i = 0; i < n; i += 20) stts_runs.push_back({std::min(20u, n - i), 10 + (i / 20) % 7});
        for (uint32_t i = 0; i < n; i += 3) ctts_runs.push_back({std::min(3u, n - i), (i / 3) % 4 * 100});
        for (uint32_t i = 0; i < n; i += 30) stss_entries.push_back(i + 1);
        // Chunks of 1 to 9 samples, an stsc entry wherever that changes.
        uint64_t place = 5000;
        for (uint32_t s = 0, chunk = 1; s < n; ++chunk) {
            const uint32_t per_chunk = std::min(1 + chunk % 9, n - s);
            const uint32_t description_index = 1 + (chunk / 50) % 2;
            if (stsc_entries.empty() || stsc_entries.back().samples_per_chunk != per_chunk ||
                stsc_entries.back().description_index != description_index)
                stsc_entries.push_back({chunk, per_chunk, description_index});
            chunk_offsets.push_back(uint32_t(place));
            for (uint32_t k = 0; k < per_chunk; ++k, ++s) {
                offsets.push_back(place);
                place += sizes[s];
                description.push_back(description_index);
            }
            place += 13;
        }
        uint64_t t = 0;
        for (const auto &r : stts_runs)
            for (uint32_t k = 0; k < r.first; ++k, t += r.second) {
                dts.push_back(t);
                durations.push_back(r.second);
            }
        duration = t;
        for (const auto &r : ctts_runs)
            for (uint32_t k = 0; k < r.first; ++k) cts.push_back(r.second);
        sync.assign(n, 0);
        for (uint32_t s : stss_entries) sync[s - 1] = 1;
        tables = cat({stts(stts_runs), ctts(ctts_runs), stsc(stsc_entries), stsz(sizes), stco(chunk_offsets),
                      stss(stss_entries)});
        table_bytes = 8 * stts_runs.size() + 8 * ctts_runs.size() + 12 * stsc_entries.size() + 4 * sizes.size() +
                      4 * chunk_offsets.size() + 4 * stss_entries.size();
    }

    void expect(const SampleInfo &s, uint32_t n) const {
        const uint32_t i = n - 1;
        EXPECT_EQ(s.size, sizes[i]) << n;
        EXPECT_EQ(s.offset, offsets[i]) << n;
        EXPECT_EQ(s.duration, durations[i]) << n;
        EXPECT_EQ(s.is_sync, sync[i]) << n;
        EXPECT_EQ(s.composition_offset, cts[i]) << n;
        EXPECT_EQ(s.description_index, description[i]) << n;
    }
};

TEST(LongTrack, EveryOrderTimesAndSyncSamples) {
    constexpr uint32_t kSamples = 10000;
    const Model model(kSamples);
    // Pool 2 of 10000 bytes: windows of a few hundred entries at most.
    Track track(table_movie(model.tables, model.duration), OpenParams{1000000, 1, 1, 0});
    ASSERT_EQ(track.open_code, BXF_RET_OK);
    track.file.bytes_read = 0;
    for (uint32_t n = 1; n <= kSamples; ++n) model.expect(track.sample_info(n), n);
    EXPECT_EQ(track.file.bytes_read, model.table_bytes) << "a sequential read touches every table byte once";
    EXPECT_LE(track.inst->sample_used, track.inst->sample_limit);

    const uint64_t reads = track.file.reads;
    model.expect(track.sample_info(1), 1);
    EXPECT_LE(track.file.reads - reads, 6u) << "sample 1 after the last one reloads from the start of each table";

    for (uint32_t n = kSamples; n >= 1; --n) model.expect(track.sample_info(n), n);
    std::mt19937 random(7);
    for (int i = 0; i < 2000; ++i) {
        const uint32_t n = 1 + random() % kSamples;
        model.expect(track.sample_info(n), n);
        const uint64_t t = random() % model.duration;
        const uint32_t expected = uint32_t(std::upper_bound(model.dts.begin(), model.dts.end(), t) - model.dts.begin());
        ASSERT_EQ(track.sample_at(t), BXF_RET_OK) << t;
        EXPECT_EQ(track.sample, expected) << t;
        EXPECT_EQ(track.start, model.dts[expected - 1]) << t;
        EXPECT_EQ(track.sync, model.sync[expected - 1]) << t;
        if (expected < 2) continue;
        uint32_t before = expected - 1;
        while (!model.sync[before - 1]) --before;
        ASSERT_EQ(track.sync_sample(expected, 0), BXF_RET_OK) << expected;
        EXPECT_EQ(track.sample, before);
        EXPECT_EQ(track.start, model.dts[before - 1]);
    }
    EXPECT_EQ(track.duration(1, 0), model.duration);
    SampleInfo info{};
    uint64_t start = 0;
    ASSERT_EQ(bxf_play_get_sample_at_time(track.handle, 1, model.duration - 1, 1, 1, &start, &info), BXF_RET_OK);
    model.expect(info, kSamples);
    EXPECT_EQ(info.run_count, 1u);
}

}  // namespace
