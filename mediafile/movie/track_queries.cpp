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

// The end of the track's sample tables, where its fragments begin: the mdhd
// duration, unless it is all ones, the "unknown" value that segmented-streaming
// muxers write (ffmpeg's ismv, for one); then the end of the stts runs.
uint32_t tables_end(const Io &io, const TrackNode &node, const OpenedTrack &opened, uint64_t *out) {
    MediaHeaderInfo info{};
    uint32_t version_flags = 0;
    const uint32_t ret = parse_mdhd(io, node.mdhd_body, &info, &version_flags);
    const uint64_t unknown = (version_flags >> 24) == 1 ? UINT64_MAX : UINT32_MAX;
    if (ret != BXF_RET_OK || node.media_duration != unknown) {
        *out = node.media_duration;
        return BXF_RET_OK;
    }
    return stts_end_time(io, opened.tables, out);
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
    uint64_t media_end = 0;
    ret = tables_end(Io{handle->instance, handle->file}, *node, *opened, &media_end);
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
