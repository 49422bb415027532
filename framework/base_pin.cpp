#include "base_pin.h"

#include <vfwmsgs.h>

#include <cwchar>

#include "base_filter.h"
#include "com_ptr.h"
#include "enum_media_types.h"

CBasePin::CBasePin(const wchar_t*, CBaseFilter* filter, CCritSec* lock, HRESULT*, const wchar_t* name,
                   PIN_DIRECTION direction)
    : CUnknown(nullptr), lock_(lock), filter_(filter), name_(name ? name : L""), direction_(direction) {}

CBasePin::~CBasePin() {
    if (connected_) connected_->Release();
}

HRESULT STDMETHODCALLTYPE CBasePin::NonDelegatingQueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IPin) return GetInterface(static_cast<IPin*>(this), out);
    if (iid == IID_IQualityControl) return GetInterface(static_cast<IQualityControl*>(this), out);
    if (iid == IID_IUnknown)
        return GetInterface(reinterpret_cast<IUnknown*>(static_cast<INonDelegatingUnknown*>(this)), out);
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CBasePin::NonDelegatingAddRef() { return filter_->AddRef(); }

ULONG STDMETHODCALLTYPE CBasePin::NonDelegatingRelease() { return filter_->Release(); }

HRESULT CBasePin::GetMediaType(int, CMediaType*) { return E_UNEXPECTED; }

HRESULT CBasePin::SetMediaType(const CMediaType* type) { return mt_.Set(*type); }

HRESULT CBasePin::CheckConnect(IPin* peer) {
    PIN_DIRECTION peer_direction;
    HRESULT hr = peer->QueryDirection(&peer_direction);
    if (FAILED(hr)) return hr;
    return peer_direction == direction_ ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT CBasePin::BreakConnect() { return S_OK; }

HRESULT CBasePin::CompleteConnect(IPin*) { return S_OK; }

// One candidate type: both sides must accept it; a later failure undoes the
// connection so the pin is left as it was.
HRESULT CBasePin::AttemptConnection(IPin* receiver, const CMediaType& type) {
    HRESULT hr = CheckConnect(receiver);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    if (CheckMediaType(&type) != S_OK) {
        BreakConnect();
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    connected_ = receiver;
    connected_->AddRef();
    hr = SetMediaType(&type);
    if (SUCCEEDED(hr)) {
        hr = receiver->ReceiveConnection(static_cast<IPin*>(this), &type);
        if (SUCCEEDED(hr)) {
            hr = CompleteConnect(receiver);
            if (SUCCEEDED(hr)) return S_OK;
            receiver->Disconnect();
        }
    }
    connected_->Release();
    connected_ = nullptr;
    mt_ = CMediaType();
    BreakConnect();
    return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CBasePin::TryMediaTypes(IPin* receiver, const AM_MEDIA_TYPE* partial, IEnumMediaTypes* types) {
    HRESULT last = VFW_E_NO_ACCEPTABLE_TYPES;
    for (;;) {
        AM_MEDIA_TYPE* fetched = nullptr;
        ULONG count = 0;
        if (types->Next(1, &fetched, &count) != S_OK || count != 1) return last;
        CMediaType candidate(*fetched);
        DeleteMediaType(fetched);
        if (partial && !candidate.MatchesPartial(*partial)) continue;
        HRESULT hr = AttemptConnection(receiver, candidate);
        if (SUCCEEDED(hr)) return hr;
        last = hr;
    }
}

// Our own types first, then the receiver's.
HRESULT CBasePin::AgreeMediaType(IPin* receiver, const AM_MEDIA_TYPE* partial) {
    if (partial) {
        CMediaType whole(*partial);
        if (whole.IsFullySpecified()) return AttemptConnection(receiver, whole);
    }
    HRESULT last = VFW_E_NO_ACCEPTABLE_TYPES;
    for (int side = 0; side < 2; ++side) {
        ComPtr<IEnumMediaTypes> types;
        HRESULT hr = side == 0 ? EnumMediaTypes(types.Receive()) : receiver->EnumMediaTypes(types.Receive());
        if (FAILED(hr) || !types) continue;
        hr = TryMediaTypes(receiver, partial, types.Get());
        if (SUCCEEDED(hr)) return hr;
        last = hr;
    }
    return last;
}

HRESULT STDMETHODCALLTYPE CBasePin::Connect(IPin* receiver, const AM_MEDIA_TYPE* type) {
    if (!receiver) return E_POINTER;
    CAutoLock lock(lock_);
    if (connected_) return VFW_E_ALREADY_CONNECTED;
    if (!filter_->IsStopped()) return VFW_E_NOT_STOPPED;
    return AgreeMediaType(receiver, type);
}

HRESULT STDMETHODCALLTYPE CBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
    if (!connector || !type) return E_POINTER;
    // Only output pins exist here; they connect, they are not connected to.
    if (direction_ == PINDIR_OUTPUT) return E_UNEXPECTED;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CBasePin::Disconnect() {
    CAutoLock lock(lock_);
    if (!filter_->IsStopped()) return VFW_E_NOT_STOPPED;
    if (!connected_) return S_FALSE;
    BreakConnect();
    connected_->Release();
    connected_ = nullptr;
    mt_ = CMediaType();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBasePin::ConnectedTo(IPin** pin) {
    if (!pin) return E_POINTER;
    CAutoLock lock(lock_);
    *pin = connected_;
    if (!connected_) return VFW_E_NOT_CONNECTED;
    connected_->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
    if (!type) return E_POINTER;
    CAutoLock lock(lock_);
    if (!connected_) {
        *type = AM_MEDIA_TYPE();
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(type, mt_);
}

HRESULT STDMETHODCALLTYPE CBasePin::QueryPinInfo(PIN_INFO* info) {
    if (!info) return E_POINTER;
    info->pFilter = filter_;
    filter_->AddRef();
    size_t length = name_.size() < MAX_PIN_NAME - 1 ? name_.size() : MAX_PIN_NAME - 1;
    wmemcpy(info->achName, name_.c_str(), length);
    info->achName[length] = L'\0';
    info->dir = direction_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBasePin::QueryDirection(PIN_DIRECTION* direction) {
    if (!direction) return E_POINTER;
    *direction = direction_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBasePin::QueryId(LPWSTR* id) {
    if (!id) return E_POINTER;
    size_t bytes = (name_.size() + 1) * sizeof(wchar_t);
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (!*id) return E_OUTOFMEMORY;
    wmemcpy(*id, name_.c_str(), name_.size() + 1);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBasePin::QueryAccept(const AM_MEDIA_TYPE* type) {
    if (!type) return E_POINTER;
    CMediaType candidate(*type);
    return CheckMediaType(&candidate) == S_OK ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CBasePin::EnumMediaTypes(IEnumMediaTypes** out) {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) CEnumMediaTypes(this);
    if (!*out) return E_OUTOFMEMORY;
    (*out)->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBasePin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CBasePin::EndOfStream() { return direction_ == PINDIR_OUTPUT ? E_UNEXPECTED : S_OK; }

HRESULT STDMETHODCALLTYPE CBasePin::BeginFlush() { return direction_ == PINDIR_OUTPUT ? E_UNEXPECTED : S_OK; }

HRESULT STDMETHODCALLTYPE CBasePin::EndFlush() { return direction_ == PINDIR_OUTPUT ? E_UNEXPECTED : S_OK; }

HRESULT STDMETHODCALLTYPE CBasePin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) { return S_OK; }

HRESULT STDMETHODCALLTYPE CBasePin::Notify(IBaseFilter*, Quality) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CBasePin::SetSink(IQualityControl*) { return S_OK; }
