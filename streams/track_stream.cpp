#include "track_stream.h"

#include <vfwmsgs.h>

#include "media_time.h"
#include "source.h"

CTrackStream::CTrackStream(HRESULT* result, CStreamHost* host, const wchar_t* name, PlayHandle* play, uint32_t track,
                           StreamSide side, long buffer_size)
    : CSourceStream(nullptr, result, host->SourceFilter(), name),
      CSourceSeeking(nullptr, nullptr, result, &m_PinLock),
      host_(host),
      play_(play),
      track_(track),
      side_(side),
      buffer_size_(buffer_size) {}

CTrackStream::~CTrackStream() = default;

HRESULT STDMETHODCALLTYPE CTrackStream::NonDelegatingQueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IMediaSeeking) return host_->QuerySeeking(iid, out);
    return CSourceStream::NonDelegatingQueryInterface(iid, out);
}

HRESULT STDMETHODCALLTYPE CTrackStream::Notify(IBaseFilter*, Quality) { return E_NOTIMPL; }

int64_t CTrackStream::ToMediaTime(int64_t units) const { return TrackToMediaTime(units, time_scale_); }

HRESULT CTrackStream::GetMediaType(int position, CMediaType* type) {
    if (!type) return E_POINTER;
    if (position < 0) return E_INVALIDARG;
    if (position >= MediaTypeCount()) return VFW_S_NO_MORE_ITEMS;
    CAutoLock lock(lock_);
    MediaHeaderInfo header;
    uint32_t count = 0;
    // A time scale of 0 gives no time to any sample: such a track cannot play.
    if (bxf_get_media_header(play_, track_, &header) != BXF_RET_OK || header.time_scale == 0) return E_UNEXPECTED;
    if (bxf_play_get_sample_count(play_, track_, &count) != BXF_RET_OK) return E_UNEXPECTED;
    time_scale_ = header.time_scale;
    sample_count_ = count;
    uint64_t duration = 0;
    if (TrackDuration(header, &duration) != BXF_RET_OK) return E_UNEXPECTED;
    {
        CAutoLock seeking(&m_PinLock);
        m_rtDuration = m_rtStop =
            TrackToMediaTime(static_cast<int64_t>(duration > INT64_MAX ? INT64_MAX : duration), time_scale_);
    }
    return BuildMediaType(position, type);
}

HRESULT CTrackStream::CheckMediaType(const CMediaType* type) {
    if (!type) return E_POINTER;
    CAutoLock lock(lock_);
    bool ours = IsOwnType(type->majortype, type->subtype) && type->cbFormat != 0 && type->pbFormat != nullptr;
    return ours ? S_OK : E_INVALIDARG;
}

HRESULT CTrackStream::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    if (!allocator || !request) return E_POINTER;
    CAutoLock lock(lock_);
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = 1;
    wanted.cbBuffer = buffer_size_;
    ALLOCATOR_PROPERTIES granted = {};
    HRESULT hr = allocator->SetProperties(&wanted, &granted);
    if (FAILED(hr)) return hr;
    return granted.cbBuffer < buffer_size_ ? E_FAIL : S_OK;
}

bool CTrackStream::IsStopRequested() {
    DWORD command = 0;
    return CheckRequest(&command) && command == CMD_STOP;
}

HRESULT CTrackStream::OnThreadCreate() {
    {
        CAutoLock lock(&m_PinLock);
        sample_start_ = sample_end_ = media_time_base_ = 0;
        sample_counter_ = 0;
    }
    host_->SetActive(side_, true);
    return S_OK;
}

HRESULT CTrackStream::OnThreadDestroy() {
    CAutoLock lock(&m_PinLock);
    host_->SetActive(side_, false);
    return S_OK;
}

void CTrackStream::Reposition(int64_t start) {
    // The sample holding the pin's lookup time - 1 (the start itself unless
    // the pin says otherwise).
    uint32_t is_sync = 0, number = 0;
    uint64_t time = 0;
    if (start <= 0 || bxf_play_find_sample_at_time(play_, track_, StartLookupTime(start), 0, &is_sync, &number,
                                                   &time) != BXF_RET_OK) {
        // Nothing holds the time: before the first sample play from it (a
        // negative start puts it after the segment start); past the last, end.
        sample_end_ = start < 0 ? -start : 0;
        sample_counter_ = start <= 0 ? 0 : sample_count_;
        return;
    }
    // A track switch keeps the segment where it is.
    if (resume_from_ < 0) OnStartSampleFound(time, &start);
    if (!is_sync) {
        uint32_t sync_number = 0;
        uint64_t sync_time = 0;
        if (bxf_play_find_sync_sample(play_, track_, number, 0, &sync_number, &sync_time) != BXF_RET_OK) {
            sample_end_ = EndWhenNoSyncBefore(start);
            sample_counter_ = 0;
            return;
        }
        number = sync_number;
        time = sync_time;
    }
    // 0 or negative: data before the start is stamped before the segment.
    sample_end_ = static_cast<int64_t>(time) - start;
    sample_counter_ = number - 1;
}

HRESULT CTrackStream::OnThreadStartPlay() {
    CAutoLock lock(host_->StreamingLock());
    REFERENCE_TIME segment_start = 0;
    {
        CAutoLock seeking(&m_PinLock);
        segment_start = m_rtStart;
    }
    if (resume_from_ >= 0) {
        // After a track switch: where the track before it had come to.
        Reposition(MediaToTrackTime(segment_start + resume_from_, time_scale_));
        sample_end_ += MediaToTrackTime(resume_from_, time_scale_);
        resume_from_ = -1;
    } else {
        Reposition(MediaToTrackTime(StartToFind(segment_start), time_scale_));
    }
    discontinuity_ = 1;
    sample_start_ = 0;
    media_time_base_ = m_rtStart;
    ResetFormatState();
    return DeliverNewSegment(m_rtStart, m_rtStop, m_dRateSeeking);
}

uint32_t CTrackStream::ReadNextSample(BYTE* buffer, long capacity, long offset, SampleInfo* info) {
    uint32_t code = bxf_play_get_sample_info(play_, track_, sample_counter_ + 1, 0, info);
    if (code != BXF_RET_OK) return code;
    if (info->size > static_cast<uint64_t>(capacity - offset)) return BXF_RET_FILE;
    if (FAILED(host_->ReadAt(info->offset, info->size, buffer + offset))) return BXF_RET_FILE;
    ++sample_counter_;
    sample_end_ += info->duration;
    return BXF_RET_OK;
}

HRESULT CTrackStream::FillPayload(BYTE* buffer, long capacity, long* length) {
    SampleInfo info;
    sample_start_ = sample_end_;
    uint32_t code = ReadNextSample(buffer, capacity, 0, &info);
    if (code == BXF_RET_NOTFOUND) {
        host_->SetEnded(side_);
        return S_FALSE;
    }
    if (code != BXF_RET_OK) return E_FAIL;
    ConvertBytes(buffer, info.size);
    *length = static_cast<long>(info.size);
    return S_OK;
}

HRESULT CTrackStream::FillBuffer(IMediaSample* sample) {
    if (host_->Pace(side_, ToMediaTime(sample_end_), this)) return S_FALSE;
    CAutoLock lock(host_->StreamingLock());
    BYTE* buffer = nullptr;
    if (FAILED(sample->GetPointer(&buffer)) || !buffer) return E_FAIL;
    long capacity = sample->GetSize();
    // A stop equal to the start still delivers the buffer at the start.
    if (m_rtStop - m_rtStart < ToMediaTime(sample_end_)) {
        host_->SetEnded(side_);
        return S_FALSE;
    }
    long length = 0;
    HRESULT hr = FillPayload(buffer, capacity, &length);
    if (hr != S_OK) return hr;

    sample->SetActualDataLength(length);
    const int64_t shift = StampShift();
    REFERENCE_TIME start = StampAtRate(ToMediaTime(shift + sample_start_), m_dRateSeeking);
    REFERENCE_TIME stop = StampAtRate(ToMediaTime(shift + sample_end_), m_dRateSeeking);
    sample->SetTime(&start, &stop);
    REFERENCE_TIME media_start = start + media_time_base_;
    REFERENCE_TIME media_stop = stop + media_time_base_;
    sample->SetMediaTime(&media_start, &media_stop);
    sample->SetSyncPoint(IsSyncPoint() ? TRUE : FALSE);
    if (type_changed_) {
        sample->SetMediaType(const_cast<CMediaType*>(&CurrentMediaType()));
        type_changed_ = false;
    }
    sample->SetDiscontinuity(discontinuity_ != 0);
    discontinuity_ = 0;
    ++delivered_;
    return S_OK;
}

// Downstream drops what it holds, the worker leaves its loop, and starts
// again from the new position with a new segment.
void CTrackStream::Restart() {
    if (!ThreadExists()) return;
    DeliverBeginFlush();
    CallWorker(CMD_STOP);
    DeliverEndFlush();
    CallWorker(CMD_RUN);
}

HRESULT CTrackStream::ChangeStart() {
    Restart();
    return S_OK;
}

HRESULT CTrackStream::ChangeStop() {
    Restart();
    return S_OK;
}

HRESULT CTrackStream::ChangeRate() {
    {
        CAutoLock lock(&m_PinLock);
        if (!(m_dRateSeeking > 0)) {  // NaN too
            m_dRateSeeking = 1.0;
            return E_FAIL;
        }
    }
    Restart();
    return S_OK;
}
