// The queries through which callers learn what the tracks are and open
// them for playback. Each writes the caller's record only on success.
#include "movie_parsers.h"
#include "play_handle.h"
#include "track_caches.h"

namespace bxf {

namespace {

uint32_t find_track_node(const PlayHandle *handle, uint32_t track, const TrackNode **out) {
    if (track == 0) return BXF_RET_ARGS;
    const TrackNode *node = handle->movie.moov.tracks_head;
    for (uint32_t n = 1; node && n < track; ++n) node = node->next;
    if (!node) return BXF_RET_NOTFOUND;
    *out = node;
    return BXF_RET_OK;
}

}  // namespace

OpenedTrack *find_opened_track(const PlayHandle *handle, uint32_t track) {
    for (OpenedTrack *t = handle->opened_head; t; t = t->next)
        if (t->track_number == track) return t;
    return nullptr;
}

// Takes the last opened track out of the list again (its set-up failed).
void remove_opened_track(PlayHandle *handle, OpenedTrack *track) {
    OpenedTrack *prev = nullptr;
    for (OpenedTrack *t = handle->opened_head; t && t != track; t = t->next) prev = t;
    (prev ? prev->next : handle->opened_head) = track->next;
    if (handle->opened_tail == track) handle->opened_tail = prev;
    release_opened_track(handle->instance, track);
}

void release_opened_tracks(PlayHandle *handle) {
    release_track_caches(handle);
    for (OpenedTrack *t = handle->opened_head; t;) {
        OpenedTrack *next = t->next;
        release_opened_track(handle->instance, t);
        t = next;
    }
    handle->opened_head = handle->opened_tail = nullptr;
}

}  // namespace bxf

using namespace bxf;

extern "C" uint32_t bxf_get_track_count(const PlayHandle *handle, uint32_t *out_count) {
    if (!handle || !out_count) return BXF_RET_ARGS;
    *out_count = handle->movie.moov.track_count;
    return BXF_RET_OK;
}

extern "C" uint32_t bxf_get_track_header(PlayHandle *handle, uint32_t track, TrackHeaderInfo *out) {
    if (!handle || !out) return BXF_RET_ARGS;
    const TrackNode *node = nullptr;
    uint32_t ret = find_track_node(handle, track, &node);
    if (ret != BXF_RET_OK) return ret;
    if (!range_present(node->tkhd_body)) return BXF_RET_NOTFOUND;
    return parse_tkhd(Io{handle->instance, handle->file}, node->tkhd_body, out);
}

extern "C" uint32_t bxf_get_media_header(PlayHandle *handle, uint32_t track, MediaHeaderInfo *out) {
    if (!handle || !out) return BXF_RET_ARGS;
    const TrackNode *node = nullptr;
    uint32_t ret = find_track_node(handle, track, &node);
    if (ret != BXF_RET_OK) return ret;
    if (!range_present(node->mdhd_body)) return BXF_RET_NOTFOUND;
    uint32_t version_flags = 0;
    return parse_mdhd(Io{handle->instance, handle->file}, node->mdhd_body, out, &version_flags);
}

extern "C" uint32_t bxf_get_handler(const PlayHandle *handle, uint32_t track, HandlerInfo *out) {
    if (!handle || !out) return BXF_RET_ARGS;
    const TrackNode *node = nullptr;
    uint32_t ret = find_track_node(handle, track, &node);
    if (ret != BXF_RET_OK) return ret;
    if (!range_present(node->hdlr_body)) return BXF_RET_NOTFOUND;
    HandlerInfo info{};
    info.handler_type = node->handler_type;
    info.handler_name = node->handler_name;
    *out = info;
    return BXF_RET_OK;
}

extern "C" uint32_t bxf_open_track(PlayHandle *handle, uint32_t track) {
    if (!handle) return BXF_RET_ARGS;
    const TrackNode *node = nullptr;
    uint32_t ret = find_track_node(handle, track, &node);
    if (ret != BXF_RET_OK) return ret;
    if (find_opened_track(handle, track)) return BXF_RET_OK;
    auto *opened = alloc_record<OpenedTrack>(handle->instance);
    if (!opened) return BXF_RET_NOMEM;
    opened->track_number = track;
    opened->handler_type = node->handler_type;
    ret = parse_trak(Io{handle->instance, handle->file}, node->trak_body, node->handler_type, nullptr, opened);
    if (ret != BXF_RET_OK) {
        release_opened_track(handle->instance, opened);
        return ret;
    }
    // Lookups by time stop, and a fragment without tfdt begins, where the
    // stts runs end. The mdhd duration is only a header value: edited files
    // state less, a DASH init states its segments' span over empty tables,
    // and "unknown" is all ones.
    uint64_t media_end = 0;
    ret = stts_end_time(Io{handle->instance, handle->file}, opened->tables, &media_end);
    if (ret != BXF_RET_OK) {
        release_opened_track(handle->instance, opened);
        return ret;
    }
    append_node(handle->opened_head, handle->opened_tail, opened);
    ret = add_track_cache(handle, *opened, media_end);
    if (ret != BXF_RET_OK) remove_opened_track(handle, opened);
    return ret;
}

extern "C" uint32_t bxf_get_edit_list_info(const PlayHandle *handle, uint32_t track, uint32_t *out_version_flags,
                                           uint32_t *out_entry_count) {
    if (!handle || !out_version_flags || !out_entry_count) return BXF_RET_ARGS;
    const TrackNode *node = nullptr;
    uint32_t ret = find_track_node(handle, track, &node);
    if (ret != BXF_RET_OK) return ret;
    const OpenedTrack *opened = find_opened_track(handle, track);
    if (!opened) return BXF_RET_STATE;
    *out_version_flags = opened->elst_version_flags;
    *out_entry_count = opened->elst_entry_count;
    return BXF_RET_OK;
}

extern "C" uint32_t bxf_get_edit_list_entry(const PlayHandle *handle, uint32_t track, uint32_t entry,
                                            EditListEntry *out) {
    if (!handle || !out || entry == 0) return BXF_RET_ARGS;
    const TrackNode *node = nullptr;
    uint32_t ret = find_track_node(handle, track, &node);
    if (ret != BXF_RET_OK) return ret;
    const OpenedTrack *opened = find_opened_track(handle, track);
    if (!opened) return BXF_RET_STATE;
    // Version 1 entries hold 64-bit duration and media time, version 0 32-bit
    // ones; the rate follows as two 16-bit halves.
    const bool wide = (opened->elst_version_flags >> 24) == 1;
    const uint64_t size = wide ? 20 : 12;
    const uint64_t held = opened->elst_entries.size / size;
    if (entry > opened->elst_entry_count || entry > held) return BXF_RET_NOTFOUND;
    uint8_t bytes[20];
    ret = read_exact_at(Io{handle->instance, handle->file}, opened->elst_entries.offset + (entry - 1) * size, bytes,
                        size);
    if (ret != BXF_RET_OK) return ret;
    EditListEntry e{};
    e.segment_duration = wide ? load_u64_be(bytes) : load_u32_be(bytes);
    e.media_time = wide ? int64_t(load_u64_be(bytes + 8)) : int64_t(int32_t(load_u32_be(bytes + 4)));
    const uint8_t *rate = bytes + (wide ? 16 : 8);
    e.media_rate_integer = int16_t(load_u16_be(rate));
    e.media_rate_fraction = int16_t(load_u16_be(rate + 2));
    *out = e;
    return BXF_RET_OK;
}
