// The readers of the movie's boxes: the top-level walk, moov and what it
// holds, and the release of the records they build.
#ifndef BXF_MOVIE_PARSERS_H
#define BXF_MOVIE_PARSERS_H

#include "internal.h"

struct PlayHandle;
struct OpenedTrack;

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

void release_moov(LibraryInstance *inst, MoovRecord &moov);
void release_movie(LibraryInstance *inst, MovieRecord &movie);

}  // namespace bxf

#endif
