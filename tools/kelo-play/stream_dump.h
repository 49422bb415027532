// --dump: each pin's delivered bytes written as a file a standard tool reads.
// One writer per media subtype (and, for the MPEG4 Video pin's subtype, per
// biCompression), in a table: MPEG-4 Visual as .m4v, H.263 as .h263, PCM and
// float as .wav, H.264 as
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
    // For a subtype that carries more than one format: the biCompression of
    // the VIDEOINFOHEADER that picks this writer; 0 for any.
    DWORD compression = 0;
};

// The writer for a media type, or null if there is none yet.
const StreamDumpWriter* FindStreamDumpWriter(const AM_MEDIA_TYPE& type);

#endif
