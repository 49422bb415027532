#include "unknown.h"

namespace {
volatile LONG g_objects = 0;
volatile LONG g_locks = 0;
}  // namespace

namespace module_count {
void AddObject() { InterlockedIncrement(&g_objects); }
void RemoveObject() { InterlockedDecrement(&g_objects); }
void Lock(bool lock) {
    if (lock)
        InterlockedIncrement(&g_locks);
    else
        InterlockedDecrement(&g_locks);
}
bool CanUnload() { return g_objects == 0 && g_locks == 0; }
}  // namespace module_count

CUnknown::CUnknown(IUnknown* owner)
    : owner_(owner ? owner : reinterpret_cast<IUnknown*>(static_cast<INonDelegatingUnknown*>(this))) {
    module_count::AddObject();
}

CUnknown::~CUnknown() { module_count::RemoveObject(); }

HRESULT STDMETHODCALLTYPE CUnknown::NonDelegatingQueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown)
        return GetInterface(reinterpret_cast<IUnknown*>(static_cast<INonDelegatingUnknown*>(this)), out);
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingAddRef() { return InterlockedIncrement(&references_); }

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingRelease() {
    LONG left = InterlockedDecrement(&references_);
    if (left == 0) {
        // A destructor that takes and drops a reference must not delete twice.
        references_ = 1;
        delete this;
    }
    return static_cast<ULONG>(left);
}

HRESULT GetInterface(IUnknown* p, void** out) {
    if (!out) return E_POINTER;
    *out = p;
    p->AddRef();
    return S_OK;
}
