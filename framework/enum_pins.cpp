#include "enum_pins.h"

#include <vfwmsgs.h>

#include <new>

#include "base_filter.h"
#include "base_pin.h"

CEnumPins::CEnumPins(CBaseFilter* filter, ULONG position)
    : CUnknown(nullptr), filter_(filter), position_(position), pin_count_(filter->GetPinCount()) {
    filter_->AddRef();
}

CEnumPins::~CEnumPins() { filter_->Release(); }

HRESULT STDMETHODCALLTYPE CEnumPins::NonDelegatingQueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IEnumPins) return GetInterface(static_cast<IEnumPins*>(this), out);
    return CUnknown::NonDelegatingQueryInterface(iid, out);
}

bool CEnumPins::InSync() const { return filter_->GetPinCount() == pin_count_; }

HRESULT STDMETHODCALLTYPE CEnumPins::Next(ULONG count, IPin** pins, ULONG* fetched) {
    if (!pins) return E_POINTER;
    if (count > 1 && !fetched) return E_INVALIDARG;
    if (!InSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG done = 0;
    while (done < count && position_ < static_cast<ULONG>(pin_count_)) {
        CBasePin* pin = filter_->GetPin(static_cast<int>(position_++));
        if (!pin) continue;
        pins[done] = pin;
        pin->AddRef();
        ++done;
    }
    if (fetched) *fetched = done;
    return done == count ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CEnumPins::Skip(ULONG count) {
    if (!InSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG left = static_cast<ULONG>(pin_count_) - position_;
    if (count > left) {
        position_ = static_cast<ULONG>(pin_count_);
        return S_FALSE;
    }
    position_ += count;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CEnumPins::Reset() {
    pin_count_ = filter_->GetPinCount();
    position_ = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CEnumPins::Clone(IEnumPins** out) {
    if (!out) return E_POINTER;
    if (!InSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    *out = new (std::nothrow) CEnumPins(filter_, position_);
    if (!*out) return E_OUTOFMEMORY;
    (*out)->AddRef();
    return S_OK;
}
