// Per-track sample-access state over the sample tables: the six table
// windows of each track opened for playback, sized from one budget that all
// opened tracks share.
#ifndef BXF_SAMPLE_ACCESS_H
#define BXF_SAMPLE_ACCESS_H

#include "aux_cache.h"
#include "table_window.h"

namespace bxf {

struct TrackTableCache {
    uint32_t track_number;
    bool allocated;
    TableWindow windows[kTableCount];
    TableBounds bounds;
    const SampleTableRecord *tables;
    uint64_t whole_duration;      // with fragments; 0 = not known
    uint64_t fragment_set_aside;  // of the track's share, for its fragment index
    uint64_t fragment_budget;     // for its fragment runs and caches
    AuxCaches aux;                // saio/saiz caches of the table samples, the trak's senc
    // The last sample located, so that the next one in the same chunk is
    // placed without summing the chunk's sizes again.
    uint32_t last_sample;
    uint32_t last_chunk;
    uint64_t last_offset;
    uint32_t last_size;
};

// The window budget when the opener sets no memory budget.
constexpr uint64_t kDefaultWindowBudget = 0x20000;

// Sizes a track's windows from its share of the budget and sets aside what
// its fragments may use (`fragmented`: the movie has fragments;
// `fragment_mode` 0 keeps the smaller fragment record).
uint32_t size_track(TrackTableCache &cache, uint64_t share, bool fragmented, uint32_t fragment_mode);
uint32_t allocate_windows(LibraryInstance *inst, TrackTableCache &cache);
void release_windows(LibraryInstance *inst, TrackTableCache &cache);

// The window split of one track's share, exposed for tests: fills each
// window's capacity from the bytes `remaining`.
uint32_t split_window_budget(uint64_t remaining, TableWindow (&windows)[kTableCount], bool compact_sizes);

}  // namespace bxf

#endif
