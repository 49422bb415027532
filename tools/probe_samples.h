// bxfprobe's sample listing (--samples) and time lookup (--at).
#ifndef BXF_PROBE_SAMPLES_H
#define BXF_PROBE_SAMPLES_H

#include <cstdio>

#include "bxf.h"

// One line (or JSON object) per sample of `track`, or of every track when
// `track` is 0, with the auxiliary-information fields when `aux` is set.
// Returns the first error other than the end of a track.
uint32_t print_samples(FILE *out, bool json, bool aux, PlayHandle *handle, uint32_t track);
// Per track: the sample holding `seconds` and the sync sample at or before it.
uint32_t print_at(FILE *out, bool json, PlayHandle *handle, uint32_t track, double seconds);

#endif
