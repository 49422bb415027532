// The lookup state of the tracks opened for playback, one record per track
// kept in the handle's list: the track's table windows and its fragments.
#ifndef BXF_TRACK_CACHES_H
#define BXF_TRACK_CACHES_H

#include "fragments.h"

struct PlayHandle;
struct OpenedTrack;

namespace bxf {

// Creates the cache of a newly opened track and re-sizes every window of
// every opened track (the buffers are released and reallocated lazily).
uint32_t add_track_cache(PlayHandle *handle, const OpenedTrack &track, uint64_t stts_end);
// Takes a track's cache out again (its open failed) and re-sizes the rest.
void remove_track_cache(PlayHandle *handle, uint32_t track_number);
void release_track_caches(PlayHandle *handle);
TrackCache *find_track_cache(PlayHandle *handle, uint32_t track_number);

// What the fragment code of an opened track reads of the movie: the file,
// the movie record, the file size, the fragment mode and the track's own
// record.
FragmentSource fragment_source(PlayHandle *handle, const TrackCache &cache);

}  // namespace bxf

#endif
