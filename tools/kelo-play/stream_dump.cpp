#include "stream_dump.h"

#include <amvideo.h>
#include <uuids.h>

#include "adts_stream.h"
#include "amr_storage.h"
#include "annexb_stream.h"
#include "audio_specific_config.h"
#include "hevc_stream.h"
#include "output_file.h"
#include "picture_stream.h"
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

bool WriteHevc(const DeliveredStream& stream, const std::wstring& path, std::string* error) {
    std::vector<DeliveredSample> samples;
    if (!DeliveredSamples(stream, &samples, error)) return false;
    std::vector<uint8_t> file;
    return BuildHevcStream(*stream.type, samples, &file, error) && WriteOutputFile(path, file, error);
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

bool WriteMpeg4Visual(const DeliveredStream& stream, const std::wstring& path, std::string* error) {
    std::vector<uint8_t> config;
    if (!Mpeg4VisualConfigOfType(*stream.type, &config, error)) return false;
    std::vector<DeliveredSample> samples;
    if (!DeliveredSamples(stream, &samples, error)) return false;
    std::vector<uint8_t> file;
    BuildPictureStream(config, samples, &file);
    return WriteOutputFile(path, file, error);
}

bool WriteH263(const DeliveredStream& stream, const std::wstring& path, std::string* error) {
    std::vector<DeliveredSample> samples;
    if (!DeliveredSamples(stream, &samples, error)) return false;
    std::vector<uint8_t> file;
    BuildPictureStream({}, samples, &file);
    return WriteOutputFile(path, file, error);
}

// The biCompression of a VIDEOINFOHEADER format block; 0 for any other block.
DWORD VideoCompression(const AM_MEDIA_TYPE& type) {
    if (type.formattype != FORMAT_VideoInfo || !type.pbFormat || type.cbFormat < sizeof(VIDEOINFOHEADER)) return 0;
    return reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader.biCompression;
}

const StreamDumpWriter kWriters[] = {
    {&MEDIASUBTYPE_PrivateMPEG4V, "m4v", WriteMpeg4Visual, MAKEFOURCC('M', 'P', '4', 'S')},
    {&MEDIASUBTYPE_PrivateMPEG4V, "h263", WriteH263, MAKEFOURCC('s', '2', '6', '3')},
    {&MEDIASUBTYPE_PCM, "wav", WriteWav},
    {&MEDIASUBTYPE_IEEE_FLOAT, "wav", WriteWav},
    {&MEDIASUBTYPE_PrivateAVC, "h264", WriteAnnexB},
    {&MEDIASUBTYPE_HVC1, "hevc", WriteHevc},
    {&MEDIASUBTYPE_HEVC, "hevc", WriteHevc},
    {&MEDIASUBTYPE_RAW_AAC1, "aac", WriteAdts},
    {&MEDIASUBTYPE_PrivateAAC, "aac", WriteAdts},
    {&MEDIASUBTYPE_SAMR, "amr", WriteAmr},
};

}  // namespace

const StreamDumpWriter* FindStreamDumpWriter(const AM_MEDIA_TYPE& type) {
    for (const StreamDumpWriter& writer : kWriters) {
        const bool format = writer.compression == 0 || writer.compression == VideoCompression(type);
        if (*writer.subtype == type.subtype && format) return &writer;
    }
    return nullptr;
}
