// A COM object of a test's own that lives on the test's stack and serves one interface besides IUnknown: its
// references are only counted, never the reason it is deleted, so the test can check that every reference taken
// was given back.
#ifndef KELO_TESTS_SUPPORT_STACK_COM_OBJECT_H
#define KELO_TESTS_SUPPORT_STACK_COM_OBJECT_H

#include <windows.h>

template <class Interface>
class StackComObject : public Interface {
public:
    explicit StackComObject(const IID& iid) : iid_(iid) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid != IID_IUnknown && iid != iid_) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&references_); }
    LONG References() const { return references_; }

private:
    const IID& iid_;
    LONG references_ = 0;
};

#endif
