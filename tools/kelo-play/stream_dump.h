// --dump: each pin's delivered bytes written as a file a standard tool reads.
// One writer per media subtype, in a table: a new pin kind adds its row
// (H.264 as an Annex B .h264, AAC as ADTS .aac, ...).
#ifndef KELO_TOOLS_KELO_PLAY_STREAM_DUMP_H
#define KELO_TOOLS_KELO_PLAY_STREAM_DUMP_H

#include <windows.h>
#include <strmif.h>

#include <cstdint>
#include <string>
#include <vector>

#include "media_type.h"
#include "sink_event.h"

// What one pin delivered, in arrival order.
struct DeliveredStream {
    const CMediaType* type;
    const std::vector<uint8_t>* bytes;     // every sample's bytes, joined
    const std::vector<SinkEvent>* events;  // with each sample's byte_offset
};

struct StreamDumpWriter {
    const GUID* subtype;
    const char* extension;  // without the dot
    // Writes the stream to path; false with a message.
    bool (*write)(const DeliveredStream& stream, const std::wstring& path, std::string* error);
};

// The writer for a subtype, or null if there is none yet.
const StreamDumpWriter* FindStreamDumpWriter(const GUID& subtype);

#endif
