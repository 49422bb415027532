#include "mpeg4a_stream.h"

#include <dshow.h>

#include <mmreg.h>

#include <cstring>
#include <vector>

#include "aac_channels.h"
#include "audio_specific_config.h"
#include "es_descriptor.h"
#include "stream_guids.h"
#include "track_descriptions.h"

namespace {

constexpr WORD kRawAacFormatTag = 0x00FF;
constexpr uint32_t kAacLowComplexity = 2;

// The esds descriptor bytes of the track's first sample entry.
bool ReadEsDescriptor(PlayHandle* play, uint32_t track, std::vector<uint8_t>* bytes) {
    TrackDescriptions descriptions(play, track);
    DecoderConfigInfo config;
    uint32_t size = 0;
    if (!descriptions.Get() || bxf_get_decoder_config(play, descriptions.Get(), 1, &config) != BXF_RET_OK ||
        bxf_get_esds_size(play, descriptions.Get(), 1, &size) != BXF_RET_OK)
        return false;
    bytes->resize(size);
    return bxf_get_esds_bytes(play, descriptions.Get(), 1, size, bytes->data()) == BXF_RET_OK;
}

}  // namespace

CMpeg4AStream::CMpeg4AStream(HRESULT* result, CStreamHost* host, const wchar_t* name, PlayHandle* play, uint32_t track)
    : CTrackStream(result, host, name, play, track, StreamSide::Audio, kBufferBytes) {}

bool CMpeg4AStream::IsOwnType(const GUID& major, const GUID& subtype) const {
    return major == MEDIATYPE_Audio && (subtype == MEDIASUBTYPE_RAW_AAC1 || subtype == MEDIASUBTYPE_PrivateAAC);
}

HRESULT CMpeg4AStream::BuildMediaType(int position, CMediaType* type) {
    std::vector<uint8_t> es;
    if (!ReadEsDescriptor(play_, track_, &es)) return E_UNEXPECTED;
    const uint8_t* config = nullptr;
    uint32_t config_length = 0;
    if (!FindDecoderSpecificInfo(es.data(), static_cast<uint32_t>(es.size()), &config, &config_length) ||
        config_length == 0)
        return E_UNEXPECTED;
    // Only AAC LC: the object type is the top five bits of the first byte.
    if ((config[0] >> 3) != kAacLowComplexity) return E_UNEXPECTED;
    AudioSpecificConfigInfo info;
    ParseAudioSpecificConfig(config, config_length, &info);  // what it reads is enough; its code is not needed
    const uint32_t channels = AacChannelCount(info);
    if (channels == 0) return E_UNEXPECTED;

    const ULONG block_size = sizeof(WAVEFORMATEX) + config_length;
    BYTE* block = type->AllocFormatBuffer(block_size);
    if (!block) return E_OUTOFMEMORY;
    auto* format = reinterpret_cast<WAVEFORMATEX*>(block);
    format->wFormatTag = kRawAacFormatTag;
    format->nChannels = static_cast<WORD>(channels);
    format->nSamplesPerSec = info.samplingFrequency;
    format->nAvgBytesPerSec = 0;
    format->nBlockAlign = 4;
    format->wBitsPerSample = 0;
    format->cbSize = static_cast<WORD>(config_length);
    std::memcpy(block + sizeof(WAVEFORMATEX), config, config_length);

    type->SetType(MEDIATYPE_Audio);
    type->SetSubtype(position == 0 ? MEDIASUBTYPE_RAW_AAC1 : MEDIASUBTYPE_PrivateAAC);
    type->SetFormatType(FORMAT_WaveFormatEx);
    type->SetTemporalCompression(TRUE);
    type->SetSampleSize(4);
    return S_OK;
}
