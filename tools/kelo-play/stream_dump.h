// --dump: each pin's delivered bytes written as a file a standard tool reads.
// One writer per media subtype, in a table: PCM and float as .wav, H.264 as
// an Annex B .h264, AAC as ADTS .aac, AMR as an .amr storage file.
#ifndef KELO_TOOLS_KELO_PLAY_STREAM_DUMP_H
#define KELO_TOOLS_KELO_PLAY_STREAM_DUMP_H

#include <windows.h>
#include <strmif.h>

#include <string>

#include "delivered_stream.h"

struct StreamDumpWriter {
    const GUID* subtype;
    const char* extension;  // without the dot
    // Writes the stream to path; false with a message.
    bool (*write)(const DeliveredStream& stream, const std::wstring& path, std::string* error);
};

// The writer for a subtype, or null if there is none yet.
const StreamDumpWriter* FindStreamDumpWriter(const GUID& subtype);

#endif
