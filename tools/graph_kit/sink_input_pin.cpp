#include "sink_input_pin.h"

#include <cstring>
#include <cwchar>
#include <utility>

#include "recording_sink.h"
#include "sink_allocator.h"
#include "sink_enumerators.h"

void SinkInputPin::AcceptOnlyMajorType(const GUID& major) {
    std::lock_guard<std::mutex> lock(mutex_);
    accepted_major_ = major;
}

void SinkInputPin::OfferOwnAllocator(bool offer) {
    std::lock_guard<std::mutex> lock(mutex_);
    offer_own_allocator_ = offer;
}

bool SinkInputPin::UsesOwnAllocator() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return own_allocator_ && allocator_.Get() == own_allocator_.Get();
}

ComPtr<IPin> SinkInputPin::ConnectedPin() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return connected_;
}

CMediaType SinkInputPin::ConnectedType() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return type_;
}

STDMETHODIMP SinkInputPin::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IPin) {
        *out = static_cast<IPin*>(this);
    } else if (iid == IID_IMemInputPin) {
        *out = static_cast<IMemInputPin*>(this);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) SinkInputPin::AddRef() { return owner_->AddRef(); }
STDMETHODIMP_(ULONG) SinkInputPin::Release() { return owner_->Release(); }

// An input pin is connected to, it does not connect.
STDMETHODIMP SinkInputPin::Connect(IPin*, const AM_MEDIA_TYPE*) { return E_UNEXPECTED; }

STDMETHODIMP SinkInputPin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) {
    if (!connector || !mt) return E_POINTER;
    PIN_DIRECTION direction;
    if (FAILED(connector->QueryDirection(&direction)) || direction != PINDIR_OUTPUT) return VFW_E_INVALID_DIRECTION;
    std::lock_guard<std::mutex> lock(mutex_);
    if (connected_) return VFW_E_ALREADY_CONNECTED;
    if (!owner_->IsStopped()) return VFW_E_NOT_STOPPED;
    if (accepted_major_ != GUID_NULL && mt->majortype != accepted_major_) return VFW_E_TYPE_NOT_ACCEPTED;
    const HRESULT hr = type_.Set(*mt);
    if (FAILED(hr)) {
        type_ = CMediaType();  // no half-copied type stays behind an unconnected pin
        return hr;
    }
    connected_ = ComPtr<IPin>(connector);
    return S_OK;
}

STDMETHODIMP SinkInputPin::Disconnect() {
    ComPtr<IPin> upstream;
    ComPtr<IMemAllocator> allocator;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!owner_->IsStopped()) return VFW_E_NOT_STOPPED;
        if (!connected_) return S_FALSE;
        upstream = std::move(connected_);
        allocator = std::move(allocator_);
        type_ = CMediaType();
    }
    return S_OK;  // the references go here, outside the lock
}

STDMETHODIMP SinkInputPin::ConnectedTo(IPin** pin) {
    if (!pin) return E_POINTER;
    *pin = ConnectedPin().Detach();
    return *pin ? S_OK : VFW_E_NOT_CONNECTED;
}

STDMETHODIMP SinkInputPin::ConnectionMediaType(AM_MEDIA_TYPE* mt) {
    if (!mt) return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!connected_) {
        std::memset(mt, 0, sizeof *mt);
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(mt, type_);
}

STDMETHODIMP SinkInputPin::QueryPinInfo(PIN_INFO* info) {
    if (!info) return E_POINTER;
    info->pFilter = static_cast<IBaseFilter*>(owner_);
    info->pFilter->AddRef();
    info->dir = PINDIR_INPUT;
    wcsncpy(info->achName, kName, MAX_PIN_NAME - 1);
    info->achName[MAX_PIN_NAME - 1] = L'\0';
    return S_OK;
}

STDMETHODIMP SinkInputPin::QueryDirection(PIN_DIRECTION* dir) {
    if (!dir) return E_POINTER;
    *dir = PINDIR_INPUT;
    return S_OK;
}

STDMETHODIMP SinkInputPin::QueryId(LPWSTR* id) {
    if (!id) return E_POINTER;
    const size_t bytes = (wcslen(kName) + 1) * sizeof(wchar_t);
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (!*id) return E_OUTOFMEMORY;
    std::memcpy(*id, kName, bytes);
    return S_OK;
}

STDMETHODIMP SinkInputPin::QueryAccept(const AM_MEDIA_TYPE* mt) {
    if (!mt) return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    return accepted_major_ == GUID_NULL || mt->majortype == accepted_major_ ? S_OK : S_FALSE;
}

STDMETHODIMP SinkInputPin::EnumMediaTypes(IEnumMediaTypes** types) { return CreateEmptyMediaTypeEnumerator(types); }

STDMETHODIMP SinkInputPin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

STDMETHODIMP SinkInputPin::EndOfStream() { return owner_->StreamEndOfStream(); }
STDMETHODIMP SinkInputPin::BeginFlush() { return owner_->StreamBeginFlush(); }
STDMETHODIMP SinkInputPin::EndFlush() { return owner_->StreamEndFlush(); }
STDMETHODIMP SinkInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    return owner_->StreamNewSegment(start, stop, rate);
}

// Unless asked to offer our own, none: the upstream pin then makes one and
// tells us.
STDMETHODIMP SinkInputPin::GetAllocator(IMemAllocator** allocator) {
    if (!allocator) return E_POINTER;
    *allocator = nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!offer_own_allocator_) return VFW_E_NO_ALLOCATOR;
    if (!own_allocator_) {
        const HRESULT hr = SinkAllocator::Create(own_allocator_.Receive());
        if (FAILED(hr)) return hr;
    }
    *allocator = ComPtr<IMemAllocator>(own_allocator_).Detach();
    return S_OK;
}

STDMETHODIMP SinkInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL) {
    if (!allocator) return E_POINTER;
    ComPtr<IMemAllocator> previous;
    std::lock_guard<std::mutex> lock(mutex_);
    previous = std::exchange(allocator_, ComPtr<IMemAllocator>(allocator));
    return S_OK;
}

STDMETHODIMP SinkInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) { return E_NOTIMPL; }

STDMETHODIMP SinkInputPin::Receive(IMediaSample* sample) { return owner_->StreamReceive(sample); }

STDMETHODIMP SinkInputPin::ReceiveMultiple(IMediaSample** samples, long count, long* processed) {
    if (!samples || !processed) return E_POINTER;
    *processed = 0;
    HRESULT hr = S_OK;
    while (*processed < count) {
        hr = Receive(samples[*processed]);
        if (hr != S_OK) break;
        ++*processed;
    }
    return hr;
}

STDMETHODIMP SinkInputPin::ReceiveCanBlock() { return S_FALSE; }
