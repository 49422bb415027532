#include "stream_dump.h"

#include <uuids.h>

#include "wav_file.h"

namespace {

bool WriteWav(const DeliveredStream& stream, const std::wstring& path, std::string* error) {
    return WriteWavFile(*stream.type, *stream.bytes, path, error);
}

const StreamDumpWriter kWriters[] = {
    {&MEDIASUBTYPE_PCM, "wav", WriteWav},
    {&MEDIASUBTYPE_IEEE_FLOAT, "wav", WriteWav},
};

}  // namespace

const StreamDumpWriter* FindStreamDumpWriter(const GUID& subtype) {
    for (const StreamDumpWriter& writer : kWriters)
        if (*writer.subtype == subtype) return &writer;
    return nullptr;
}
