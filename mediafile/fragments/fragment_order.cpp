// A track's fragment samples in file order: the walk by sample number that
// crosses from traf to traf whatever gaps lie between their times and
// whatever the samples' durations (0 included), the number of a sample
// found by time, and where the fragment timeline starts and ends.
#include "fragment_internal.h"

namespace bxf {

namespace {

// Entry j of `run`, walked forwards from the cursor, the window or the
// run's start, whichever is nearest before it.
uint32_t locate_entry(const Io &io, TrackFragments &fs, FragmentRun &run, uint32_t j, Found *out) {
    const TrafDefaults &d = fs.traf.defaults;
    if (run.entry_size == 0) {
        // Every sample takes the defaults; the run's extent was summed with
        // checked arithmetic, so no part of it overflows.
        *out = Found{&run, j, run.data_offset + uint64_t(j) * d.size, run.start_time + uint64_t(j) * d.duration,
                     FragmentEntry{d.size, d.duration, d.flags, 0}};
        return BXF_RET_OK;
    }
    return walk_entries(
        io, fs, run, fs.cursor_run == &run && fs.cursor_entry <= j, run.window_count != 0 && run.window_first <= j,
        [j](uint32_t i, uint64_t, const FragmentEntry &) { return i == j; }, out);
}

bool run_holds(const FragmentRun &run, uint64_t j) {
    return j >= run.first_sample - 1 && j - (run.first_sample - 1) < run.sample_count;
}

// Sample j (from 0) of the traf in hand.
uint32_t find_in_traf(const Io &io, TrackCache &cache, uint64_t j, Found *out) {
    TrackFragments &fs = cache.fragments;
    if (fs.traf.runs_head && j < fs.traf.runs_head->first_sample - 1u)
        restart_traf(io.inst, fs);  // its early runs were released
    for (FragmentRun *r = fs.traf.runs_head; r; r = r->next)
        if (run_holds(*r, j)) return locate_entry(io, fs, *r, uint32_t(j - (r->first_sample - 1)), out);
    while (!fs.traf.all_runs_read) {
        FragmentRun *run = nullptr;
        const uint32_t ret = load_next_run(io, cache, &run);
        if (ret == BXF_RET_NOTFOUND) break;
        if (ret != BXF_RET_OK) return ret;
        if (run_holds(*run, j)) return locate_entry(io, fs, *run, uint32_t(j - (run->first_sample - 1)), out);
    }
    return BXF_RET_NOTFOUND;
}

uint32_t sample_by_number_once(const FragmentSource &src, TrackCache &cache, uint64_t k, uint32_t want_run,
                               SampleInfo *out) {
    const Io &io = src.io;
    TrackFragments &fs = cache.fragments;
    release_windows(io.inst, cache.table);  // the track leaves its tables
    if (!fs.active || !fs.numbered || k < fs.traf_first_number) restart_scan(src, fs);
    for (;;) {
        uint32_t ret;
        if (fs.has_traf) {
            Found f;
            ret = find_in_traf(io, cache, k - fs.traf_first_number, &f);
            if (ret == BXF_RET_OK) return describe_found(src, fs, f, want_run, out);
            if (ret != BXF_RET_NOTFOUND) return ret;
            leave_traf(io.inst, fs);
        }
        if ((ret = next_track_traf(src, cache.table, fs)) != BXF_RET_OK) return ret;
        if ((ret = read_traf_aux(src, fs, cache.table.fragment_budget)) != BXF_RET_OK) return ret;
        fs.scan_time = fs.traf.base_time;
    }
}

// How many samples of the track lie in the trafs before the moof at
// `moof_offset`, counted from the runs' heads.
uint32_t count_samples_before(const FragmentSource &src, const TrackTableCache &table, uint64_t moof_offset,
                              uint64_t *out) {
    TrackFragments walk{};
    walk.scan_position = src.movie.moof_head ? src.movie.moof_head->box_offset : src.file_size;
    uint64_t count = 0;
    for (;;) {
        uint32_t ret = next_track_traf(src, table, walk);
        if (ret != BXF_RET_OK) return ret == BXF_RET_NOTFOUND ? BXF_RET_INTERNAL : ret;
        if (walk.traf.moof_offset >= moof_offset) break;
        uint64_t samples = 0;
        if ((ret = traf_sample_count(src.io, walk.traf, &samples)) != BXF_RET_OK) return ret;
        count += samples;
    }
    *out = count;
    return BXF_RET_OK;
}

}  // namespace

uint32_t fragment_sample_by_number(const FragmentSource &src, TrackCache &cache, uint64_t k, uint32_t want_run,
                                   SampleInfo *out) {
    if (!src.movie.moof_head) return BXF_RET_NOTFOUND;
    const uint32_t ret = sample_by_number_once(src, cache, k, want_run, out);
    // As with a search by time: an error forgets the scan.
    if (ret != BXF_RET_OK && ret != BXF_RET_NOTFOUND) {
        restart_scan(src, cache.fragments);
        cache.fragments.active = false;
    }
    return ret;
}

namespace {

// After sample k was found: in a run whose samples all take the defaults,
// every sample after the first is like the one found, so a walk for sync
// samples may go on at the run's last sample.
uint64_t last_like(const TrackFragments &fs, uint64_t k) {
    const FragmentRun *run = fs.cursor_run;
    if (!run || run->entry_size != 0 || fs.cursor_entry == 0) return k;
    return k + (run->sample_count - 1 - fs.cursor_entry);
}

}  // namespace

uint32_t fragment_sync_from(const FragmentSource &src, TrackCache &cache, uint64_t k, uint64_t *out_k,
                            uint64_t *out_time) {
    for (;; ++k) {
        SampleInfo info;
        const uint32_t ret = fragment_sample_by_number(src, cache, k, 0, &info);
        if (ret != BXF_RET_OK) return ret;
        if (info.is_sync) {
            *out_k = k;
            *out_time = info.decode_time;
            return BXF_RET_OK;
        }
        k = last_like(cache.fragments, k);
    }
}

uint32_t last_fragment_sync(const FragmentSource &src, TrackCache &cache, uint64_t from, uint64_t to, bool *out_found,
                            uint64_t *out_k, uint64_t *out_time) {
    *out_found = false;
    for (uint64_t k = from; k < to; ++k) {
        SampleInfo info;
        const uint32_t ret = fragment_sample_by_number(src, cache, k, 0, &info);
        if (ret != BXF_RET_OK) return ret;
        const uint64_t last = last_like(cache.fragments, k);
        if (info.is_sync) {
            // The run's samples are alike to its end, or up to `to`.
            const uint64_t at = last < to ? last : to - 1;
            *out_found = true;
            *out_k = at;
            *out_time = info.decode_time + (at - k) * info.duration;
        }
        k = last;
    }
    return BXF_RET_OK;
}

uint32_t found_sample_number(const FragmentSource &src, TrackCache &cache, uint64_t *out_number,
                             uint64_t *out_traf_first) {
    TrackFragments &fs = cache.fragments;
    if (!fs.has_traf || !fs.cursor_run) return BXF_RET_STATE;
    if (!fs.numbered) {
        // The index jumped here: count the samples of the trafs before.
        const uint32_t ret = count_samples_before(src, cache.table, fs.traf.moof_offset, &fs.traf_first_number);
        if (ret != BXF_RET_OK) return ret;
        fs.numbered = true;
    }
    *out_traf_first = fs.traf_first_number;
    *out_number = fs.traf_first_number + (fs.cursor_run->first_sample - 1) + fs.cursor_entry;
    return BXF_RET_OK;
}

uint32_t fragments_extent(const FragmentSource &src, TrackCache &cache, bool *out_any, uint64_t *out_first,
                          uint64_t *out_end) {
    TrackFragments &fs = cache.fragments;
    if (!fs.extent_known) {
        // A walk of its own over every traf of the track, the traf in hand
        // left as it is.
        TrackFragments walk{};
        walk.scan_position = src.movie.moof_head ? src.movie.moof_head->box_offset : src.file_size;
        bool any = false;
        uint64_t first = 0, end = 0;
        for (;;) {
            uint32_t ret = next_track_traf(src, cache.table, walk);
            if (ret == BXF_RET_NOTFOUND) break;
            if (ret != BXF_RET_OK) return ret;
            uint64_t samples = 0, data_end = 0, time_end = 0;
            if ((ret = traf_sample_count(src.io, walk.traf, &samples)) != BXF_RET_OK ||
                (ret = traf_totals(src.io, walk.traf, &data_end, &time_end)) != BXF_RET_OK)
                return ret;
            walk.carried_end = time_end;
            walk.has_carried_end = true;
            if (samples == 0) continue;
            if (!any) first = walk.traf.base_time;
            any = true;
            if (time_end > end) end = time_end;
        }
        fs.extent_any = any;
        fs.extent_first = first;
        fs.extent_end = end;
        fs.extent_known = true;
    }
    *out_any = fs.extent_any;
    *out_first = fs.extent_first;
    *out_end = fs.extent_end;
    return BXF_RET_OK;
}

}  // namespace bxf
