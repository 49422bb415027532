#include "lpcm_stream.h"

#include <mmreg.h>
#include <dshow.h>

#include <utility>

#include "track_descriptions.h"

CLpcmStream::CLpcmStream(HRESULT* result, CStreamHost* host, const wchar_t* name, PlayHandle* play, uint32_t track)
    : CTrackStream(result, host, name, play, track, StreamSide::Audio, kBufferBytes) {}

bool CLpcmStream::IsOwnType(const GUID& major, const GUID& subtype) const {
    return major == MEDIATYPE_Audio && subtype == MEDIASUBTYPE_PCM;
}

HRESULT CLpcmStream::BuildMediaType(int, CMediaType* type) {
    TrackDescriptions descriptions(play_, track_);
    AudioEntryInfo entry;
    if (!descriptions.Get() || bxf_get_audio_entry(play_, descriptions.Get(), 1, &entry) != BXF_RET_OK)
        return E_UNEXPECTED;
    // Byte-order conversion works on whole bytes, and a frame needs a channel.
    if (entry.sample_size < 8 || entry.channel_count == 0) return E_UNEXPECTED;
    channels_ = entry.channel_count;
    sample_rate_ = entry.sample_rate_integer;
    bits_per_sample_ = entry.sample_size;

    auto* format = reinterpret_cast<WAVEFORMATEX*>(type->AllocFormatBuffer(sizeof(WAVEFORMATEX)));
    if (!format) return E_OUTOFMEMORY;
    format->wFormatTag = WAVE_FORMAT_PCM;
    format->nChannels = static_cast<WORD>(channels_);
    format->nSamplesPerSec = sample_rate_;
    format->wBitsPerSample = static_cast<WORD>(bits_per_sample_);
    format->nBlockAlign = static_cast<WORD>(bits_per_sample_ / 8 * channels_);
    format->nAvgBytesPerSec = static_cast<DWORD>(format->nBlockAlign) * sample_rate_;
    format->cbSize = 0;

    type->SetType(MEDIATYPE_Audio);
    type->SetSubtype(MEDIASUBTYPE_PCM);
    type->SetVariableSize();
    type->SetTemporalCompression(FALSE);
    type->SetFormatType(FORMAT_WaveFormatEx);
    return S_OK;
}

void CLpcmStream::ConvertBytes(BYTE* bytes, uint32_t size) {
    uint32_t width = bits_per_sample_ / 8;
    if (width != 2 && width != 3) return;  // one byte, or widths PCM does not reorder
    for (uint32_t at = 0; at + width <= size; at += width) std::swap(bytes[at], bytes[at + width - 1]);
}

// Consecutive samples until 1024 frames are gathered or the track ends; the
// partial last buffer is delivered and the next fill ends the stream.
HRESULT CLpcmStream::FillPayload(BYTE* buffer, long capacity, long* length) {
    // 64-bit: a hostile channel count and sample size must not wrap it to 0.
    const uint64_t limit = uint64_t{channels_} * bits_per_sample_ * kFramesPerBuffer / 8;
    sample_start_ = sample_end_;
    uint32_t gathered = 0;
    while (gathered < limit) {
        SampleInfo info;
        uint32_t code = ReadNextSample(buffer, capacity, static_cast<long>(gathered), &info);
        if (code == BXF_RET_NOTFOUND) {
            if (gathered > 0) break;
            return EndOfData();
        }
        if (code != BXF_RET_OK) return E_FAIL;
        ConvertBytes(buffer + gathered, info.size);
        gathered += info.size;
    }
    *length = static_cast<long>(gathered);
    return S_OK;
}
