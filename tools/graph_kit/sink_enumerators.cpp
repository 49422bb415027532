#include "sink_enumerators.h"

#include <atomic>
#include <new>

#include "com_ptr.h"

namespace {

// Reference counting and QueryInterface shared by both enumerators.
template <class Interface>
class Enumerator : public Interface {
public:
    explicit Enumerator(REFIID iid) : iid_(iid) {}
    virtual ~Enumerator() = default;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == iid_) {
            *out = static_cast<Interface*>(this);
            this->AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

private:
    const IID iid_;
    std::atomic<ULONG> references_{1};
};

class SinglePinEnumerator final : public Enumerator<IEnumPins> {
public:
    SinglePinEnumerator(IBaseFilter* owner, IPin* pin, ULONG position)
        : Enumerator(IID_IEnumPins), owner_(owner), pin_(pin), position_(position) {}

    STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override {
        if (!pins) return E_POINTER;
        if (!fetched && count != 1) return E_INVALIDARG;
        ULONG given = 0;
        if (count > 0 && position_ == 0) {
            pins[0] = pin_;
            pin_->AddRef();
            given = 1;
            position_ = 1;
        }
        if (fetched) *fetched = given;
        return given == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        const ULONG left = 1 - position_;
        position_ = count >= left ? 1 : position_ + count;
        return count <= left ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        position_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumPins** out) override {
        if (!out) return E_POINTER;
        *out = new (std::nothrow) SinglePinEnumerator(owner_.Get(), pin_, position_);
        return *out ? S_OK : E_OUTOFMEMORY;
    }

private:
    ComPtr<IBaseFilter> owner_;
    IPin* const pin_;  // lives as long as owner_
    ULONG position_;   // 0 or 1
};

class EmptyMediaTypeEnumerator final : public Enumerator<IEnumMediaTypes> {
public:
    EmptyMediaTypeEnumerator() : Enumerator(IID_IEnumMediaTypes) {}

    STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override {
        if (!types) return E_POINTER;
        if (!fetched && count != 1) return E_INVALIDARG;
        if (fetched) *fetched = 0;
        return count == 0 ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override { return count == 0 ? S_OK : S_FALSE; }
    STDMETHODIMP Reset() override { return S_OK; }
    STDMETHODIMP Clone(IEnumMediaTypes** out) override {
        if (!out) return E_POINTER;
        *out = new (std::nothrow) EmptyMediaTypeEnumerator();
        return *out ? S_OK : E_OUTOFMEMORY;
    }
};

}  // namespace

HRESULT CreateSinglePinEnumerator(IBaseFilter* owner, IPin* pin, IEnumPins** out) {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) SinglePinEnumerator(owner, pin, 0);
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT CreateEmptyMediaTypeEnumerator(IEnumMediaTypes** out) {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) EmptyMediaTypeEnumerator();
    return *out ? S_OK : E_OUTOFMEMORY;
}
