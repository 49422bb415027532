// The fragment sample for a time: the track's trafs are found by scanning
// the moof boxes forwards, or by a jump that the random-access index names,
// and each traf's runs are searched in file order.
#include "fragment_internal.h"

namespace bxf {

namespace {

// Walks a run's entries from the cursor, the window or the run's start to
// the sample whose interval [start, start + duration) holds t.
uint32_t locate_in_run(const Io &io, TrackFragments &fs, FragmentRun &run, uint64_t t, Found *out) {
    if (run.entry_size == 0) {
        // Every sample takes the defaults: the one holding t is found by
        // division, however many samples the run claims.
        const TrafDefaults &d = fs.traf.defaults;
        if (d.duration == 0 || t < run.start_time) return BXF_RET_NOTFOUND;
        const uint64_t j = (t - run.start_time) / d.duration;
        if (j >= run.sample_count) return BXF_RET_NOTFOUND;
        *out = Found{&run, uint32_t(j), run.data_offset + j * d.size, run.start_time + j * d.duration,
                     FragmentEntry{d.size, d.duration, d.flags, 0}};
        return BXF_RET_OK;
    }
    return walk_entries(
        io, fs, run, fs.cursor_run == &run && fs.cursor_time <= t, run.window_count != 0 && run.window_time <= t,
        [t](uint32_t, uint64_t time, const FragmentEntry &e) { return time <= t && t - time < e.duration; }, out);
}

uint32_t find_in_traf(const Io &io, TrackCache &cache, uint64_t t, Found *out) {
    TrackFragments &fs = cache.fragments;
    if (fs.traf.runs_head && t < fs.traf.runs_head->start_time)
        restart_traf(io.inst, fs);  // its early runs were released
    for (FragmentRun *r = fs.traf.runs_head; r; r = r->next)
        if (r->start_time <= t && t < r->end_time) return locate_in_run(io, fs, *r, t, out);
    while (!fs.traf.all_runs_read) {
        FragmentRun *run = nullptr;
        uint32_t ret = load_next_run(io, cache, &run);
        if (ret == BXF_RET_NOTFOUND) break;
        if (ret != BXF_RET_OK) return ret;
        if (run->start_time <= t && t < run->end_time) return locate_in_run(io, fs, *run, t, out);
    }
    return BXF_RET_NOTFOUND;
}

// The decode time at which sample `sample_number` of run `run_number` of the
// traf in hand starts, and that sample's composition offset, reading the
// traf's runs as far as that.
uint32_t indexed_sample(const Io &io, TrackCache &cache, uint32_t run_number, uint32_t sample_number,
                        uint64_t *out_time, int64_t *out_composition_offset) {
    TrackFragments &fs = cache.fragments;
    FragmentRun *run = fs.traf.runs_tail;
    while (!run || run->index < run_number) {
        const uint32_t ret = load_next_run(io, cache, &run);
        if (ret == BXF_RET_NOTFOUND) return BXF_RET_FORMAT;  // the traf has no such run
        if (ret != BXF_RET_OK) return ret;
    }
    for (run = fs.traf.runs_head; run && run->index != run_number; run = run->next) {
    }
    if (!run || sample_number == 0 || sample_number > run->sample_count) return BXF_RET_FORMAT;
    uint64_t offset = run->data_offset, time = run->start_time;
    FragmentEntry e{};
    for (uint32_t j = 0; j < sample_number; ++j) {
        if (j) {
            offset += e.size;
            time += e.duration;
        }
        const uint32_t ret = run_entry(io, fs.traf.defaults, *run, j, offset, time, &e);
        if (ret != BXF_RET_OK) return ret;
    }
    *out_time = time;
    *out_composition_offset =
        (run->version_flags >> 24) != 0 ? int64_t(int32_t(e.composition_offset)) : int64_t(e.composition_offset);
    return BXF_RET_OK;
}

// Jumps to the moof that the index names for t. The tfra time is the
// presentation time of the indexed sync sample (ISO/IEC 14496-12 8.8.10),
// not its decode time: the sample is decoded at that time less its
// composition offset, and that is where the traf's timeline is aligned. A traf with a tfdt keeps the decode times it
// states (the indexed sample may not start later than the index says); one without takes its timeline from the index.
uint32_t jump_to_indexed(const FragmentSource &src, TrackCache &cache, const FragmentIndexEntry &entry) {
    const Io &io = src.io;
    TrackFragments &fs = cache.fragments;
    release_runs(io.inst, fs);
    release_traf_aux(io.inst, fs);
    fs.has_traf = false;
    fs.has_carried_end = false;
    fs.numbered = false;
    fs.scan_position = entry.moof_offset;
    uint32_t ret = next_track_traf(src, cache.table, fs);
    if (ret == BXF_RET_NOTFOUND || (ret == BXF_RET_OK && fs.traf.moof_offset != entry.moof_offset))
        return BXF_RET_FORMAT;  // no traf of the track in the moof the index names
    if (ret == BXF_RET_OK) ret = read_traf_aux(src, fs, cache.table.fragment_budget);
    if (ret != BXF_RET_OK) return ret;
    uint64_t computed = 0;
    int64_t composition = 0;
    if ((ret = indexed_sample(io, cache, entry.trun_number, entry.sample_number, &computed, &composition)) !=
        BXF_RET_OK)
        return ret;
    if (computed > entry.time) return BXF_RET_FORMAT;
    TrafState &traf = fs.traf;
    fs.scan_time = traf.base_time;
    if (traf.has_tfdt) return BXF_RET_OK;
    const uint64_t decode_time = composition >= 0
                                     ? (entry.time >= uint64_t(composition) ? entry.time - uint64_t(composition) : 0)
                                     : entry.time + uint64_t(-composition);
    if (decode_time < computed) return BXF_RET_FORMAT;
    const uint64_t shift = decode_time - computed;
    if (!checked_add(traf.base_time, shift, &traf.base_time) || !checked_add(traf.time_end, shift, &traf.time_end))
        return BXF_RET_OVERFLOW;
    for (FragmentRun *r = traf.runs_head; r; r = r->next) {
        r->start_time += shift;
        r->end_time += shift;
        r->window_time += shift;
    }
    fs.scan_time = traf.base_time;
    return BXF_RET_OK;
}

// The index entry to jump to for t, or null: none when the track has no
// index, t lies before its first entry, or the traf in hand already reaches
// the entry's time.
uint32_t index_entry_for(const FragmentSource &src, TrackCache &cache, uint64_t t, const FragmentIndexEntry **out) {
    TrackFragments &fs = cache.fragments;
    *out = nullptr;
    if (!fs.index_tried && src.movie.tfra_count != 0) {
        fs.index_tried = true;
        const uint32_t ret = build_track_index(src.io, src.movie, src.track_id, cache.table.fragment_set_aside,
                                               cache.table.fragment_budget, &fs.index);
        if (ret == BXF_RET_FILE || ret == BXF_RET_FORMAT) return ret;  // otherwise: scan without an index
    }
    const FragmentIndexEntry *entry = fs.index.built ? lookup_fragment_index(fs.index, t) : nullptr;
    if (entry && fs.has_traf && fs.traf.base_time <= t && fs.traf.time_end >= entry->time) entry = nullptr;
    *out = entry;
    return BXF_RET_OK;
}

uint32_t find_fragment_sample_once(const FragmentSource &src, TrackCache &cache, uint64_t t, FragmentSearch search,
                                   uint32_t want_run, SampleInfo *out, uint64_t *out_start) {
    const Io &io = src.io;
    TrackFragments &fs = cache.fragments;
    release_windows(io.inst, cache.table);  // the track leaves its tables
    // Scanning only moves forwards: a time before the traf in hand (or the
    // one last passed) starts again from the first moof, unless the
    // random-access index knows where to go.
    const FragmentIndexEntry *entry = nullptr;
    uint32_t ret = index_entry_for(src, cache, t, &entry);
    if (ret != BXF_RET_OK) return ret;
    if (entry && !(fs.has_traf && fs.traf.moof_offset == entry->moof_offset && fs.traf.base_time <= t)) {
        if ((ret = jump_to_indexed(src, cache, *entry)) != BXF_RET_OK) return ret;
        fs.active = true;
    } else if (!fs.active || t < fs.scan_time) {
        restart_scan(src, fs);
    }
    for (;;) {
        if (fs.has_traf) {
            // A time before this traf's base decode time lies in a gap of the
            // track's timeline (or before its first fragment): that ends no
            // search. The first sample at or after it is this traf's first;
            // the sample holding it, if any, lies in a later fragment.
            const bool before = t < fs.traf.base_time;
            const uint64_t wanted = search == FragmentSearch::at_or_after && before ? fs.traf.base_time : t;
            Found f;
            ret = find_in_traf(io, cache, wanted, &f);
            if (ret == BXF_RET_OK) {
                if ((ret = describe_found(src, fs, f, want_run, out)) != BXF_RET_OK) return ret;
                *out_start = f.time;
                return BXF_RET_OK;
            }
            if (ret != BXF_RET_NOTFOUND) return ret;
            leave_traf(io.inst, fs);
        }
        if ((ret = next_track_traf(src, cache.table, fs)) != BXF_RET_OK) return ret;
        if ((ret = read_traf_aux(src, fs, cache.table.fragment_budget)) != BXF_RET_OK) return ret;
        fs.scan_time = fs.traf.base_time;
    }
}

}  // namespace

uint32_t find_fragment_sample(const FragmentSource &src, TrackCache &cache, uint64_t t, FragmentSearch search,
                              uint32_t want_run, SampleInfo *out, uint64_t *out_start) {
    if (!src.movie.moof_head) return BXF_RET_NOTFOUND;
    const uint32_t ret = find_fragment_sample_once(src, cache, t, search, want_run, out, out_start);
    // An error leaves the scan wherever it stopped: forget it, so that the
    // same question asked again meets the same error, not what lies beyond.
    if (ret != BXF_RET_OK && ret != BXF_RET_NOTFOUND) {
        restart_scan(src, cache.fragments);
        cache.fragments.active = false;
    }
    return ret;
}

uint32_t next_fragment_sync(const FragmentSource &src, TrackCache &cache, uint64_t from, uint64_t *out_start) {
    for (uint64_t t = from;;) {
        SampleInfo info;
        uint64_t start = 0;
        const uint32_t ret = find_fragment_sample(src, cache, t, FragmentSearch::at_or_after, 0, &info, &start);
        if (ret != BXF_RET_OK) return ret;
        if (info.is_sync) {
            *out_start = start;
            return BXF_RET_OK;
        }
        t = start + info.duration;
        // In a run whose samples all take the default flags, the rest of the
        // run is like this one: go on after it.
        const FragmentRun *run = cache.fragments.cursor_run;
        if (run && run->entry_size == 0 && run->end_time > t) t = run->end_time;
    }
}

uint32_t fragments_end_time(const FragmentSource &src, TrackCache &cache, uint64_t from, uint64_t *out_end) {
    const bool positioned = cache.fragments.cursor_run != nullptr && cache.fragments.cursor_time != 0;
    // With an index the walk starts in the last fragment it names.
    const FragmentIndexEntry *last = nullptr;
    uint32_t ret = index_entry_for(src, cache, UINT64_MAX, &last);
    if (ret != BXF_RET_OK) return ret;
    uint64_t t = last && last->time > from ? last->time : from;
    for (bool first = true;; first = false) {
        SampleInfo info;
        uint64_t start = 0;
        // Gaps in the timeline do not end the track: the walk goes on at the
        // first sample after one.
        ret = find_fragment_sample(src, cache, t, FragmentSearch::at_or_after, 0, &info, &start);
        if (ret == BXF_RET_NOTFOUND) {
            if (first && positioned) return BXF_RET_FORMAT;
            *out_end = t;
            return BXF_RET_OK;
        }
        if (ret != BXF_RET_OK) return ret;
        // The samples of a run follow one another without gaps: the walk goes
        // on at the end of the run that holds t.
        const FragmentRun *run = cache.fragments.cursor_run;
        t = run && run->end_time > start ? run->end_time : start + info.duration;
    }
}

void release_fragments(LibraryInstance *inst, TrackCache &cache) {
    // The traf in hand stays (it is part of the track's record); its runs are
    // read again when the track comes back to its fragments.
    if (cache.fragments.has_traf) restart_traf(inst, cache.fragments);
    release_runs(inst, cache.fragments);
    cache.fragments.cursor_run = nullptr;
}

void close_fragments(LibraryInstance *inst, TrackCache &cache) {
    release_runs(inst, cache.fragments);
    release_traf_aux(inst, cache.fragments);
    release_track_index(inst, cache.fragments.index);
    cache.fragments = TrackFragments{};
}

}  // namespace bxf
