#include "output_pin.h"

#include <dshow.h>
#include <vfwmsgs.h>

#include "com_ptr.h"

CBaseOutputPin::CBaseOutputPin(const wchar_t* object_name, CBaseFilter* filter, CCritSec* lock, HRESULT* result,
                               const wchar_t* name)
    : CBasePin(object_name, filter, lock, result, name, PINDIR_OUTPUT) {}

CBaseOutputPin::~CBaseOutputPin() { BreakConnect(); }

HRESULT CBaseOutputPin::CheckConnect(IPin* peer) {
    HRESULT hr = CBasePin::CheckConnect(peer);
    if (FAILED(hr)) return hr;
    IMemInputPin* input = nullptr;
    hr = peer->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input));
    if (FAILED(hr)) return VFW_E_NO_TRANSPORT;
    if (input_) input_->Release();
    input_ = input;
    return S_OK;
}

HRESULT CBaseOutputPin::CompleteConnect(IPin*) { return DecideAllocator(input_); }

HRESULT CBaseOutputPin::BreakConnect() {
    if (allocator_) {
        allocator_->Decommit();
        allocator_->Release();
        allocator_ = nullptr;
    }
    if (input_) {
        input_->Release();
        input_ = nullptr;
    }
    return S_OK;
}

HRESULT CBaseOutputPin::OfferAllocator(IMemInputPin* input, IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    HRESULT hr = DecideBufferSize(allocator, request);
    if (FAILED(hr)) return hr;
    hr = input->NotifyAllocator(allocator, FALSE);
    if (FAILED(hr)) return hr;
    allocator_ = allocator;
    allocator_->AddRef();
    return S_OK;
}

// Downstream's allocator if it has one and takes our sizes, else a memory
// allocator of the platform's.
HRESULT CBaseOutputPin::DecideAllocator(IMemInputPin* input) {
    if (!input) return E_UNEXPECTED;
    ALLOCATOR_PROPERTIES request = {};
    input->GetAllocatorRequirements(&request);
    if (request.cbAlign == 0) request.cbAlign = 1;

    ComPtr<IMemAllocator> allocator;
    if (SUCCEEDED(input->GetAllocator(allocator.Receive())) && allocator) {
        ALLOCATOR_PROPERTIES offer = request;
        if (SUCCEEDED(OfferAllocator(input, allocator.Get(), &offer))) return S_OK;
    }
    HRESULT hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                  allocator.ReceiveVoid());
    if (FAILED(hr)) return hr;
    return OfferAllocator(input, allocator.Get(), &request);
}

HRESULT CBaseOutputPin::Active() {
    if (!allocator_) return VFW_E_NO_ALLOCATOR;
    return allocator_->Commit();
}

HRESULT CBaseOutputPin::Inactive() {
    if (!allocator_) return VFW_E_NO_ALLOCATOR;
    return allocator_->Decommit();
}

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                          DWORD flags) {
    if (!allocator_) return VFW_E_NO_ALLOCATOR;
    return allocator_->GetBuffer(sample, start, stop, flags);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* sample) {
    if (!input_) return VFW_E_NOT_CONNECTED;
    return input_->Receive(sample);
}

HRESULT CBaseOutputPin::DeliverEndOfStream() {
    IPin* peer = GetConnected();
    return peer ? peer->EndOfStream() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverBeginFlush() {
    IPin* peer = GetConnected();
    return peer ? peer->BeginFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverEndFlush() {
    IPin* peer = GetConnected();
    return peer ? peer->EndFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    IPin* peer = GetConnected();
    return peer ? peer->NewSegment(start, stop, rate) : VFW_E_NOT_CONNECTED;
}
