// An output pin that delivers media samples through IMemInputPin: the
// allocator decision at connection, commit and decommit with the filter's
// state, and the delivery calls downstream.
#ifndef KELO_FRAMEWORK_OUTPUT_PIN_H
#define KELO_FRAMEWORK_OUTPUT_PIN_H

#include "base_pin.h"

class CBaseOutputPin : public CBasePin {
public:
    CBaseOutputPin(const wchar_t* object_name, CBaseFilter* filter, CCritSec* lock, HRESULT* result,
                   const wchar_t* name);
    ~CBaseOutputPin() override;

    // Sets the buffer count and size on `allocator`, given what downstream asks.
    virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;

    HRESULT CheckConnect(IPin* peer) override;
    HRESULT CompleteConnect(IPin* peer) override;
    HRESULT BreakConnect() override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags);
    HRESULT Deliver(IMediaSample* sample);
    HRESULT DeliverEndOfStream();
    HRESULT DeliverBeginFlush();
    HRESULT DeliverEndFlush();
    HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

private:
    HRESULT DecideAllocator(IMemInputPin* input);
    HRESULT OfferAllocator(IMemInputPin* input, IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request);

    IMemInputPin* input_ = nullptr;       // one reference while connected
    IMemAllocator* allocator_ = nullptr;  // one reference while connected
};

#endif
