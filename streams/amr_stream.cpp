#include "amr_stream.h"

#include <dshow.h>

#include <mmreg.h>

#include "stream_guids.h"
#include "track_descriptions.h"

CAmrStream::CAmrStream(HRESULT* result, CStreamHost* host, const wchar_t* name, PlayHandle* play, uint32_t track)
    : CTrackStream(result, host, name, play, track, StreamSide::Audio, kBufferBytes) {}

bool CAmrStream::IsOwnType(const GUID& major, const GUID& subtype) const {
    return major == MEDIATYPE_Audio && subtype == MEDIASUBTYPE_SAMR;
}

// The sample entry's channel count, rate and sample size in a PCM-shaped
// WAVEFORMATEX: an AMR decoder takes what it needs from the subtype.
HRESULT CAmrStream::BuildMediaType(int, CMediaType* type) {
    TrackDescriptions descriptions(play_, track_);
    AudioEntryInfo entry;
    if (!descriptions.Get() || bxf_get_audio_entry(play_, descriptions.Get(), 1, &entry) != BXF_RET_OK)
        return E_UNEXPECTED;

    auto* format = reinterpret_cast<WAVEFORMATEX*>(type->AllocFormatBuffer(sizeof(WAVEFORMATEX)));
    if (!format) return E_OUTOFMEMORY;
    format->wFormatTag = WAVE_FORMAT_PCM;
    format->nChannels = static_cast<WORD>(entry.channel_count);
    format->nSamplesPerSec = entry.sample_rate_integer;
    format->wBitsPerSample = static_cast<WORD>(entry.sample_size);
    format->nBlockAlign = static_cast<WORD>(entry.sample_size / 8 * entry.channel_count);
    format->nAvgBytesPerSec = static_cast<DWORD>(format->nBlockAlign) * entry.sample_rate_integer;
    format->cbSize = 0;

    type->SetType(MEDIATYPE_Audio);
    type->SetSubtype(MEDIASUBTYPE_SAMR);
    type->SetVariableSize();
    type->SetTemporalCompression(FALSE);
    type->SetFormatType(FORMAT_WaveFormatEx);
    return S_OK;
}

// The sample holding the instant before the start. A sync sample (every AMR
// sample is one, unless the file says otherwise) is delivered first and
// stamped at the segment start, although it begins a little before it;
// otherwise delivery goes back to the sync sample before it, stamped before
// the segment. With nothing found, from the first sample.
void CAmrStream::Reposition(int64_t start) {
    stamp_shift_ = 0;
    uint32_t is_sync = 0, number = 0;
    uint64_t time = 0;
    if (start > first_decode_ &&
        bxf_play_find_sample_at_time(play_, track_, static_cast<uint64_t>(start), 0, &is_sync, &number, &time) ==
            BXF_RET_OK &&
        is_sync) {
        sample_counter_ = number - 1;
        sample_end_ = static_cast<int64_t>(time) - start;
        stamp_shift_ = -sample_end_;
        return;
    }
    CTrackStream::Reposition(start);
}
