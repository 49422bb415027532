// The movie fragment random-access boxes (ISO/IEC 14496-12 8.8.9 to 8.8.11):
// finding mfra, its tfra tables, and the bounded per-track index built from
// them to jump to the fragment that holds a decode time.
#ifndef BXF_FRAGMENT_INDEX_H
#define BXF_FRAGMENT_INDEX_H

#include "internal.h"

namespace bxf {

// Appends a TfraRecord per tfra child of the mfra body (only the heads are
// read; the entries stay in the file); other children are skipped.
uint32_t parse_mfra(const Io &io, BoxRange body, MovieRecord &movie);

// Looks for mfro in the last 16, then the last 24 bytes of the file and reads
// the mfra it names, unless the movie already has one. A file without mfro,
// or whose mfro names no mfra, has no random access: BXF_RET_OK.
uint32_t find_mfra_from_end(const Io &io, uint64_t file_size, MovieRecord &movie);

struct FragmentIndexEntry {
    uint64_t time;
    uint64_t moof_offset;
    uint32_t trun_number;
    uint32_t sample_number;
};

struct TrackFragmentIndex {
    FragmentIndexEntry *entries;  // pool 2, sorted by time
    uint32_t count;
    bool built;
};

// Builds the index of `track_id` from its first tfra within the track's
// fragment memory: at most (set_aside - 32) / 24 entries, a uniform
// selection when the table holds more. On BXF_RET_OK `out` is written with
// built = true (and no entries when the set-aside is below 56 bytes);
// BXF_RET_NOTFOUND when the movie has no tfra for the track; BXF_RET_NOMEM
// when the read buffer (set_aside + fragment_budget - 64) would be 64 bytes
// or less, or an allocation fails.
uint32_t build_track_index(const Io &io, const MovieRecord &movie, uint32_t track_id, uint64_t set_aside,
                           uint64_t fragment_budget, TrackFragmentIndex *out);

// The entry with the greatest time <= t, or null (t before the first entry,
// or an empty index).
const FragmentIndexEntry *lookup_fragment_index(const TrackFragmentIndex &index, uint64_t t);

// Frees the entries and empties the index; an empty index is accepted.
void release_track_index(LibraryInstance *inst, TrackFragmentIndex &index);

}  // namespace bxf

#endif
