// The open movie behind the opaque PlayHandle of the public interface.
#ifndef BXF_PLAY_HANDLE_H
#define BXF_PLAY_HANDLE_H

#include "internal.h"
#include "sample_tables.h"

// The first `senc` of a track: its version/flags and where it lies.
struct SencState {
    uint32_t version_flags;
    BoxRange body;
};

// A track parsed in full for playback, one per opened track.
struct OpenedTrack {
    uint32_t track_number;
    uint32_t handler_type;
    BoxRange tref_body;
    uint32_t elst_version_flags;
    uint32_t elst_entry_count;
    BoxRange elst_entries;
    uint32_t media_header_type;  // vmhd, smhd, hmhd, nmhd or sthd
    BoxRange media_header_body;
    uint32_t dref_entry_count;
    BoxRange dref_entries;
    bxf::SampleTableRecord tables;
    SencState *senc;
    OpenedTrack *next;
};

namespace bxf {
struct TrackCache;
}

struct PlayHandle {
    LibraryInstance *instance;
    void *file;
    uint64_t file_size;
    uint32_t walk_all_boxes;
    uint32_t record_all_moofs;  // 0 as opened: only the first moof is kept
    uint32_t fragment_mode;
    MovieRecord movie;
    OpenedTrack *opened_head;
    OpenedTrack *opened_tail;
    bxf::TrackCache *caches_head;  // sample access, one per opened track
    bxf::TrackCache *caches_tail;
};

namespace bxf {

// The handle's opened tracks.
OpenedTrack *find_opened_track(const PlayHandle *handle, uint32_t track);
void release_opened_tracks(PlayHandle *handle);
void remove_opened_track(PlayHandle *handle, OpenedTrack *track);
void release_opened_track(LibraryInstance *inst, OpenedTrack *track);

}  // namespace bxf

#endif
