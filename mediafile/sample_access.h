// Per-track sample-access state: the six table windows of each track opened
// for playback, sized from one budget that all opened tracks share.
#ifndef BXF_SAMPLE_ACCESS_H
#define BXF_SAMPLE_ACCESS_H

#include "aux_cache.h"
#include "fragments.h"
#include "table_window.h"

struct PlayHandle;
struct OpenedTrack;

namespace bxf {

struct TrackTableCache {
    uint32_t track_number;
    bool allocated;
    TableWindow windows[kTableCount];
    TableBounds bounds;
    const SampleTableRecord *tables;
    uint64_t tables_duration;  // cached sum of the stts runs; 0 = not known
    uint64_t whole_duration;   // with fragments; 0 = not known
    uint64_t fragment_set_aside;
    uint64_t fragment_budget;
    TrackFragments fragments;
    AuxCaches aux;  // saio/saiz caches of the table samples, the trak's senc
    // The last sample located, so that the next one in the same chunk is
    // placed without summing the chunk's sizes again.
    uint32_t last_sample;
    uint32_t last_chunk;
    uint64_t last_offset;
    uint32_t last_size;
    TrackTableCache *next;
};

// The window budget when the opener sets no memory budget.
constexpr uint64_t kDefaultWindowBudget = 0x20000;

// Creates the cache of a newly opened track and re-sizes every window of
// every opened track (the buffers are released and reallocated lazily).
uint32_t add_track_cache(PlayHandle *handle, const OpenedTrack &track, uint64_t media_duration);
// Takes a track's cache out again (its open failed) and re-sizes the rest.
void remove_track_cache(PlayHandle *handle, uint32_t track_number);
void release_track_caches(PlayHandle *handle);

TrackTableCache *find_track_cache(PlayHandle *handle, uint32_t track_number);
uint32_t allocate_windows(LibraryInstance *inst, TrackTableCache &cache);
void release_windows(LibraryInstance *inst, TrackTableCache &cache);

// The window split of one track's share, exposed for tests: fills each
// window's capacity from the bytes `remaining`.
uint32_t split_window_budget(uint64_t remaining, TableWindow (&windows)[kTableCount], bool compact_sizes);

}  // namespace bxf

#endif
