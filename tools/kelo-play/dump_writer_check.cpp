// dump-writer-check: runs kelo-play's dump writers and media-type words on a
// media type and samples given as files, so that check_dump_writers.py can
// prove them with ffmpeg on streams whose every NAL unit and access unit it
// knows, without a filter or a graph.
//
// usage: dump-writer-check avc|aac FORMAT_BLOCK SAMPLES OUT
//   FORMAT_BLOCK: the format block's bytes (VIDEOINFOHEADER2 + avcC, or
//   WAVEFORMATEX + AudioSpecificConfig); SAMPLES: each sample as a 32-bit
//   little-endian length and its bytes. Prints the type's words and writes
//   the dump to OUT. Exit 0, 1 for usage or unreadable input, 3 when the
//   writer refuses (its message on stderr).
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include <initguid.h>  // the pins' subtypes, defined once here

#include <strmif.h>
#include <uuids.h>

#include "media_type_words.h"
#include "stream_dump.h"
#include "stream_guids.h"

namespace {

bool ReadWholeFile(const std::wstring& path, std::vector<uint8_t>* bytes) {
    FILE* in = _wfopen(path.c_str(), L"rb");
    if (!in) return false;
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) bytes->insert(bytes->end(), buffer, buffer + got);
    const bool ok = !std::ferror(in);
    std::fclose(in);
    return ok;
}

// The samples file as the sink would have recorded it: bytes joined, one
// sample event per record with its offset.
bool ReadSamples(const std::vector<uint8_t>& file, std::vector<uint8_t>* bytes, std::vector<SinkEvent>* events) {
    size_t at = 0;
    while (at < file.size()) {
        if (file.size() - at < 4) return false;
        const size_t length =
            file[at] | file[at + 1] << 8 | file[at + 2] << 16 | static_cast<size_t>(file[at + 3]) << 24;
        at += 4;
        if (file.size() - at < length) return false;
        SinkEvent event;
        event.kind = SinkEventKind::kSample;
        event.length = static_cast<long>(length);
        event.byte_offset = bytes->size();
        bytes->insert(bytes->end(), file.begin() + static_cast<ptrdiff_t>(at),
                      file.begin() + static_cast<ptrdiff_t>(at + length));
        events->push_back(event);
        at += length;
    }
    return true;
}

int Run(const std::vector<std::wstring>& args) {
    if (args.size() != 4 || (args[0] != L"avc" && args[0] != L"aac")) {
        std::fprintf(stderr, "usage: dump-writer-check avc|aac FORMAT_BLOCK SAMPLES OUT\n");
        return 1;
    }
    std::vector<uint8_t> format, samples_file, bytes;
    std::vector<SinkEvent> events;
    if (!ReadWholeFile(args[1], &format) || !ReadWholeFile(args[2], &samples_file) ||
        !ReadSamples(samples_file, &bytes, &events)) {
        std::fprintf(stderr, "dump-writer-check: cannot read the format block or the samples\n");
        return 1;
    }
    const bool avc = args[0] == L"avc";
    AM_MEDIA_TYPE type = {};
    type.majortype = avc ? MEDIATYPE_Video : MEDIATYPE_Audio;
    type.subtype = avc ? MEDIASUBTYPE_PrivateAVC : MEDIASUBTYPE_RAW_AAC1;
    type.formattype = avc ? FORMAT_VideoInfo2 : FORMAT_WaveFormatEx;
    type.cbFormat = static_cast<ULONG>(format.size());
    type.pbFormat = format.data();

    std::printf("%s\n", MediaTypeWords(type).c_str());
    const StreamDumpWriter* writer = FindStreamDumpWriter(type);
    std::string error;
    if (!writer || !writer->write({&type, &bytes, &events}, args[3], &error)) {
        std::fprintf(stderr, "dump-writer-check: %s\n", writer ? error.c_str() : "no writer");
        return 3;
    }
    return 0;
}

}  // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return 1;
    const std::vector<std::wstring> args(argv + 1, argv + argc);
    LocalFree(argv);
    const int exit = Run(args);
    std::fflush(nullptr);
    return exit;
}
