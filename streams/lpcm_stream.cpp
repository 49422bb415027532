#include "lpcm_stream.h"

#include <mmreg.h>
#include <dshow.h>

#include "track_descriptions.h"

namespace {

// WAVE_FORMAT_EXTENSIBLE's extra bytes after the WAVEFORMATEX.
constexpr WORD kExtensibleExtraBytes = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);

}  // namespace

CLpcmStream::CLpcmStream(HRESULT* result, CStreamHost* host, const wchar_t* name, PlayHandle* play, uint32_t track)
    : CTrackStream(result, host, name, play, track, StreamSide::Audio, kBufferBytes) {}

bool CLpcmStream::IsOwnType(const GUID& major, const GUID& subtype) const {
    return major == MEDIATYPE_Audio && (subtype == MEDIASUBTYPE_PCM || subtype == MEDIASUBTYPE_IEEE_FLOAT);
}

// Integer values of more than 16 bits and more than two channels take
// WAVE_FORMAT_EXTENSIBLE, with the sub-format and the channel mask; float
// mono and stereo are plain IEEE float.
HRESULT CLpcmStream::BuildMediaType(int, CMediaType* type) {
    TrackDescriptions descriptions(play_, track_);
    PcmFormat format;
    if (!descriptions.Get() || !descriptions.Get()->head || !DescribePcm(*descriptions.Get()->head, &format))
        return E_UNEXPECTED;
    format_ = format;
    const WORD bits = static_cast<WORD>(format.bytes_per_value * 8);
    const bool extensible = format.channels > 2 || (!format.is_float && bits > 16);
    const GUID& subtype = format.is_float ? MEDIASUBTYPE_IEEE_FLOAT : MEDIASUBTYPE_PCM;

    const ULONG size = extensible ? sizeof(WAVEFORMATEXTENSIBLE) : sizeof(WAVEFORMATEX);
    auto* wave = reinterpret_cast<WAVEFORMATEX*>(type->AllocFormatBuffer(size));
    if (!wave) return E_OUTOFMEMORY;
    wave->wFormatTag = format.is_float ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM;
    wave->nChannels = static_cast<WORD>(format.channels);
    wave->nSamplesPerSec = format.sample_rate;
    wave->wBitsPerSample = bits;
    wave->nBlockAlign = static_cast<WORD>(format.FrameBytes());
    wave->nAvgBytesPerSec = static_cast<DWORD>(wave->nBlockAlign) * format.sample_rate;
    wave->cbSize = 0;
    if (extensible) {
        auto* ext = reinterpret_cast<WAVEFORMATEXTENSIBLE*>(wave);
        wave->wFormatTag = WAVE_FORMAT_EXTENSIBLE;
        wave->cbSize = kExtensibleExtraBytes;
        ext->Samples.wValidBitsPerSample = bits;
        ext->dwChannelMask = format.channel_mask;
        ext->SubFormat = subtype;  // KSDATAFORMAT_SUBTYPE_PCM / _IEEE_FLOAT are these GUIDs
    }

    type->SetType(MEDIATYPE_Audio);
    type->SetSubtype(subtype);
    type->SetVariableSize();
    type->SetTemporalCompression(FALSE);
    type->SetFormatType(FORMAT_WaveFormatEx);
    return S_OK;
}

void CLpcmStream::ConvertBytes(BYTE* bytes, uint32_t size) { ConvertPcmValues(format_, bytes, size); }

// Consecutive samples until 1024 frames are gathered or the track ends; the
// partial last buffer is delivered and the next fill ends the stream.
HRESULT CLpcmStream::FillPayload(BYTE* buffer, long capacity, long* length) {
    const uint64_t limit = uint64_t{format_.FrameBytes()} * kFramesPerBuffer;
    sample_start_ = sample_end_;
    uint32_t gathered = 0;
    while (gathered < limit) {
        SampleInfo info;
        uint32_t code = ReadNextSample(buffer, capacity, static_cast<long>(gathered), &info);
        if (code == BXF_RET_NOTFOUND) {
            if (gathered > 0) break;
            host_->SetEnded(Side());
            return S_FALSE;
        }
        if (code != BXF_RET_OK) return E_FAIL;
        ConvertBytes(buffer + gathered, info.size);
        gathered += info.size;
    }
    *length = static_cast<long>(gathered);
    return S_OK;
}
