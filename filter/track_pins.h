// Which output pin a track gets, decided by its handler and the format of its
// first sample entry, and the pin made for it.
#ifndef KELO_FILTER_TRACK_PINS_H
#define KELO_FILTER_TRACK_PINS_H

#include <cstdint>

#include "bxf.h"
#include "stream_host.h"

class CTrackStream;

enum class PinOutcome {
    None,   // no pin: the track is not of a kind the filter plays, or its pin failed
    Made,   // the pin was added to the filter
    Fatal,  // the pin could not be made and the whole load fails
};

// Makes the pin for `track` of `handler_type` (sound or video), added to
// `host`'s filter.
PinOutcome MakeTrackPin(CStreamHost* host, PlayHandle* play, uint32_t track, uint32_t handler_type);

#endif
