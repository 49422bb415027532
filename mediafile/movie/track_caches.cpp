// The handle's list of track caches: added as tracks are opened, every
// track's windows re-sized whenever the set of tracks changes.
#include "track_caches.h"

#include "play_handle.h"

namespace bxf {

namespace {

bool fragmented(const PlayHandle *handle) { return handle->movie.moov.mvex.trex_head != nullptr; }

// Re-sizes every opened track's windows after the set of tracks changed.
uint32_t resize_all(PlayHandle *handle) {
    LibraryInstance *inst = handle->instance;
    uint64_t tracks = 0;
    for (TrackCache *c = handle->caches_head; c; c = c->next) {
        release_windows(inst, c->table);
        ++tracks;
    }
    if (tracks == 0) return BXF_RET_OK;
    const uint64_t budget = inst->sample_limit > inst->sample_used ? inst->sample_limit - inst->sample_used : 0;
    const uint64_t share = budget / (tracks + (fragmented(handle) ? 1 : 0));
    for (TrackCache *c = handle->caches_head; c; c = c->next) {
        const uint32_t ret = size_track(c->table, share, fragmented(handle), handle->fragment_mode);
        if (ret != BXF_RET_OK) return ret;
    }
    return BXF_RET_OK;
}

void release_cache(LibraryInstance *inst, TrackCache *c) {
    release_windows(inst, c->table);
    close_fragments(inst, *c);
    bxf_free(inst, c);
}

}  // namespace

uint32_t add_track_cache(PlayHandle *handle, const OpenedTrack &track, uint64_t stts_end) {
    auto *cache = alloc_record<TrackCache>(handle->instance);
    if (!cache) return BXF_RET_NOMEM;
    TrackTableCache &t = cache->table;
    t.track_number = track.track_number;
    t.tables = &track.tables;
    t.bounds = TableBounds{track.tables.sample_count, track.tables.tables[kChunkOffsets].entry_count, stts_end};
    for (uint32_t k = 0; k < kTableCount; ++k) init_window(t.windows[k], TableKind(k), track.tables);
    t.aux.has_senc = track.senc != nullptr;
    t.aux.senc_flags = track.senc ? track.senc->version_flags & 0xFFFFFFu : 0;
    append_node(handle->caches_head, handle->caches_tail, cache);
    const uint32_t ret = resize_all(handle);
    if (ret != BXF_RET_OK) remove_track_cache(handle, track.track_number);
    return ret;
}

void remove_track_cache(PlayHandle *handle, uint32_t track_number) {
    TrackCache *prev = nullptr;
    for (TrackCache *c = handle->caches_head; c; prev = c, c = c->next) {
        if (c->table.track_number != track_number) continue;
        (prev ? prev->next : handle->caches_head) = c->next;
        if (handle->caches_tail == c) handle->caches_tail = prev;
        release_cache(handle->instance, c);
        break;
    }
    resize_all(handle);  // fewer tracks: every share grows, so this cannot fail
}

void release_track_caches(PlayHandle *handle) {
    for (TrackCache *c = handle->caches_head; c;) {
        TrackCache *next = c->next;
        release_cache(handle->instance, c);
        c = next;
    }
    handle->caches_head = handle->caches_tail = nullptr;
}

TrackCache *find_track_cache(PlayHandle *handle, uint32_t track_number) {
    for (TrackCache *c = handle->caches_head; c; c = c->next)
        if (c->table.track_number == track_number) return c;
    return nullptr;
}

FragmentSource fragment_source(PlayHandle *handle, const TrackCache &cache) {
    const uint32_t number = cache.table.track_number;
    const TrackNode *node = handle->movie.moov.tracks_head;
    for (uint32_t n = 1; node && n < number; ++n) node = node->next;
    OpenedTrack *track = find_opened_track(handle, number);
    return FragmentSource{Io{handle->instance, handle->file},
                          handle->movie,
                          handle->file_size,
                          handle->fragment_mode,
                          node ? node->track_id : 0,
                          track ? &track->tables : nullptr,
                          track ? track->handler_type : 0};
}

}  // namespace bxf
