// What one pin delivered, as the dump writers see it: the media type, the
// joined bytes of every sample in arrival order and the sink's events, which
// say where each sample's bytes start. A seek's flush does not cut the log:
// the samples before and after it follow each other, as they were delivered.
#ifndef KELO_TOOLS_KELO_PLAY_DELIVERED_STREAM_H
#define KELO_TOOLS_KELO_PLAY_DELIVERED_STREAM_H

#include <windows.h>
#include <strmif.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sink_event.h"

struct DeliveredStream {
    const AM_MEDIA_TYPE* type;
    const std::vector<uint8_t>* bytes;     // every sample's bytes, joined
    const std::vector<SinkEvent>* events;  // with each sample's byte_offset
};

// One delivered sample's bytes, inside the stream's byte log.
struct DeliveredSample {
    const uint8_t* data;
    size_t length;
};

// The samples whose bytes were kept, in arrival order. False with a message
// if a sample's range lies outside the byte log (events and bytes that do not
// belong together).
bool DeliveredSamples(const DeliveredStream& stream, std::vector<DeliveredSample>* samples, std::string* error);

#endif
