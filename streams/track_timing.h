// The nominal figures of a track that its media type announces, read from
// the library once, at Load: the frame duration players show as the frame
// rate, and the bit rate.
#ifndef KELO_STREAMS_TRACK_TIMING_H
#define KELO_STREAMS_TRACK_TIMING_H

#include <cstdint>

#include "bxf.h"

// The most common duration (track units) among the track's first samples in
// decode order, tables or fragments: 0 when no sample has a duration.
uint32_t MostCommonSampleDuration(PlayHandle* play, uint32_t track);

// The track's bits per second: the bytes of all its samples over its whole
// duration (track units at `time_scale`), or 0 when either is unknown or the
// walk over its chunks and runs would be too long.
uint32_t TrackBitRate(PlayHandle* play, uint32_t track, uint32_t time_scale);

#endif
