// The nominal figures of a track that its media type announces, read from
// the library once, at Load: the frame duration players show as the frame
// rate, and the bit rate.
#ifndef KELO_STREAMS_TRACK_TIMING_H
#define KELO_STREAMS_TRACK_TIMING_H

#include <cstdint>

#include "bxf.h"

// The most common duration (track units) among the track's first samples in
// decode order from its first decode time `first`, tables or fragments: 0
// when no sample has a duration.
uint32_t MostCommonSampleDuration(PlayHandle* play, uint32_t track, uint64_t first);

// The track's bits per second: the bytes of all its samples over the span
// from its first decode time to its samples' end (track units at
// `time_scale`), or 0 when either is unknown or the walk over its chunks and
// runs would be too long.
uint32_t TrackBitRate(PlayHandle* play, uint32_t track, uint32_t time_scale, uint64_t first, uint64_t end);

#endif
