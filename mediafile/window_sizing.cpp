// One fixed budget for all table windows: pool 2's free bytes (131072 when
// the opener sets no budget), shared equally by the opened tracks, each
// share split among the track's six windows so that small tables are held
// whole and the large ones share the rest.
#include "play_handle.h"
#include "sample_access.h"

namespace bxf {

namespace {

constexpr uint64_t kBufferHeaders = 6 * 8;  // the six windows' allocation headers
constexpr uint64_t kFragmentSetAsidePercent = 30;
constexpr uint64_t kFragmentRecordBytes = 24;
constexpr uint64_t kExtendedFragmentRecordBytes = 224;

bool fragmented(const PlayHandle *handle) { return handle->movie.moov.mvex.trex_head != nullptr; }

uint32_t size_track(const PlayHandle *handle, TrackTableCache &cache, uint64_t share) {
    uint64_t set_aside = 0;
    if (fragmented(handle)) set_aside = share * kFragmentSetAsidePercent / 100;
    uint64_t rest = share - set_aside;
    const uint64_t aux_caches = aux_cache_charge(cache.tables->aux);
    if (rest < aux_caches) return BXF_RET_NOMEM;
    rest -= aux_caches;
    if (rest < kBufferHeaders) return BXF_RET_NOMEM;
    rest -= kBufferHeaders;
    uint32_t ret = split_window_budget(rest, cache.windows, cache.tables->field_size == 4);
    if (ret != BXF_RET_OK) return ret;
    cache.fragment_set_aside = set_aside;
    cache.fragment_budget = 0;
    if (fragmented(handle)) {
        const uint64_t record = handle->fragment_mode ? kExtendedFragmentRecordBytes : kFragmentRecordBytes;
        if (share - set_aside < record) return BXF_RET_NOMEM;
        cache.fragment_budget = share - set_aside - record;
    }
    return BXF_RET_OK;
}

// Re-sizes every opened track's windows after the set of tracks changed.
uint32_t resize_all(PlayHandle *handle) {
    LibraryInstance *inst = handle->instance;
    uint64_t tracks = 0;
    for (TrackTableCache *c = handle->caches_head; c; c = c->next) {
        release_windows(inst, *c);
        ++tracks;
    }
    if (tracks == 0) return BXF_RET_OK;
    const uint64_t budget = inst->sample_limit > inst->sample_used ? inst->sample_limit - inst->sample_used : 0;
    const uint64_t share = budget / (tracks + (fragmented(handle) ? 1 : 0));
    for (TrackTableCache *c = handle->caches_head; c; c = c->next) {
        const uint32_t ret = size_track(handle, *c, share);
        if (ret != BXF_RET_OK) return ret;
    }
    return BXF_RET_OK;
}

}  // namespace

uint32_t split_window_budget(uint64_t remaining, TableWindow (&windows)[kTableCount], bool compact_sizes) {
    bool sized[kTableCount] = {};
    for (uint32_t k = 0; k < kTableCount; ++k) {
        windows[k].capacity = 0;
        if (windows[k].total == 0) sized[k] = true;  // absent or empty: nothing to hold
    }
    for (uint32_t pass = 0; pass < kTableCount; ++pass) {
        uint64_t entry_bytes = 0;
        int smallest = -1;  // index of the table with the fewest entries
        for (uint32_t k = 0; k < kTableCount; ++k) {
            if (sized[k]) continue;
            entry_bytes += kMemoryEntrySize[k];
            if (smallest < 0 || windows[k].total < windows[smallest].total) smallest = int(k);
        }
        if (smallest < 0) break;
        const uint64_t q = remaining / entry_bytes;
        if (q < 2) return BXF_RET_NOMEM;
        const uint32_t capacity = q < windows[smallest].total ? uint32_t(q) : windows[smallest].total;
        windows[smallest].capacity = capacity;
        remaining -= uint64_t(capacity) * kMemoryEntrySize[smallest];
        sized[smallest] = true;
    }
    // 4-bit sizes load in whole bytes: an even capacity keeps blocks aligned.
    TableWindow &sizes = windows[kSizes];
    if (compact_sizes && sizes.capacity > 2 && sizes.capacity % 2 == 1) --sizes.capacity;
    return BXF_RET_OK;
}

uint32_t add_track_cache(PlayHandle *handle, const OpenedTrack &track, uint64_t media_duration) {
    auto *cache = alloc_record<TrackTableCache>(handle->instance);
    if (!cache) return BXF_RET_NOMEM;
    cache->track_number = track.track_number;
    cache->tables = &track.tables;
    cache->bounds = TableBounds{track.tables.sample_count, track.tables.tables[kChunkOffsets].entry_count,
                                media_duration};
    for (uint32_t k = 0; k < kTableCount; ++k) init_window(cache->windows[k], TableKind(k), track.tables);
    cache->aux.has_senc = track.senc != nullptr;
    cache->aux.senc_flags = track.senc ? track.senc->version_flags & 0xFFFFFFu : 0;
    append_node(handle->caches_head, handle->caches_tail, cache);
    const uint32_t ret = resize_all(handle);
    if (ret != BXF_RET_OK) remove_track_cache(handle, track.track_number);
    return ret;
}

void remove_track_cache(PlayHandle *handle, uint32_t track_number) {
    TrackTableCache *prev = nullptr;
    for (TrackTableCache *c = handle->caches_head; c; prev = c, c = c->next) {
        if (c->track_number != track_number) continue;
        (prev ? prev->next : handle->caches_head) = c->next;
        if (handle->caches_tail == c) handle->caches_tail = prev;
        release_windows(handle->instance, *c);
        close_fragments(handle->instance, *c);
        bxf_free(handle->instance, c);
        break;
    }
    resize_all(handle);  // fewer tracks: every share grows, so this cannot fail
}

void release_track_caches(PlayHandle *handle) {
    for (TrackTableCache *c = handle->caches_head; c;) {
        TrackTableCache *next = c->next;
        release_windows(handle->instance, *c);
        close_fragments(handle->instance, *c);
        bxf_free(handle->instance, c);
        c = next;
    }
    handle->caches_head = handle->caches_tail = nullptr;
}

TrackTableCache *find_track_cache(PlayHandle *handle, uint32_t track_number) {
    for (TrackTableCache *c = handle->caches_head; c; c = c->next)
        if (c->track_number == track_number) return c;
    return nullptr;
}

uint32_t allocate_windows(LibraryInstance *inst, TrackTableCache &cache) {
    if (cache.allocated) return BXF_RET_OK;
    for (TableWindow &w : cache.windows) {
        empty_window(w);
        if (w.capacity == 0) continue;
        w.buffer = static_cast<uint8_t *>(bxf_alloc(inst, BXF_POOL_SAMPLE, uint64_t(w.capacity) * kMemoryEntrySize[w.kind]));
        if (!w.buffer) {
            release_windows(inst, cache);
            return BXF_RET_NOMEM;
        }
    }
    if (allocate_aux_caches(inst, cache.aux, cache.tables->aux) != BXF_RET_OK) {
        release_windows(inst, cache);
        return BXF_RET_NOMEM;
    }
    cache.allocated = true;
    return BXF_RET_OK;
}

void release_windows(LibraryInstance *inst, TrackTableCache &cache) {
    for (TableWindow &w : cache.windows) {
        bxf_free(inst, w.buffer);
        w.buffer = nullptr;
        empty_window(w);
    }
    release_aux_caches(inst, cache.aux);
    cache.allocated = false;
    cache.last_sample = 0;
}

}  // namespace bxf
