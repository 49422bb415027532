// SinkAllocator: the allocator a sink offers upstream when asked to, as
// renderers offer theirs. A fixed pool of buffers set by SetProperties and
// made at Commit; GetBuffer hands out a free one (waiting for one while none
// is free, unless AM_GBF_NOWAIT), and a sample goes back to the pool when its
// last reference is released.
//
// Its waits use a slim reader/writer lock and a condition variable, never an
// event or a semaphore: under Wine every wait on or signal of a kernel object
// is a round trip to the server process, which would measure Wine rather than
// the source that fills the buffers.
//
// The rules of IMemAllocator:
//  - SetProperties: VFW_E_ALREADY_COMMITTED while committed,
//    VFW_E_BUFFERS_OUTSTANDING while samples are out, VFW_E_BADALIGN unless the
//    alignment is a power of two; counts and sizes below 1 become 1, and the
//    buffer plus its prefix is rounded up to the alignment.
//  - Commit: VFW_E_SIZENOTSET before SetProperties; makes the buffers.
//  - Decommit: GetBuffer then answers VFW_E_NOT_COMMITTED, and a GetBuffer
//    waiting for a buffer wakes with it; the buffers go when the last sample
//    is back.
//  - Each sample out holds a reference on the allocator.
#ifndef KELO_TOOLS_GRAPH_KIT_SINK_ALLOCATOR_H
#define KELO_TOOLS_GRAPH_KIT_SINK_ALLOCATOR_H

#include <windows.h>
#include <strmif.h>

#include <atomic>
#include <memory>
#include <vector>

class SinkSample;

class SinkAllocator final : public IMemAllocator {
public:
    // One reference for the caller.
    static HRESULT Create(IMemAllocator** out);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IMemAllocator
    STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
    STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* props) override;
    STDMETHODIMP Commit() override;
    STDMETHODIMP Decommit() override;
    STDMETHODIMP GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags) override;
    STDMETHODIMP ReleaseBuffer(IMediaSample* sample) override;

private:
    SinkAllocator();
    ~SinkAllocator();

    // With lock_ held: frees the buffers once decommitted and none is out.
    void FreeBuffersIfIdle();
    void FreeMemory();

    std::atomic<ULONG> references_{1};
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE returned_ = CONDITION_VARIABLE_INIT;  // a sample came back, or Decommit
    ALLOCATOR_PROPERTIES props_ = {};
    bool have_props_ = false;
    bool committed_ = false;
    size_t out_ = 0;                                // samples handed out and not back
    std::vector<std::unique_ptr<SinkSample>> all_;  // every sample, when the buffers exist
    std::vector<SinkSample*> free_;
    BYTE* memory_ = nullptr;  // all buffers, one VirtualAlloc block
};

#endif
