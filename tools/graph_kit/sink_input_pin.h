// The recording sink's one input pin, "In". It holds the connection (the
// upstream pin, the media type, the allocator) and passes the stream calls
// (Receive, NewSegment, flushes, EndOfStream) to the filter, which records them.
// It lives inside the filter and shares its reference count, as pins do.
#ifndef KELO_TOOLS_GRAPH_KIT_SINK_INPUT_PIN_H
#define KELO_TOOLS_GRAPH_KIT_SINK_INPUT_PIN_H

#include <windows.h>
#include <cguid.h>
#include <strmif.h>
#include <vfwmsgs.h>

#include <mutex>

#include "com_ptr.h"
#include "media_type.h"

class RecordingSink;

class SinkInputPin final : public IPin, public IMemInputPin {
public:
    static constexpr const wchar_t* kName = L"In";

    explicit SinkInputPin(RecordingSink* owner) : owner_(owner) {}
    SinkInputPin(const SinkInputPin&) = delete;
    SinkInputPin& operator=(const SinkInputPin&) = delete;

    // Accept only this major type (GUID_NULL: any, the default).
    void AcceptOnlyMajorType(const GUID& major);
    // GetAllocator offers the pin's own SinkAllocator (off by default: the
    // upstream pin then chooses one).
    void OfferOwnAllocator(bool offer);
    // Whether upstream took the offer: NotifyAllocator named the pin's own.
    bool UsesOwnAllocator() const;
    ComPtr<IPin> ConnectedPin() const;
    CMediaType ConnectedType() const;

    // IUnknown (the filter's count)
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IPin
    STDMETHODIMP Connect(IPin* receive_pin, const AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin** pin) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* dir) override;
    STDMETHODIMP QueryId(LPWSTR* id) override;
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
    STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    // IMemInputPin
    STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
    STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL read_only) override;
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
    STDMETHODIMP Receive(IMediaSample* sample) override;
    STDMETHODIMP ReceiveMultiple(IMediaSample** samples, long count, long* processed) override;
    STDMETHODIMP ReceiveCanBlock() override;

private:
    RecordingSink* const owner_;
    mutable std::mutex mutex_;  // guards the connection; taken before the filter's lock
    GUID accepted_major_ = GUID_NULL;
    ComPtr<IPin> connected_;
    CMediaType type_;
    ComPtr<IMemAllocator> allocator_;
    bool offer_own_allocator_ = false;
    ComPtr<IMemAllocator> own_allocator_;  // made at the first GetAllocator that offers it
};

#endif
