#include "recording_sink.h"

#include <evcode.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

#include "fnv1a.h"
#include "sink_enumerators.h"

namespace {

std::chrono::milliseconds Millis(DWORD ms) { return std::chrono::milliseconds(ms); }

// The longest a paced sample waits between looks at the clock: a clock that
// jumps (a graph seeking, a clock being replaced) is noticed this soon.
constexpr LONGLONG kLongestClockWait100ns = 50 * 10000;

}  // namespace

const char* SinkEventKindName(SinkEventKind kind) {
    switch (kind) {
        case SinkEventKind::kSample:
            return "sample";
        case SinkEventKind::kNewSegment:
            return "new_segment";
        case SinkEventKind::kBeginFlush:
            return "begin_flush";
        case SinkEventKind::kEndFlush:
            return "end_flush";
        case SinkEventKind::kEndOfStream:
            return "end_of_stream";
    }
    return "unknown";
}

LONGLONG QpcNow() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double QpcSeconds(LONGLONG ticks) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

HRESULT RecordingSink::Create(const wchar_t* name, RecordingSink** out) {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) RecordingSink(name ? name : L"");
    return *out ? S_OK : E_OUTOFMEMORY;
}

RecordingSink::RecordingSink(const wchar_t* name) : pin_(this), name_(name) {}

RecordingSink::~RecordingSink() = default;

// --- Recording API ---

std::vector<SinkEvent> RecordingSink::Events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
}

size_t RecordingSink::EventCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_.size();
}

std::vector<uint8_t> RecordingSink::Bytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytes_;
}

void RecordingSink::KeepBytes(bool keep) {
    std::lock_guard<std::mutex> lock(mutex_);
    keep_bytes_ = keep;
}

void RecordingSink::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.clear();
    bytes_.clear();
    at_end_of_stream_ = false;
    have_position_ = false;
    samples_counted_ = bytes_counted_ = 0;
    first_sample_qpc_ = 0;
    changed_.notify_all();
}

int RecordingSink::CompletionsSent() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return completions_sent_;
}

bool RecordingSink::WaitForEndOfStream(DWORD ms) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, Millis(ms), [this] { return at_end_of_stream_; });
}

bool RecordingSink::WaitForEvents(size_t count, DWORD ms) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, Millis(ms), [this, count] { return events_.size() >= count; });
}

bool RecordingSink::WaitForMediaPosition(REFERENCE_TIME position, DWORD ms) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, Millis(ms), [this, position] { return have_position_ && position_ >= position; });
}

bool RecordingSink::MediaPosition(REFERENCE_TIME* position) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (have_position_ && position) *position = position_;
    return have_position_;
}

void RecordingSink::RecordSamples(bool record) {
    std::lock_guard<std::mutex> lock(mutex_);
    record_samples_ = record;
}

long long RecordingSink::SamplesCounted() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return samples_counted_;
}

long long RecordingSink::BytesCounted() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytes_counted_;
}

LONGLONG RecordingSink::FirstSampleQpc() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return first_sample_qpc_;
}

void RecordingSink::SetReceiveResult(HRESULT hr) {
    std::lock_guard<std::mutex> lock(mutex_);
    receive_result_ = hr;
}

void RecordingSink::AskStopPositionAtEndOfStream(DWORD delay_ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    ask_stop_at_end_ = true;
    ask_stop_delay_ms_ = delay_ms;
}

void RecordingSink::SetReceiveDelay(DWORD ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    receive_delay_ms_ = ms;
}

// --- IUnknown ---

STDMETHODIMP RecordingSink::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IPersist || iid == IID_IMediaFilter || iid == IID_IBaseFilter) {
        *out = static_cast<IBaseFilter*>(this);
    } else if (iid == IID_IAMFilterMiscFlags) {
        *out = static_cast<IAMFilterMiscFlags*>(this);
    } else if (iid == IID_IMediaSeeking) {
        *out = static_cast<IMediaSeeking*>(this);
    } else {
        std::lock_guard<std::mutex> lock(mutex_);
        if (extra_ && iid == extra_iid_) return extra_->QueryInterface(iid, out);
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

void RecordingSink::OfferInterface(REFIID iid, IUnknown* object) {
    std::lock_guard<std::mutex> lock(mutex_);
    extra_iid_ = iid;
    extra_ = ComPtr<IUnknown>(object);
}

STDMETHODIMP_(ULONG) RecordingSink::AddRef() { return ++references_; }

STDMETHODIMP_(ULONG) RecordingSink::Release() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

// --- IPersist, IMediaFilter, IBaseFilter ---

STDMETHODIMP RecordingSink::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_KeloRecordingSink;
    return S_OK;
}

STDMETHODIMP RecordingSink::Stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = State_Stopped;
    at_end_of_stream_ = false;
    have_position_ = false;
    changed_.notify_all();
    return S_OK;
}

STDMETHODIMP RecordingSink::Pause() {
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = State_Paused;
    changed_.notify_all();
    return S_OK;
}

STDMETHODIMP RecordingSink::Run(REFERENCE_TIME start) {
    bool complete;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = State_Running;
        run_start_ = start;
        complete = at_end_of_stream_;
        changed_.notify_all();
    }
    if (complete) SendComplete();
    return S_OK;
}

STDMETHODIMP RecordingSink::GetState(DWORD, FILTER_STATE* state) {
    if (!state) return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    *state = state_;
    return S_OK;
}

STDMETHODIMP RecordingSink::SetSyncSource(IReferenceClock* clock) {
    ComPtr<IReferenceClock> previous;
    std::lock_guard<std::mutex> lock(mutex_);
    previous = std::exchange(clock_, ComPtr<IReferenceClock>(clock));
    changed_.notify_all();
    return S_OK;
}

STDMETHODIMP RecordingSink::GetSyncSource(IReferenceClock** clock) {
    if (!clock) return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    *clock = ComPtr<IReferenceClock>(clock_).Detach();
    return S_OK;
}

STDMETHODIMP RecordingSink::EnumPins(IEnumPins** pins) { return CreateSinglePinEnumerator(this, &pin_, pins); }

STDMETHODIMP RecordingSink::FindPin(LPCWSTR id, IPin** pin) {
    if (!id || !pin) return E_POINTER;
    if (wcscmp(id, SinkInputPin::kName) != 0) {
        *pin = nullptr;
        return VFW_E_NOT_FOUND;
    }
    *pin = &pin_;
    pin_.AddRef();
    return S_OK;
}

STDMETHODIMP RecordingSink::QueryFilterInfo(FILTER_INFO* info) {
    if (!info) return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    std::memset(info->achName, 0, sizeof info->achName);
    wcsncpy(info->achName, name_.c_str(), MAX_FILTER_NAME - 1);
    info->pGraph = graph_;
    if (graph_) graph_->AddRef();
    return S_OK;
}

STDMETHODIMP RecordingSink::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
    std::lock_guard<std::mutex> lock(mutex_);
    graph_ = graph;
    if (name) name_ = name;
    return S_OK;
}

STDMETHODIMP RecordingSink::QueryVendorInfo(LPWSTR* info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP_(ULONG) RecordingSink::GetMiscFlags() { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }

// --- The stream, as the pin passes it on ---

bool RecordingSink::IsStopped() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_ == State_Stopped;
}

HRESULT RecordingSink::WhyNotTaking() const {
    if (flushing_) return S_FALSE;
    if (state_ == State_Stopped) return VFW_E_WRONG_STATE;
    return S_OK;
}

SinkEvent RecordingSink::StampedEvent(SinkEventKind kind) const {
    SinkEvent event;
    event.kind = kind;
    event.arrival_qpc = QpcNow();
    event.thread_id = GetCurrentThreadId();
    return event;
}

void RecordingSink::Record(const SinkEvent& event) {
    events_.push_back(event);
    changed_.notify_all();
}

HRESULT RecordingSink::StreamReceive(IMediaSample* sample) {
    if (!sample) return E_POINTER;
    SinkEvent event = StampedEvent(SinkEventKind::kSample);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!record_samples_) return CountSample(sample, event.arrival_qpc);
        const HRESULT why_not = WhyNotTaking();
        if (why_not != S_OK) return why_not;
    }

    // Ask the sample everything before taking the lock: it may call out.
    event.time_result = sample->GetTime(&event.start, &event.stop);
    if (event.time_result == VFW_S_NO_STOP_TIME) event.stop = event.start;
    event.media_time_result = sample->GetMediaTime(&event.media_start, &event.media_stop);
    event.sync_point = sample->IsSyncPoint() == S_OK;
    event.discontinuity = sample->IsDiscontinuity() == S_OK;
    event.preroll = sample->IsPreroll() == S_OK;
    AM_MEDIA_TYPE* new_type = nullptr;
    if (sample->GetMediaType(&new_type) == S_OK && new_type) {
        event.media_type_changed = true;
        DeleteMediaType(new_type);
    }
    event.length = sample->GetActualDataLength();
    BYTE* data = nullptr;
    if (event.length < 0 || (event.length > 0 && (FAILED(sample->GetPointer(&data)) || !data))) return E_POINTER;
    event.hash = Fnv1a(data, static_cast<size_t>(event.length));

    std::unique_lock<std::mutex> lock(mutex_);
    const HRESULT wait = WaitToTake(event, lock);
    if (wait != S_OK) return wait;
    if (keep_bytes_) {
        event.byte_offset = bytes_.size();
        bytes_.insert(bytes_.end(), data, data + event.length);
    }
    if (event.HasStart()) {
        const REFERENCE_TIME end = event.HasStop() ? event.stop : event.start;
        const REFERENCE_TIME position = segment_start_ + static_cast<REFERENCE_TIME>(end * segment_rate_);
        position_ = have_position_ ? std::max(position_, position) : position;
        have_position_ = true;
    }
    Record(event);
    return receive_result_;
}

// With mutex_ held: the null sink's whole work (no clock, no delay).
HRESULT RecordingSink::CountSample(IMediaSample* sample, LONGLONG arrival_qpc) {
    const HRESULT why_not = WhyNotTaking();
    if (why_not != S_OK) return why_not;
    if (samples_counted_ == 0) first_sample_qpc_ = arrival_qpc;
    ++samples_counted_;
    bytes_counted_ += sample->GetActualDataLength();
    return receive_result_;
}

HRESULT RecordingSink::WaitToTake(const SinkEvent& sample, std::unique_lock<std::mutex>& lock) {
    if (receive_delay_ms_ > 0) {
        changed_.wait_for(lock, Millis(receive_delay_ms_), [this] { return WhyNotTaking() != S_OK; });
    }
    while (clock_ && sample.HasStart()) {
        const HRESULT why_not = WhyNotTaking();
        if (why_not != S_OK) return why_not;
        if (state_ == State_Paused) {  // a renderer holds its sample until Run
            changed_.wait(lock);
            continue;
        }
        ComPtr<IReferenceClock> clock = clock_;
        const REFERENCE_TIME due = run_start_ + sample.start;
        lock.unlock();
        REFERENCE_TIME now = 0;
        const HRESULT hr = clock->GetTime(&now);
        lock.lock();
        if (FAILED(hr) || now >= due) break;
        const LONGLONG wait = std::min(due - now, kLongestClockWait100ns);
        changed_.wait_for(lock, std::chrono::microseconds(wait / 10 + 1));
    }
    return WhyNotTaking();
}

HRESULT RecordingSink::StreamNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    SinkEvent event = StampedEvent(SinkEventKind::kNewSegment);
    event.time_result = S_OK;
    event.start = start;
    event.stop = stop;
    event.rate = rate;
    std::lock_guard<std::mutex> lock(mutex_);
    segment_start_ = start;
    segment_rate_ = rate;
    Record(event);
    return S_OK;
}

HRESULT RecordingSink::StreamBeginFlush() {
    const SinkEvent event = StampedEvent(SinkEventKind::kBeginFlush);
    std::lock_guard<std::mutex> lock(mutex_);
    flushing_ = true;
    at_end_of_stream_ = false;
    have_position_ = false;
    Record(event);  // also wakes a Receive that waits
    return S_OK;
}

HRESULT RecordingSink::StreamEndFlush() {
    const SinkEvent event = StampedEvent(SinkEventKind::kEndFlush);
    std::lock_guard<std::mutex> lock(mutex_);
    flushing_ = false;
    Record(event);
    return S_OK;
}

HRESULT RecordingSink::StreamEndOfStream() {
    SinkEvent event = StampedEvent(SinkEventKind::kEndOfStream);
    bool complete = false;
    bool ask_stop = false;
    DWORD ask_delay = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        event.during_flush = flushing_;
        if (!flushing_) {
            at_end_of_stream_ = true;
            complete = state_ == State_Running;
        }
        ask_stop = ask_stop_at_end_;
        ask_delay = ask_stop_delay_ms_;
        Record(event);
    }
    if (ask_stop) {
        Sleep(ask_delay);
        LONGLONG stop = 0;
        GetStopPosition(&stop);
    }
    if (complete) SendComplete();
    return S_OK;
}

void RecordingSink::SendComplete() {
    ComPtr<IFilterGraph> graph;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        graph = ComPtr<IFilterGraph>(graph_);
    }
    ComPtr<IMediaEventSink> events;
    if (!graph || FAILED(graph.QueryTo(IID_IMediaEventSink, &events))) return;
    // Counted before it is sent: whoever the graph tells must find it counted.
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++completions_sent_;
        changed_.notify_all();
    }
    if (FAILED(events->Notify(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this))))) {
        std::lock_guard<std::mutex> lock(mutex_);
        --completions_sent_;
    }
}
