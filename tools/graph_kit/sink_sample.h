// SinkSample: one buffer of a SinkAllocator's pool as an IMediaSample. It
// belongs to its allocator, which hands it out with one reference; the
// release of the last reference gives it back through ReleaseBuffer.
#ifndef KELO_TOOLS_GRAPH_KIT_SINK_SAMPLE_H
#define KELO_TOOLS_GRAPH_KIT_SINK_SAMPLE_H

#include <windows.h>
#include <strmif.h>

#include <atomic>

class SinkSample final : public IMediaSample {
public:
    // `owner` is not referenced: the allocator outlives its samples.
    SinkSample(IMemAllocator* owner, BYTE* buffer, long size) : owner_(owner), buffer_(buffer), size_(size) {}
    ~SinkSample();
    SinkSample(const SinkSample&) = delete;
    SinkSample& operator=(const SinkSample&) = delete;

    // As handed out: one reference, the whole buffer as its length, no times,
    // no flags, no media type.
    void Reset();

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IMediaSample
    STDMETHODIMP GetPointer(BYTE** buffer) override;
    STDMETHODIMP_(long) GetSize() override;
    STDMETHODIMP GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
    STDMETHODIMP SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
    STDMETHODIMP IsSyncPoint() override;
    STDMETHODIMP SetSyncPoint(BOOL sync_point) override;
    STDMETHODIMP IsPreroll() override;
    STDMETHODIMP SetPreroll(BOOL preroll) override;
    STDMETHODIMP_(long) GetActualDataLength() override;
    STDMETHODIMP SetActualDataLength(long length) override;
    STDMETHODIMP GetMediaType(AM_MEDIA_TYPE** type) override;
    STDMETHODIMP SetMediaType(AM_MEDIA_TYPE* type) override;
    STDMETHODIMP IsDiscontinuity() override;
    STDMETHODIMP SetDiscontinuity(BOOL discontinuity) override;
    STDMETHODIMP GetMediaTime(LONGLONG* start, LONGLONG* stop) override;
    STDMETHODIMP SetMediaTime(LONGLONG* start, LONGLONG* stop) override;

private:
    IMemAllocator* const owner_;
    BYTE* const buffer_;
    const long size_;
    std::atomic<ULONG> references_{0};
    long length_ = 0;
    bool has_start_ = false, has_stop_ = false, has_media_time_ = false;
    REFERENCE_TIME start_ = 0, stop_ = 0;
    LONGLONG media_start_ = 0, media_stop_ = 0;
    bool sync_point_ = false, preroll_ = false, discontinuity_ = false;
    AM_MEDIA_TYPE* type_ = nullptr;  // CoTaskMem, ours
};

#endif
