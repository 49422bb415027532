#include "enum_media_types.h"

#include <new>

#include "base_pin.h"

CEnumMediaTypes::CEnumMediaTypes(CBasePin* pin, ULONG position) : CUnknown(nullptr), pin_(pin), position_(position) {
    pin_->AddRef();
}

CEnumMediaTypes::~CEnumMediaTypes() { pin_->Release(); }

HRESULT STDMETHODCALLTYPE CEnumMediaTypes::NonDelegatingQueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IEnumMediaTypes) return GetInterface(static_cast<IEnumMediaTypes*>(this), out);
    return CUnknown::NonDelegatingQueryInterface(iid, out);
}

HRESULT STDMETHODCALLTYPE CEnumMediaTypes::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) {
    if (!types) return E_POINTER;
    if (count > 1 && !fetched) return E_INVALIDARG;
    ULONG done = 0;
    HRESULT result = S_OK;
    while (done < count) {
        CMediaType type;
        HRESULT hr = pin_->GetMediaType(static_cast<int>(position_), &type);
        if (hr != S_OK) {
            // The end of the list, or a pin that cannot describe itself yet.
            if (FAILED(hr)) result = hr;
            break;
        }
        ++position_;
        types[done] = CreateMediaType(type);
        if (!types[done]) {
            result = E_OUTOFMEMORY;
            break;
        }
        ++done;
    }
    if (fetched) *fetched = done;
    if (done == count) return S_OK;
    return FAILED(result) && done == 0 ? result : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CEnumMediaTypes::Skip(ULONG count) {
    if (count == 0) return S_OK;
    position_ += count;
    CMediaType type;
    return pin_->GetMediaType(static_cast<int>(position_ - 1), &type) == S_OK ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CEnumMediaTypes::Reset() {
    position_ = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CEnumMediaTypes::Clone(IEnumMediaTypes** out) {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) CEnumMediaTypes(pin_, position_);
    if (!*out) return E_OUTOFMEMORY;
    (*out)->AddRef();
    return S_OK;
}
