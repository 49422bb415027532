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
struct TrackTableCache;
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
    bxf::TrackTableCache *caches_head;  // sample access, one per opened track
    bxf::TrackTableCache *caches_tail;
};

namespace bxf {

// Readers used by the movie open.
uint32_t parse_top_level(const Io &io, PlayHandle &handle, uint64_t start, uint64_t length);
uint32_t parse_moov(const Io &io, BoxRange body, MoovRecord &moov);
uint32_t parse_mvex(const Io &io, BoxRange body, MovieExtendsRecord &mvex);
uint32_t parse_pssh(const Io &io, const BoxRecord &box, PsshRecord **out);

// Version/flags at the start of a full box body; the range after them goes
// to `out_payload`. A version above `max_version` is BXF_RET_FORMAT.
uint32_t read_version_flags(const Io &io, BoxRange body, uint32_t max_version, uint32_t *out_version_flags,
                            BoxRange *out_payload);
// A version-0 full box kept by its body and the range after version/flags;
// both are written only when the box is well formed.
uint32_t keep_version0_box(const Io &io, const BoxRecord &box, BoxRange &body, BoxRange &payload);

uint32_t parse_vendor_list(const Io &io, BoxRange range, uint32_t max_entries, VendorBoxRecord &list);
void release_vendor_list(LibraryInstance *inst, VendorBoxRecord &list);

// A trak body in locate mode (into `node`, at movie open) or in full mode
// (into `track`, when the track is opened for playback).
uint32_t parse_trak(const Io &io, BoxRange body, uint32_t handler_type, TrackNode *node, OpenedTrack *track);
uint32_t parse_tkhd(const Io &io, BoxRange body, TrackHeaderInfo *out);
uint32_t parse_mdhd(const Io &io, BoxRange body, MediaHeaderInfo *out, uint32_t *out_version_flags);
void release_opened_track(LibraryInstance *inst, OpenedTrack *track);
OpenedTrack *find_opened_track(const PlayHandle *handle, uint32_t track);
void release_opened_tracks(PlayHandle *handle);
void remove_opened_track(PlayHandle *handle, OpenedTrack *track);

void release_moov(LibraryInstance *inst, MoovRecord &moov);
void release_movie(LibraryInstance *inst, MovieRecord &movie);

}  // namespace bxf

#endif
