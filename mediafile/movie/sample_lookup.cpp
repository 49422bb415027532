// Sample lookup over the table windows: where sample N lies and how long it
// lasts, which sample plays at a decode time, and the nearest sync samples.
// Times are decode times in the media time scale; no edit list is applied.
#include "aux_info.h"
#include "play_handle.h"
#include "track_caches.h"

namespace bxf {

namespace {

// A track ready for lookups: its cache with the windows allocated.
struct Lookup {
    Io io;
    TrackCache *track;
    TrackTableCache *cache;  // the track's table windows

    TableWindow &window(TableKind k) { return cache->windows[k]; }
    const TableBounds &bounds() const { return cache->bounds; }
    const SampleTableRecord &tables() const { return *cache->tables; }
    bool has(TableKind k) const { return table_present(*cache->tables, k); }
};

uint32_t begin(PlayHandle *handle, uint32_t track, Lookup *out) {
    if (!handle || track == 0) return BXF_RET_ARGS;
    TrackCache *cache = find_track_cache(handle, track);
    if (!cache) return BXF_RET_STATE;
    *out = Lookup{Io{handle->instance, handle->file}, cache, &cache->table};
    return BXF_RET_OK;
}

// How many whole steps of `step` lie from a run's `start` to `at` (0 when
// `at` is not past the start); false for a run that does not advance (step 0)
// when `at` lies past its start.
bool whole_steps(uint64_t start, uint64_t step, uint64_t at, uint64_t *out) {
    *out = 0;
    if (at <= start) return true;
    if (step == 0) return false;
    *out = (at - start) / step;
    return true;
}

// The cached run of a table keyed by sample number that holds sample n.
uint32_t find_by_sample(Lookup &l, TableWindow &w, KeyKind key, uint64_t n, uint32_t *out_entry) {
    return find_run(w, l.io, l.bounds(), key, n, uint64_t(l.bounds().sample_count) + 1, out_entry);
}

// Table samples and fragment samples share the track's memory: serving the
// tables releases the fragments' buffers first.
uint32_t ready(Lookup &l) {
    if (l.track->fragments.traf.runs_head) release_fragments(l.io.inst, *l.track);
    return allocate_windows(l.io.inst, *l.cache);
}

uint32_t sample_size(Lookup &l, uint32_t n, uint32_t *out) {
    if (l.tables().constant_sample_size != 0) {
        *out = l.tables().constant_sample_size;
        return BXF_RET_OK;
    }
    TableWindow &w = l.window(kSizes);
    const uint32_t ret = fetch_entry(w, l.io, l.bounds(), n);
    if (ret != BXF_RET_OK) return ret;
    *out = window_entry<uint32_t>(w, n);
    return BXF_RET_OK;
}

// The sizes of samples from..from+count-1, which must all exist.
uint32_t sum_sizes(Lookup &l, uint32_t from, uint64_t count, uint64_t *out) {
    if (count != 0 && uint64_t(from) + count - 1 > l.bounds().sample_count) return BXF_RET_FORMAT;
    if (l.tables().constant_sample_size != 0) {
        *out = count * l.tables().constant_sample_size;
        return BXF_RET_OK;
    }
    uint64_t sum = 0;
    for (uint64_t i = 0; i < count; ++i) {
        uint32_t size = 0;
        const uint32_t ret = sample_size(l, uint32_t(from + i), &size);
        if (ret != BXF_RET_OK) return ret;
        sum += size;
    }
    *out = sum;
    return BXF_RET_OK;
}

uint32_t stts_run_of_sample(Lookup &l, uint32_t n, const SttsRun **out) {
    if (!l.has(kStts)) return BXF_RET_FORMAT;
    TableWindow &w = l.window(kStts);
    uint32_t entry = 0;
    const uint32_t ret = find_by_sample(l, w, KeyKind::stts_sample, n, &entry);
    if (ret != BXF_RET_OK) return ret;
    *out = &window_entry<SttsRun>(w, entry);
    return BXF_RET_OK;
}

// The decode time at which sample n starts.
uint32_t sample_start_time(Lookup &l, uint32_t n, uint64_t *out) {
    const SttsRun *run = nullptr;
    const uint32_t ret = stts_run_of_sample(l, n, &run);
    if (ret != BXF_RET_OK) return ret;
    uint64_t into = 0;
    if (!checked_mul(uint64_t(n - run->first_sample), run->delta, &into) || !checked_add(run->time, into, out))
        return BXF_RET_OVERFLOW;
    return BXF_RET_OK;
}

// Without stss every sample is a sync sample; an empty stss has none.
uint32_t sample_is_sync(Lookup &l, uint32_t n, uint32_t *out) {
    if (!l.has(kStss)) {
        *out = 1;
        return BXF_RET_OK;
    }
    TableWindow &w = l.window(kStss);
    if (w.total == 0) {
        *out = 0;
        return BXF_RET_OK;
    }
    uint32_t entry = 0;
    const uint32_t ret = find_by_sample(l, w, KeyKind::stss_sample, n, &entry);
    if (ret != BXF_RET_OK) return ret;
    *out = entry != 0 && window_entry<uint32_t>(w, entry) == n;
    return BXF_RET_OK;
}

// The sync sample before (greatest entry <= n - 1) or after (smallest entry
// >= n + 1) sample n; 0 when there is none.
uint32_t neighbour_sync(Lookup &l, uint32_t n, bool forward, uint32_t *out) {
    *out = 0;
    const uint64_t target = forward ? uint64_t(n) + 1 : n - 1;
    if (!l.has(kStss)) {
        *out = uint32_t(target);
        return BXF_RET_OK;
    }
    TableWindow &w = l.window(kStss);
    if (w.total == 0) return BXF_RET_OK;
    uint32_t entry = 0;
    uint32_t ret = find_by_sample(l, w, KeyKind::stss_sample, target, &entry);
    if (ret == BXF_RET_NOTFOUND) return BXF_RET_OK;
    if (ret != BXF_RET_OK) return ret;
    if (!forward) {
        if (entry != 0) *out = window_entry<uint32_t>(w, entry);
    } else if (entry != 0 && window_entry<uint32_t>(w, entry) == target) {
        *out = uint32_t(target);
    } else if (entry < w.total) {
        // The run search leaves the following entry cached (or t is before
        // the first entry, which is cached).
        const uint32_t next = entry + 1;
        if (!window_holds(w, next)) return BXF_RET_INTERNAL;
        *out = window_entry<uint32_t>(w, next);
    }
    return BXF_RET_OK;
}

struct ChunkPlace {
    uint32_t chunk;
    uint32_t first_sample;  // of the chunk
    uint32_t samples_per_chunk;
    uint32_t description_index;
};

uint32_t chunk_of_sample(Lookup &l, uint32_t n, ChunkPlace *out) {
    if (!l.has(kStsc) || !l.has(kChunkOffsets)) return BXF_RET_FORMAT;
    TableWindow &w = l.window(kStsc);
    uint32_t entry = 0;
    const uint32_t ret = find_by_sample(l, w, KeyKind::stsc_sample, n, &entry);
    if (ret != BXF_RET_OK) return ret;
    const StscRun &run = window_entry<StscRun>(w, entry);
    if (run.first_chunk == 0) return BXF_RET_FORMAT;
    uint64_t k = 0;
    if (!whole_steps(run.first_sample, run.samples_per_chunk, n, &k)) return BXF_RET_FORMAT;
    const uint64_t chunk = run.first_chunk + k, first = run.first_sample + k * run.samples_per_chunk;
    if (chunk > l.bounds().chunk_count) return BXF_RET_NOTFOUND;
    *out = ChunkPlace{uint32_t(chunk), uint32_t(first), run.samples_per_chunk, run.description_index};
    return BXF_RET_OK;
}

uint32_t chunk_offset(Lookup &l, uint32_t chunk, uint64_t *out) {
    TableWindow &w = l.window(kChunkOffsets);
    const uint32_t ret = fetch_entry(w, l.io, l.bounds(), chunk);
    if (ret != BXF_RET_OK) return ret;
    *out = window_entry<uint64_t>(w, chunk);
    return BXF_RET_OK;
}

// A missing or short ctts leaves the composition offset at 0.
uint32_t composition_offset(Lookup &l, uint32_t n, uint32_t *out) {
    *out = 0;
    if (!l.has(kCtts)) return BXF_RET_OK;
    TableWindow &w = l.window(kCtts);
    uint32_t entry = 0;
    const uint32_t ret = find_by_sample(l, w, KeyKind::ctts_sample, n, &entry);
    if (ret == BXF_RET_NOTFOUND) return BXF_RET_OK;
    if (ret != BXF_RET_OK) return ret;
    *out = window_entry<CttsRun>(w, entry).offset;
    return BXF_RET_OK;
}

uint32_t run_fields(Lookup &l, uint32_t n, const ChunkPlace &place, SampleInfo &info) {
    const uint64_t count = uint64_t(place.first_sample) + place.samples_per_chunk - n;
    uint64_t bytes = 0, start = 0;
    uint32_t ret = sum_sizes(l, n, count, &bytes);
    if (ret == BXF_RET_OK) ret = sample_start_time(l, n, &start);
    const SttsRun *last_run = nullptr;
    const uint32_t last = uint32_t(n + count - 1);
    if (ret == BXF_RET_OK) ret = stts_run_of_sample(l, last, &last_run);
    if (ret != BXF_RET_OK) return ret;
    uint64_t into = 0, end = 0;
    if (!checked_mul(uint64_t(last + 1 - last_run->first_sample), last_run->delta, &into) ||
        !checked_add(last_run->time, into, &end))
        return BXF_RET_OVERFLOW;
    info.run_count = uint32_t(count);
    info.run_bytes = bytes;
    info.run_duration = end > start ? end - start : 0;
    return BXF_RET_OK;
}

uint32_t sample_info(Lookup &l, uint32_t n, uint32_t want_run, SampleInfo *out) {
    if (n > l.bounds().sample_count) return BXF_RET_NOTFOUND;
    uint32_t ret = ready(l);
    if (ret != BXF_RET_OK) return ret;
    SampleInfo info{};
    const SttsRun *run = nullptr;
    ChunkPlace place{};
    uint64_t offset = 0;
    if ((ret = sample_size(l, n, &info.size)) != BXF_RET_OK) return ret;
    if ((ret = stts_run_of_sample(l, n, &run)) != BXF_RET_OK) return ret;
    info.duration = run->delta;
    if ((ret = sample_start_time(l, n, &info.decode_time)) != BXF_RET_OK) return ret;
    if ((ret = composition_offset(l, n, &info.composition_offset)) != BXF_RET_OK) return ret;
    info.composition_offset_signed = l.has(kCtts) && l.tables().tables[kCtts].version == 1;
    if ((ret = sample_is_sync(l, n, &info.is_sync)) != BXF_RET_OK) return ret;
    if ((ret = chunk_of_sample(l, n, &place)) != BXF_RET_OK) return ret;
    info.description_index = place.description_index;

    TrackTableCache &c = *l.cache;
    if (c.last_sample != 0 && c.last_sample + 1 == n && c.last_chunk == place.chunk) {
        // The next sample of the same chunk follows the previous one.
        offset = c.last_offset + c.last_size;
    } else {
        uint64_t before = 0;
        if ((ret = chunk_offset(l, place.chunk, &offset)) != BXF_RET_OK) return ret;
        if ((ret = sum_sizes(l, place.first_sample, n - place.first_sample, &before)) != BXF_RET_OK) return ret;
        if (!checked_add(offset, before, &offset)) return BXF_RET_OVERFLOW;
    }
    info.offset = offset;
    if (want_run && (ret = run_fields(l, n, place, info)) != BXF_RET_OK) return ret;
    const AuxPlace aux{n, place.chunk, place.first_sample, want_run ? info.run_count : 0};
    if ((ret = table_aux_info(l.io, c.aux, aux, info)) != BXF_RET_OK) return ret;
    c.last_sample = n;
    c.last_chunk = place.chunk;
    c.last_offset = offset;
    c.last_size = info.size;
    *out = info;
    return BXF_RET_OK;
}

bool fragmented(const PlayHandle *handle) { return handle->movie.moov.mvex.trex_head && handle->movie.moof_head; }

bool fragments_hold(const PlayHandle *handle, const Lookup &l, uint64_t t) {
    return fragmented(handle) && t >= l.bounds().stts_end;
}

// Fragment samples follow the tables' N samples: fragment sample k (from 0)
// is sample N + 1 + k.
uint32_t fragment_number(const Lookup &l, uint64_t k, uint32_t *out) {
    const uint64_t n = uint64_t(l.bounds().sample_count) + 1 + k;
    if (n > UINT32_MAX) return BXF_RET_OVERFLOW;
    *out = uint32_t(n);
    return BXF_RET_OK;
}

uint32_t fragment_sample(PlayHandle *handle, Lookup &l, uint64_t k, uint32_t want_run, SampleInfo *out) {
    return fragment_sample_by_number(fragment_source(handle, *l.track), *l.track, k, want_run, out);
}

// The first sync sample among the fragment samples from k on.
uint32_t fragment_sync_after(PlayHandle *handle, Lookup &l, uint64_t k, uint32_t *out_sample, uint64_t *out_start) {
    uint64_t found = 0;
    const uint32_t ret = fragment_sync_from(fragment_source(handle, *l.track), *l.track, k, &found, out_start);
    return ret == BXF_RET_OK ? fragment_number(l, found, out_sample) : ret;
}

// The last sync sample of the tables, at or before sample N.
uint32_t last_table_sync(Lookup &l, uint32_t *out_sample, uint64_t *out_start) {
    const uint32_t count = l.bounds().sample_count;
    if (count == 0) return BXF_RET_NOTFOUND;
    uint32_t ret = ready(l), found = 0;
    if (ret == BXF_RET_OK) ret = neighbour_sync(l, count + 1, false, &found);
    if (ret != BXF_RET_OK) return ret;
    if (found == 0 || found > count) return BXF_RET_NOTFOUND;
    *out_sample = found;
    return sample_start_time(l, found, out_start);
}

// The sync sample before fragment sample k: in its own traf, else in the
// trafs before (one walk from the first), else the tables' last.
uint32_t fragment_sync_before(PlayHandle *handle, Lookup &l, uint64_t k, uint32_t *out_sample, uint64_t *out_start) {
    bool found = false;
    uint64_t at = 0, traf_first = 0, number = 0;
    if (k != 0) {
        const FragmentSource src = fragment_source(handle, *l.track);
        SampleInfo info;
        uint32_t ret = fragment_sample(handle, l, k - 1, 0, &info);
        if (ret == BXF_RET_OK) ret = found_sample_number(src, *l.track, &number, &traf_first);
        if (ret == BXF_RET_OK) ret = last_fragment_sync(src, *l.track, traf_first, k, &found, &at, out_start);
        if (ret == BXF_RET_OK && !found) ret = last_fragment_sync(src, *l.track, 0, traf_first, &found, &at, out_start);
        if (ret != BXF_RET_OK) return ret;
    }
    if (found) return fragment_number(l, at, out_sample);
    return last_table_sync(l, out_sample, out_start);
}

// The searched time: t itself, or t - 1 when the search is not inclusive.
uint32_t searched_time(uint64_t t, uint32_t inclusive, uint64_t *out) {
    if (!inclusive && t == 0) return BXF_RET_ARGS;
    *out = inclusive ? t : t - 1;
    return BXF_RET_OK;
}

uint32_t sample_at(Lookup &l, uint64_t t, uint32_t *out_sample, uint64_t *out_start) {
    if (t >= l.bounds().stts_end) return BXF_RET_NOTFOUND;
    if (!l.has(kStts)) return BXF_RET_FORMAT;
    uint32_t ret = ready(l);
    if (ret != BXF_RET_OK) return ret;
    TableWindow &w = l.window(kStts);
    uint32_t entry = 0;
    ret = find_run(w, l.io, l.bounds(), KeyKind::stts_time, t, l.bounds().stts_end, &entry);
    if (ret != BXF_RET_OK) return ret;
    const SttsRun &run = window_entry<SttsRun>(w, entry);
    uint64_t k = 0;
    if (!whole_steps(run.time, run.delta, t, &k)) return BXF_RET_FORMAT;
    const uint64_t sample = run.first_sample + k, start = run.time + k * run.delta;
    if (sample == 0 || sample > l.bounds().sample_count) return BXF_RET_NOTFOUND;
    *out_sample = uint32_t(sample);
    *out_start = start;
    return BXF_RET_OK;
}

uint32_t sync_sample(Lookup &l, uint32_t n, bool forward, uint32_t *out_sample, uint64_t *out_start) {
    if (!l.has(kSizes)) return BXF_RET_FORMAT;
    const uint32_t count = l.bounds().sample_count;
    if (!forward && n == 1) return BXF_RET_ARGS;
    if (forward ? n >= count : n > count) return BXF_RET_NOTFOUND;
    uint32_t ret = ready(l);
    if (ret != BXF_RET_OK) return ret;
    uint32_t found = 0;
    if ((ret = neighbour_sync(l, n, forward, &found)) != BXF_RET_OK) return ret;
    if (found == 0 || found > count) return BXF_RET_NOTFOUND;
    uint64_t start = 0;
    if ((ret = sample_start_time(l, found, &start)) != BXF_RET_OK) return ret;
    *out_sample = found;
    *out_start = start;
    return BXF_RET_OK;
}

uint32_t tables_duration(Lookup &l, uint64_t *out) {
    if (!l.has(kStts)) return BXF_RET_FORMAT;
    *out = l.bounds().stts_end;
    return BXF_RET_OK;
}

// The sync sample before the one holding t (backwards): in the fragments,
// the first sync sample met stepping back in sample order from the one
// holding t (from the first one after t when t lies in a gap); once the
// steps leave the fragments, the last sync sample of the tables.
uint32_t sync_time_before(PlayHandle *handle, Lookup &l, uint64_t t, uint64_t *out) {
    const uint64_t stts_end = l.bounds().stts_end;
    uint32_t sample = 0, sync = 0, ret;
    uint64_t start = 0;
    if (t >= stts_end) {
        if (!fragments_hold(handle, l, t)) return BXF_RET_NOTFOUND;
        const FragmentSource src = fragment_source(handle, *l.track);
        SampleInfo info;
        uint64_t k = 0, traf_first = 0;
        ret = find_fragment_sample(src, *l.track, t, FragmentSearch::at_or_after, 0, &info, &start);
        if (ret == BXF_RET_OK) ret = found_sample_number(src, *l.track, &k, &traf_first);
        if (ret != BXF_RET_OK) return ret;
        if (start <= t && info.is_sync) {
            *out = start;
            return BXF_RET_OK;
        }
        return fragment_sync_before(handle, l, k, &sync, out);
    }
    if ((ret = sample_at(l, t, &sample, &start)) != BXF_RET_OK) return ret;
    if (sample < 2) return BXF_RET_NOTFOUND;
    // The sync sample before the one holding t, even when that one is a sync
    // sample itself.
    return sync_sample(l, sample, false, &sync, out);
}

// The next sync sample after the one holding t; past the tables, the first
// sync sample of the fragments from there on.
uint32_t sync_time_after(PlayHandle *handle, Lookup &l, uint64_t t, uint64_t *out) {
    const uint64_t stts_end = l.bounds().stts_end;
    const bool fragmented = handle->movie.moov.mvex.trex_head && handle->movie.moof_head;
    uint32_t sample = 0, sync = 0, ret = BXF_RET_NOTFOUND;
    uint64_t start = 0, at = stts_end;
    if (t < stts_end) {
        ret = sample_at(l, t, &sample, &start);
        if (ret == BXF_RET_OK) ret = sync_sample(l, sample, true, &sync, out);
        if (ret != BXF_RET_NOTFOUND) return ret;
    } else if (!fragmented) {
        return BXF_RET_NOTFOUND;
    } else {
        SampleInfo info;
        ret = find_fragment_sample(fragment_source(handle, *l.track), *l.track, t, FragmentSearch::holding, 0, &info,
                                   &start);
        if (ret == BXF_RET_NOTFOUND)
            return next_fragment_sync(fragment_source(handle, *l.track), *l.track, t, out);  // t lies in a gap
        if (ret != BXF_RET_OK) return ret;
        at = start + info.duration;  // from the sample after the one holding t
    }
    if (!fragmented) return BXF_RET_NOTFOUND;
    return next_fragment_sync(fragment_source(handle, *l.track), *l.track, at, out);
}

}  // namespace

}  // namespace bxf

using namespace bxf;

extern "C" uint32_t bxf_play_get_sample_count(PlayHandle *handle, uint32_t track, uint32_t *out_count) {
    Lookup l;
    if (!out_count) return BXF_RET_ARGS;
    uint32_t ret = begin(handle, track, &l);
    if (ret != BXF_RET_OK) return ret;
    if (!l.has(kSizes)) return BXF_RET_FORMAT;
    *out_count = l.bounds().sample_count;
    return BXF_RET_OK;
}

extern "C" uint32_t bxf_play_get_sample_info(PlayHandle *handle, uint32_t track, uint32_t sample, uint32_t want_run,
                                             SampleInfo *out) {
    Lookup l;
    if (!out || sample == 0) return BXF_RET_ARGS;
    uint32_t ret = begin(handle, track, &l);
    if (ret != BXF_RET_OK) return ret;
    if (sample > l.bounds().sample_count && fragmented(handle))
        return fragment_sample(handle, l, sample - uint64_t(l.bounds().sample_count) - 1, want_run, out);
    if (!l.has(kSizes)) return BXF_RET_FORMAT;
    return sample_info(l, sample, want_run, out);
}

extern "C" uint32_t bxf_play_find_sample_at_time(PlayHandle *handle, uint32_t track, uint64_t time, uint32_t inclusive,
                                                 uint32_t *out_is_sync, uint32_t *out_sample,
                                                 uint64_t *out_start_time) {
    Lookup l;
    if (!out_is_sync || !out_sample || !out_start_time) return BXF_RET_ARGS;
    uint32_t ret = begin(handle, track, &l);
    uint64_t t = 0, start = 0;
    uint32_t sample = 0, sync = 0;
    if (ret == BXF_RET_OK) ret = searched_time(time, inclusive, &t);
    if (ret != BXF_RET_OK) return ret;
    if (fragments_hold(handle, l, t)) {
        SampleInfo info;
        const FragmentSource src = fragment_source(handle, *l.track);
        uint64_t k = 0, traf_first = 0;
        ret = find_fragment_sample(src, *l.track, t, FragmentSearch::at_or_after, 0, &info, &start);
        if (ret == BXF_RET_OK) ret = found_sample_number(src, *l.track, &k, &traf_first);
        if (ret == BXF_RET_OK) ret = fragment_number(l, k, &sample);
        if (ret != BXF_RET_OK) return ret;
        *out_is_sync = info.is_sync;
        *out_sample = sample;
        *out_start_time = start;
        return BXF_RET_OK;
    }
    if ((ret = sample_at(l, t, &sample, &start)) != BXF_RET_OK) return ret;
    if ((ret = sample_is_sync(l, sample, &sync)) != BXF_RET_OK) return ret;
    *out_is_sync = sync;
    *out_sample = sample;
    *out_start_time = start;
    return BXF_RET_OK;
}

extern "C" uint32_t bxf_play_find_sync_sample(PlayHandle *handle, uint32_t track, uint32_t sample, uint32_t forward,
                                              uint32_t *out_sample, uint64_t *out_start_time) {
    Lookup l;
    if (!out_sample || !out_start_time || sample == 0) return BXF_RET_ARGS;
    uint32_t ret = begin(handle, track, &l);
    if (ret != BXF_RET_OK) return ret;
    const uint32_t count = l.bounds().sample_count;
    uint32_t found = 0;
    uint64_t start = 0;
    if (!fragmented(handle) || (sample <= count && (!forward || sample < count))) {
        ret = sync_sample(l, sample, forward != 0, &found, &start);
        if (ret == BXF_RET_NOTFOUND && forward && fragmented(handle))
            ret = fragment_sync_after(handle, l, 0, &found, &start);
    } else {
        // Among the fragments, or from the tables on into them.
        const uint64_t k = sample > count ? sample - uint64_t(count) - 1 : 0;
        if (forward)
            ret = fragment_sync_after(handle, l, sample > count ? k + 1 : 0, &found, &start);
        else
            ret = sample == 1 ? BXF_RET_ARGS : fragment_sync_before(handle, l, k, &found, &start);
    }
    if (ret != BXF_RET_OK) return ret;
    *out_sample = found;
    *out_start_time = start;
    return BXF_RET_OK;
}

extern "C" uint32_t bxf_play_get_sample_at_time(PlayHandle *handle, uint32_t track, uint64_t time, uint32_t inclusive,
                                                uint32_t want_run, uint64_t *out_start_time, SampleInfo *out) {
    Lookup l;
    if (!out_start_time || !out) return BXF_RET_ARGS;
    uint32_t ret = begin(handle, track, &l);
    uint64_t t = 0, start = 0;
    uint32_t sample = 0;
    if (ret == BXF_RET_OK) ret = searched_time(time, inclusive, &t);
    if (ret != BXF_RET_OK) return ret;
    SampleInfo info;
    if (fragments_hold(handle, l, t)) {
        ret = find_fragment_sample(fragment_source(handle, *l.track), *l.track, t, FragmentSearch::holding, want_run,
                                   &info, &start);
        if (ret != BXF_RET_OK) return ret;
        *out_start_time = start;
        *out = info;
        return BXF_RET_OK;
    }
    if (!l.has(kSizes)) return BXF_RET_FORMAT;
    if ((ret = sample_at(l, t, &sample, &start)) != BXF_RET_OK) return ret;
    if ((ret = sample_info(l, sample, want_run, &info)) != BXF_RET_OK) return ret;
    *out_start_time = start;
    *out = info;
    return BXF_RET_OK;
}

extern "C" uint32_t bxf_play_find_sync_time_near(PlayHandle *handle, uint32_t track, uint64_t time, uint32_t inclusive,
                                                 uint32_t forward, uint64_t *out_start_time) {
    Lookup l;
    if (!out_start_time) return BXF_RET_ARGS;
    uint32_t ret = begin(handle, track, &l);
    uint64_t t = 0, found = 0;
    if (ret == BXF_RET_OK) ret = searched_time(time, inclusive, &t);
    if (ret != BXF_RET_OK) return ret;
    if (!forward && t == 0) return BXF_RET_ARGS;
    ret = forward ? sync_time_after(handle, l, t, &found) : sync_time_before(handle, l, t, &found);
    if (ret != BXF_RET_OK) return ret;
    *out_start_time = found;
    return BXF_RET_OK;
}

extern "C" uint32_t bxf_play_get_track_duration(PlayHandle *handle, uint32_t track, uint32_t whole,
                                                uint64_t *out_duration) {
    Lookup l;
    if (!out_duration) return BXF_RET_ARGS;
    uint32_t ret = begin(handle, track, &l);
    if (ret != BXF_RET_OK) return ret;
    uint64_t tables = 0;
    if ((ret = tables_duration(l, &tables)) != BXF_RET_OK && ret != BXF_RET_FORMAT) return ret;
    const bool fragmented = handle->movie.moov.mvex.trex_head != nullptr;
    if (!whole || !fragmented) {
        if (ret != BXF_RET_OK) return ret;
        *out_duration = tables;
        return BXF_RET_OK;
    }
    // To the end of the track's last fragment, walked sample by sample.
    if (l.cache->whole_duration == 0) {
        ret = fragments_end_time(fragment_source(handle, *l.track), *l.track, tables, &l.cache->whole_duration);
        if (ret != BXF_RET_OK) return ret;
    }
    *out_duration = l.cache->whole_duration;
    return BXF_RET_OK;
}

extern "C" uint32_t bxf_play_get_track_timeline(PlayHandle *handle, uint32_t track, uint64_t *out_first_decode_time,
                                                uint64_t *out_end) {
    Lookup l;
    if (!out_first_decode_time || !out_end) return BXF_RET_ARGS;
    uint32_t ret = begin(handle, track, &l);
    if (ret != BXF_RET_OK) return ret;
    const bool tables = l.bounds().sample_count != 0;
    bool any = false;
    uint64_t first = 0, end = tables ? l.bounds().stts_end : 0;
    if (fragmented(handle)) {
        uint64_t fragments_first = 0, fragments_end = 0;
        ret = fragments_extent(fragment_source(handle, *l.track), *l.track, &any, &fragments_first, &fragments_end);
        if (ret != BXF_RET_OK) return ret;
        if (any && !tables) first = fragments_first;
        if (any && fragments_end > end) end = fragments_end;
    }
    if (!tables && !any) return BXF_RET_NOTFOUND;
    *out_first_decode_time = first;
    *out_end = end;
    return BXF_RET_OK;
}
