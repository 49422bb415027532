#include "track_stream.h"

#include <vfwmsgs.h>

#include <algorithm>
#include <new>

#include "media_time.h"
#include "source.h"
#include "track_timing.h"

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

REFERENCE_TIME CTrackStream::OwnTime(int64_t units) const {
    if (!edit_.applied) return TrackToMediaTime(units, time_scale_);
    const int64_t from_start = ClampToInt64(static_cast<__int128>(units) - edit_units_);
    return ClampToInt64(static_cast<__int128>(TrackToMediaTime(from_start, time_scale_)) + edit_.delay);
}

int64_t CTrackStream::OwnToUnits(REFERENCE_TIME time) const {
    if (!edit_.applied) return MediaToTrackTime(time, time_scale_);
    const int64_t shown = ClampToInt64(static_cast<__int128>(time) - edit_.delay);
    return ClampToInt64(static_cast<__int128>(MediaToTrackTime(shown, time_scale_)) + edit_units_);
}

REFERENCE_TIME CTrackStream::FirstTime() const {
    return OwnTime(std::max(first_decode_ + first_stamp_offset_, edit_units_));
}

REFERENCE_TIME CTrackStream::EndTime() const {
    const REFERENCE_TIME end = OwnTime(end_decode_);
    return edit_.applied && edit_.length > 0 ? std::min(end, edit_.delay + edit_.length) : end;
}

REFERENCE_TIME CTrackStream::StreamTime(int64_t units) const {
    const int64_t at = ClampToInt64(static_cast<__int128>(start_units_) + units);
    return ClampToInt64(static_cast<__int128>(OwnTime(at)) + timeline_shift_ - media_time_base_);
}

bool CTrackStream::BeforeStop(int64_t units) {
    const REFERENCE_TIME own = OwnTime(ClampToInt64(static_cast<__int128>(start_units_) + units));
    // The track ends where its edit ends.
    if (edit_.applied && edit_.length > 0 && own >= edit_.delay + edit_.length) return false;
    const REFERENCE_TIME at = ClampToInt64(static_cast<__int128>(own) + timeline_shift_);
    CAutoLock lock(&m_PinLock);
    // A stop at or past the track's duration plays it to its last sample,
    // whatever the header's duration says of the samples' own times.
    return at < m_rtStop || m_rtStop >= m_rtDuration;
}

bool CTrackStream::NeededBeforeStop(const SampleInfo& info) {
    if (!StampsCompositionOffsets()) return BeforeStop(FromStart(info));
    const int64_t composition = static_cast<int32_t>(info.composition_offset);
    lowest_composition_ = std::min(lowest_composition_, composition);
    return BeforeStop(FromStart(info) + composition - CompositionAtDecodeTime()) || LaterSamplePresentsBeforeStop();
}

bool CTrackStream::LaterSamplePresentsBeforeStop() {
    // Samples looked at past one presented at or after the stop for one that
    // presents before it: more than any reordering depth H.264 or HEVC allows.
    constexpr uint32_t kStopLookAhead = 64;
    for (uint32_t n = sample_counter_ + 2; n - (sample_counter_ + 2) < kStopLookAhead; ++n) {
        SampleInfo info;
        if (bxf_play_get_sample_info(play_, track_, n, 0, &info) != BXF_RET_OK) return false;
        const int64_t composition = static_cast<int32_t>(info.composition_offset);
        lowest_composition_ = std::min(lowest_composition_, composition);
        const int64_t decode = FromStart(info) - CompositionAtDecodeTime();
        if (!BeforeStop(decode + lowest_composition_)) return false;
        if (BeforeStop(decode + composition)) return true;
    }
    return false;
}

REFERENCE_TIME CTrackStream::NominalFrameTime() const {
    constexpr REFERENCE_TIME kWithoutDurations = 330000;
    return typical_duration_ ? NearestMediaTime(typical_duration_, time_scale_) : kWithoutDurations;
}

HRESULT CTrackStream::EndOfData() {
    {
        CAutoLock lock(&m_PinLock);
        ended_at_stop_ = stop_reached_ ? m_rtStop : MAX_TIME;
    }
    host_->SetEnded(side_);
    return S_FALSE;
}

void CTrackStream::Prepare() {
    CAutoLock lock(host_->StreamingLock());
    prepared_ = ReadTimeFacts();
    if (FAILED(prepared_)) return;
    SetTimeline(FirstTime(), EndTime() - FirstTime());
    prepared_ = BuildTypes();
}

HRESULT CTrackStream::ReadTimeFacts() {
    MediaHeaderInfo header;
    uint32_t count = 0;
    uint64_t first = 0, end = 0;
    // A time scale of 0 gives no time to any sample: such a track cannot play.
    if (bxf_get_media_header(play_, track_, &header) != BXF_RET_OK || header.time_scale == 0 ||
        bxf_play_get_sample_count(play_, track_, &count) != BXF_RET_OK)
        return E_UNEXPECTED;
    // The samples' own times, fragments included; none for an empty track.
    const uint32_t code = bxf_play_get_track_timeline(play_, track_, &first, &end);
    if (code != BXF_RET_OK && code != BXF_RET_NOTFOUND) return E_UNEXPECTED;
    time_scale_ = header.time_scale;
    sample_count_ = count;
    edit_ = ReadTrackEdit(play_, track_);
    edit_units_ = edit_.applied && EditMovesSampleTimes() ? edit_.media_start : 0;
    SampleInfo first_sample;
    first_stamp_offset_ = 0;
    if (StampsCompositionOffsets() && bxf_play_get_sample_info(play_, track_, 1, 0, &first_sample) == BXF_RET_OK)
        first_stamp_offset_ = static_cast<int32_t>(first_sample.composition_offset) - CompositionAtDecodeTime();
    first_decode_ = static_cast<int64_t>(std::min<uint64_t>(first, INT64_MAX));
    end_decode_ = static_cast<int64_t>(std::min<uint64_t>(std::max(first, end), INT64_MAX));
    try {
        typical_duration_ = MostCommonSampleDuration(play_, track_, first);
        bit_rate_ = TrackBitRate(play_, track_, time_scale_, first, end);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT CTrackStream::BuildTypes() {
    if (MediaTypeCount() > kMaxMediaTypes) return E_UNEXPECTED;
    try {
        for (int position = 0; position < MediaTypeCount(); ++position) {
            const HRESULT hr = BuildMediaType(position, &types_[position]);
            if (FAILED(hr)) return hr;
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

void CTrackStream::SetTimeline(REFERENCE_TIME origin, REFERENCE_TIME duration) {
    CAutoLock seeking(&m_PinLock);
    timeline_shift_ = -origin;
    m_rtDuration = m_rtStop = duration;
}

HRESULT CTrackStream::GetMediaType(int position, CMediaType* type) {
    if (!type) return E_POINTER;
    if (position < 0) return E_INVALIDARG;
    if (position >= MediaTypeCount()) return VFW_S_NO_MORE_ITEMS;
    if (FAILED(prepared_)) return prepared_;
    return type->Set(types_[position]);
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
        sample_start_ = sample_end_ = media_time_base_ = start_units_ = 0;
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
    if (start <= first_decode_ || bxf_play_find_sample_at_time(play_, track_, StartLookupTime(start), 0, &is_sync,
                                                               &number, &time) != BXF_RET_OK) {
        // Nothing holds the time: before the first sample play from it (an
        // earlier start puts it after the segment start); past the last, end:
        // no sample has the largest number.
        const bool before = start <= first_decode_;
        sample_end_ = before ? first_decode_ - start : 0;
        sample_counter_ = before ? 0 : UINT32_MAX - 1;
        return;
    }
    // A track switch keeps the segment where it is.
    if (resume_from_ < 0) OnStartSampleFound(time, &start);
    start_units_ = start;
    if (!is_sync) {
        uint32_t sync_number = 0;
        uint64_t sync_time = 0;
        if (bxf_play_find_sync_sample(play_, track_, number, 0, &sync_number, &sync_time) != BXF_RET_OK) {
            sample_end_ = FirstSampleAtItsTime() ? first_decode_ - start : 0;
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
    stop_reached_ = false;
    lowest_composition_ = 0;
    // After a track switch: where the track before it had come to.
    const REFERENCE_TIME from = resume_from_ >= 0 ? segment_start + resume_from_ : StartToFind(segment_start);
    start_units_ = OwnToUnits(from - timeline_shift_);
    Reposition(start_units_);
    resume_from_ = -1;
    discontinuity_ = 1;
    sample_start_ = 0;
    ResetFormatState();
    REFERENCE_TIME stop = 0;
    double rate = 1.0;
    {
        CAutoLock seeking(&m_PinLock);
        media_time_base_ = m_rtStart;  // a pin may have moved it to the sample holding it
        stop = m_rtStop;
        rate = m_dRateSeeking;
        ended_at_stop_ = MAX_TIME;
    }
    return DeliverNewSegment(media_time_base_, stop, rate);
}

int64_t CTrackStream::FromStart(const SampleInfo& info) const {
    return ClampToInt64(static_cast<__int128>(info.decode_time) - start_units_);
}

uint32_t CTrackStream::ReadNextSample(BYTE* buffer, long capacity, long offset, SampleInfo* info) {
    uint32_t code = bxf_play_get_sample_info(play_, track_, sample_counter_ + 1, 0, info);
    if (code != BXF_RET_OK) return code;
    if (!NeededBeforeStop(*info)) {
        stop_reached_ = true;
        return BXF_RET_NOTFOUND;
    }
    if (info->size > static_cast<uint64_t>(capacity - offset)) return BXF_RET_FILE;
    if (FAILED(host_->ReadAt(info->offset, info->size, buffer + offset))) return BXF_RET_FILE;
    ++sample_counter_;
    sample_end_ = FromStart(*info) + info->duration;
    return BXF_RET_OK;
}

HRESULT CTrackStream::FillPayload(BYTE* buffer, long capacity, long* length) {
    SampleInfo info;
    uint32_t code = ReadNextSample(buffer, capacity, 0, &info);
    if (code == BXF_RET_NOTFOUND) return EndOfData();
    if (code != BXF_RET_OK) return E_FAIL;
    sample_start_ = FromStart(info);
    ConvertBytes(buffer, info.size);
    *length = static_cast<long>(info.size);
    return S_OK;
}

HRESULT CTrackStream::FillBuffer(IMediaSample* sample) {
    if (host_->Pace(side_, StreamTime(sample_end_), this)) return S_FALSE;
    CAutoLock lock(host_->StreamingLock());
    BYTE* buffer = nullptr;
    if (FAILED(sample->GetPointer(&buffer)) || !buffer) return E_FAIL;
    long capacity = sample->GetSize();
    long length = 0;
    HRESULT hr = FillPayload(buffer, capacity, &length);
    if (hr != S_OK) return hr;

    sample->SetActualDataLength(length);
    const int64_t shift = StampShift();
    REFERENCE_TIME start = StampAtRate(StreamTime(shift + sample_start_), m_dRateSeeking);
    REFERENCE_TIME stop = StampAtRate(StreamTime(shift + sample_end_), m_dRateSeeking);
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

// A stop ahead of the data still to come takes effect at the next sample
// without a flush; a stream that ended at an earlier stop starts again.
HRESULT CTrackStream::ChangeStop() {
    bool ended_before = false;
    {
        CAutoLock lock(&m_PinLock);
        ended_before = ended_at_stop_ < m_rtStop;
    }
    if (ended_before) Restart();
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
