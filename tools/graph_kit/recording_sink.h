// RecordingSink: a renderer-like DirectShow filter that records everything its
// input pin receives, for the graph tests and kelo-play.
//
// As a filter it is what the filter graph manager expects of a renderer:
//  - IAMFilterMiscFlags says AM_FILTER_MISC_FLAGS_IS_RENDERER, so the graph
//    counts it for EC_COMPLETE and passes its seeks to it;
//  - IMediaSeeking passes every call to the IMediaSeeking of the upstream pin it
//    is connected to (VFW_E_NOT_CONNECTED when unconnected, E_NOTIMPL when
//    that pin has none), as a renderer passes seeking upstream;
//  - EndOfStream while running sends EC_COMPLETE (S_OK, this IBaseFilter) to the
//    graph's IMediaEventSink; one received while paused is sent when Run comes,
//    and Run sends it again for as long as the stream stays ended; Stop and
//    BeginFlush end that;
//  - Stop/Pause/Run/GetState answer at once with S_OK.
//
// Its input pin "In" accepts any media type (or only one major type), lets the
// upstream pin choose the allocator (GetAllocator answers VFW_E_NO_ALLOCATOR)
// unless asked to offer its own (a SinkAllocator), and records in arrival
// order samples, new segments, flushes and end of stream (see SinkEvent); as
// a null sink for throughput it only counts the samples. While flushing, Receive answers S_FALSE and records
// nothing; while stopped it answers VFW_E_WRONG_STATE.
//
// Pacing: with a reference clock (IMediaFilter::SetSyncSource) Receive holds a
// timed sample until the clock reaches its start time while running, and holds
// it while paused, as a renderer presents in real time. Without a clock it takes
// each sample at once. SetReceiveDelay adds a fixed wait per sample. Flush and
// Stop end any wait: the sample is then dropped (S_FALSE / VFW_E_WRONG_STATE).
//
// The C++ methods below are for the process that made the sink; they are safe
// to call from any thread while the graph streams.
#ifndef KELO_TOOLS_GRAPH_KIT_RECORDING_SINK_H
#define KELO_TOOLS_GRAPH_KIT_RECORDING_SINK_H

#include <windows.h>
#include <cguid.h>
#include <strmif.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "com_ptr.h"
#include "media_type.h"
#include "sink_event.h"
#include "sink_input_pin.h"

// Whether a connection type is the empty one an unconnected sink reports.
inline bool IsEmptyMediaType(const AM_MEDIA_TYPE& type) { return type.majortype == GUID_NULL; }

// {01EFF7DB-9BDE-443C-AB44-054DE6430315} IPersist::GetClassID of the sink; the
// class is not registered, only made in process through RecordingSink::Create.
inline constexpr GUID CLSID_KeloRecordingSink = {
    0x01eff7db, 0x9bde, 0x443c, {0xab, 0x44, 0x05, 0x4d, 0xe6, 0x43, 0x03, 0x15}};

class RecordingSink final : public IBaseFilter, public IAMFilterMiscFlags, public IMediaSeeking {
public:
    // Makes a sink holding one reference for the caller (Release it when done;
    // the last Release returns 0 and deletes it). `name` is the filter's name
    // until the graph gives it another in JoinFilterGraph.
    static HRESULT Create(const wchar_t* name, RecordingSink** out);

    // --- What was recorded ---
    std::vector<SinkEvent> Events() const;  // a snapshot, in arrival order
    size_t EventCount() const;
    // Every sample's bytes, in arrival order, while KeepBytes(true) (off by
    // default); SinkEvent::byte_offset says where each sample's bytes start.
    std::vector<uint8_t> Bytes() const;
    void KeepBytes(bool keep);
    // Forgets the events, the bytes, the counts, the end-of-stream mark and the
    // media position.
    void Clear();
    // How many EC_COMPLETE notifications the sink has sent to the graph.
    int CompletionsSent() const;

    // --- As a null sink ---
    // Off: samples taken are only counted, with their bytes and the arrival
    // of the first, and not recorded (on by default; the other calls are
    // recorded either way).
    void RecordSamples(bool record);
    long long SamplesCounted() const;
    long long BytesCounted() const;
    LONGLONG FirstSampleQpc() const;  // 0 before the first counted sample

    // --- Waiting from another thread; each returns false on time-out ---
    // Until EndOfStream has arrived (and no BeginFlush, Stop or Clear since).
    bool WaitForEndOfStream(DWORD ms) const;
    // Until at least `count` events are recorded.
    bool WaitForEvents(size_t count, DWORD ms) const;
    // Until the media position delivered reaches `position`: the position of a
    // sample is its segment's start plus its stop time (its start time if it
    // has no stop) times the segment's rate. Forgotten at BeginFlush and Stop.
    bool WaitForMediaPosition(REFERENCE_TIME position, DWORD ms) const;
    // The furthest media position delivered so far, false if none yet.
    bool MediaPosition(REFERENCE_TIME* position) const;

    // --- The connection ---
    // No reference is added: the pin lives as long as the sink.
    IPin* InputPin() { return &pin_; }
    CMediaType ConnectedType() const { return pin_.ConnectedType(); }  // empty if unconnected
    bool IsConnected() const { return static_cast<bool>(pin_.ConnectedPin()); }
    // Accept only this major type on connection (GUID_NULL: any, the default).
    void AcceptOnlyMajorType(const GUID& major) { pin_.AcceptOnlyMajorType(major); }
    // The input pin offers its own allocator (see SinkAllocator), as renderers
    // do, instead of letting the upstream pin choose; set before connecting.
    void OfferOwnAllocator(bool offer) { pin_.OfferOwnAllocator(offer); }
    bool UsesOwnAllocator() const { return pin_.UsesOwnAllocator(); }

    // --- Behaviour for tests of upstream delivery ---
    // Receive records the sample, then answers this (S_OK by default).
    void SetReceiveResult(HRESULT hr);
    // The filter also answers QueryInterface for `iid` with `object` (held),
    // as a decoder downstream offers an interface of its own.
    void OfferInterface(REFIID iid, IUnknown* object);

    // Receive waits this long before taking each sample (0 by default).
    void SetReceiveDelay(DWORD ms);
    // As some renderers do, EndOfStream, once recorded, waits `delay_ms` and
    // then asks the upstream pin's IMediaSeeking for the stop position before
    // it returns: a call back into the source from its streaming thread.
    void AskStopPositionAtEndOfStream(DWORD delay_ms);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IPersist
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    // IMediaFilter
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME start) override;
    STDMETHODIMP GetState(DWORD ms, FILTER_STATE* state) override;
    STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;
    // IBaseFilter
    STDMETHODIMP EnumPins(IEnumPins** pins) override;
    STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
    STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    STDMETHODIMP QueryVendorInfo(LPWSTR* info) override;

    // IAMFilterMiscFlags
    STDMETHODIMP_(ULONG) GetMiscFlags() override;

    // IMediaSeeking: each call goes to the upstream pin's IMediaSeeking.
    STDMETHODIMP GetCapabilities(DWORD* caps) override;
    STDMETHODIMP CheckCapabilities(DWORD* caps) override;
    STDMETHODIMP IsFormatSupported(const GUID* format) override;
    STDMETHODIMP QueryPreferredFormat(GUID* format) override;
    STDMETHODIMP GetTimeFormat(GUID* format) override;
    STDMETHODIMP IsUsingTimeFormat(const GUID* format) override;
    STDMETHODIMP SetTimeFormat(const GUID* format) override;
    STDMETHODIMP GetDuration(LONGLONG* duration) override;
    STDMETHODIMP GetStopPosition(LONGLONG* stop) override;
    STDMETHODIMP GetCurrentPosition(LONGLONG* current) override;
    STDMETHODIMP ConvertTimeFormat(LONGLONG* target, const GUID* target_format, LONGLONG source,
                                   const GUID* source_format) override;
    STDMETHODIMP SetPositions(LONGLONG* current, DWORD current_flags, LONGLONG* stop, DWORD stop_flags) override;
    STDMETHODIMP GetPositions(LONGLONG* current, LONGLONG* stop) override;
    STDMETHODIMP GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    STDMETHODIMP SetRate(double rate) override;
    STDMETHODIMP GetRate(double* rate) override;
    STDMETHODIMP GetPreroll(LONGLONG* preroll) override;

private:
    friend class SinkInputPin;

    explicit RecordingSink(const wchar_t* name);
    ~RecordingSink();

    // Called by the pin.
    bool IsStopped() const;
    HRESULT StreamReceive(IMediaSample* sample);
    HRESULT CountSample(IMediaSample* sample, LONGLONG arrival_qpc);
    HRESULT StreamNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);
    HRESULT StreamBeginFlush();
    HRESULT StreamEndFlush();
    HRESULT StreamEndOfStream();

    // Waits as the pacing rules say; S_OK to take the sample.
    HRESULT WaitToTake(const SinkEvent& sample, std::unique_lock<std::mutex>& lock);
    HRESULT WhyNotTaking() const;  // S_OK, or why a sample must be dropped now
    SinkEvent StampedEvent(SinkEventKind kind) const;
    void Record(const SinkEvent& event);  // with mutex_ held
    void SendComplete();                  // without mutex_ held
    ComPtr<IMediaSeeking> UpstreamSeeking(HRESULT* why_none) const;
    template <class Call>
    HRESULT ForwardSeeking(Call call);

    std::atomic<ULONG> references_{1};
    SinkInputPin pin_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;  // any change below
    std::wstring name_;
    IFilterGraph* graph_ = nullptr;  // not referenced: the graph owns us
    FILTER_STATE state_ = State_Stopped;
    REFERENCE_TIME run_start_ = 0;
    ComPtr<IReferenceClock> clock_;
    bool flushing_ = false;
    bool at_end_of_stream_ = false;
    int completions_sent_ = 0;
    REFERENCE_TIME segment_start_ = 0;
    double segment_rate_ = 1.0;
    bool have_position_ = false;
    REFERENCE_TIME position_ = 0;
    std::vector<SinkEvent> events_;
    bool record_samples_ = true;
    long long samples_counted_ = 0;
    long long bytes_counted_ = 0;
    LONGLONG first_sample_qpc_ = 0;
    bool keep_bytes_ = false;
    std::vector<uint8_t> bytes_;
    HRESULT receive_result_ = S_OK;
    DWORD receive_delay_ms_ = 0;
    bool ask_stop_at_end_ = false;
    GUID extra_iid_ = GUID_NULL;
    ComPtr<IUnknown> extra_;
    DWORD ask_stop_delay_ms_ = 0;
};

#endif
