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

// The end of the last sample, fragments included: the media header of a
// fragmented file covers only the samples of `moov`, if it is not 0.
uint32_t CAmrStream::TrackDuration(const MediaHeaderInfo&, uint64_t* duration) {
    return bxf_play_get_track_duration(play_, track_, 1, duration);
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

// By decode time: the sample holding the instant before the start. A sync
// sample (every AMR sample is one, unless the file says otherwise) is
// delivered first and stamped at the segment start, although it begins a
// little before it; otherwise delivery goes back to the sync sample before
// it, stamped before the segment. With nothing found, from the beginning.
void CAmrStream::Reposition(int64_t start) {
    next_decode_time_ = 0;
    sample_end_ = 0;
    if (start <= 0) return;  // nothing lies before the instant 0
    uint64_t time = 0;
    SampleInfo info;
    if (bxf_play_get_sample_at_time(play_, track_, static_cast<uint64_t>(start), 0, 0, &time, &info) != BXF_RET_OK)
        return;
    if (info.is_sync) {
        next_decode_time_ = time;
        return;
    }
    uint64_t sync_time = 0;
    if (bxf_play_find_sync_time_near(play_, track_, time, 1, 0, &sync_time) != BXF_RET_OK) return;
    next_decode_time_ = sync_time;
    sample_end_ = static_cast<int64_t>(sync_time) - start;
}

HRESULT CAmrStream::FillPayload(BYTE* buffer, long capacity, long* length) {
    if (!BeforeStop(sample_end_)) return EndOfData(true);
    uint64_t time = 0;
    SampleInfo info;
    uint32_t code = bxf_play_get_sample_at_time(play_, track_, next_decode_time_, 1, 0, &time, &info);
    if (code == BXF_RET_NOTFOUND) return EndOfData(false);
    if (code != BXF_RET_OK) return E_FAIL;
    // A sample of no duration holds no time after its start: walking by time
    // would find it again and again.
    if (info.duration == 0) return E_FAIL;
    // Past the sample before the checks, so that one that cannot be read is
    // not asked for again.
    next_decode_time_ = time + info.duration;
    if (info.size > static_cast<uint64_t>(capacity)) return E_FAIL;
    if (FAILED(host_->ReadAt(info.offset, info.size, buffer))) return E_FAIL;
    *length = static_cast<long>(info.size);
    sample_start_ = sample_end_;
    sample_end_ += info.duration;
    return S_OK;
}
