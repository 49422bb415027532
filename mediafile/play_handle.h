// The open movie behind the opaque PlayHandle of the public interface.
#ifndef BXF_PLAY_HANDLE_H
#define BXF_PLAY_HANDLE_H

#include "internal.h"

struct PlayHandle {
    LibraryInstance *instance;
    void *file;
    uint64_t file_size;
    uint32_t walk_all_boxes;
    uint32_t record_all_moofs;  // 0 as opened: only the first moof is kept
    uint32_t fragment_mode;
    MovieRecord movie;
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

void release_moov(LibraryInstance *inst, MoovRecord &moov);
void release_movie(LibraryInstance *inst, MovieRecord &movie);

}  // namespace bxf

#endif
