#include "stream_dump.h"

#include <uuids.h>

#include "adts_stream.h"
#include "amr_storage.h"
#include "annexb_stream.h"
#include "audio_specific_config.h"
#include "output_file.h"
#include "stream_guids.h"
#include "wav_file.h"

namespace {

bool WriteWav(const DeliveredStream& stream, const std::wstring& path, std::string* error) {
    return WriteWavFile(*stream.type, *stream.bytes, path, error);
}

bool WriteAnnexB(const DeliveredStream& stream, const std::wstring& path, std::string* error) {
    std::vector<DeliveredSample> samples;
    if (!DeliveredSamples(stream, &samples, error)) return false;
    std::vector<uint8_t> file;
    BuildAnnexBStream(samples, &file);
    return WriteOutputFile(path, file, error);
}

bool WriteAdts(const DeliveredStream& stream, const std::wstring& path, std::string* error) {
    AudioSpecificConfig config;
    if (!AudioSpecificConfigOfType(*stream.type, &config, error)) return false;
    std::vector<DeliveredSample> samples;
    if (!DeliveredSamples(stream, &samples, error)) return false;
    std::vector<uint8_t> file;
    return BuildAdtsStream(config, samples, &file, error) && WriteOutputFile(path, file, error);
}

bool WriteAmr(const DeliveredStream& stream, const std::wstring& path, std::string* error) {
    std::vector<DeliveredSample> samples;
    if (!DeliveredSamples(stream, &samples, error)) return false;
    std::vector<uint8_t> file;
    BuildAmrStorage(samples, &file);
    return WriteOutputFile(path, file, error);
}

const StreamDumpWriter kWriters[] = {
    {&MEDIASUBTYPE_PCM, "wav", WriteWav},
    {&MEDIASUBTYPE_IEEE_FLOAT, "wav", WriteWav},
    {&MEDIASUBTYPE_PrivateAVC, "h264", WriteAnnexB},
    {&MEDIASUBTYPE_RAW_AAC1, "aac", WriteAdts},
    {&MEDIASUBTYPE_PrivateAAC, "aac", WriteAdts},
    {&MEDIASUBTYPE_SAMR, "amr", WriteAmr},
};

}  // namespace

const StreamDumpWriter* FindStreamDumpWriter(const GUID& subtype) {
    for (const StreamDumpWriter& writer : kWriters)
        if (*writer.subtype == subtype) return &writer;
    return nullptr;
}
