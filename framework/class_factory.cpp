#include "class_factory.h"

#include <new>

CClassFactory::CClassFactory(const CFactoryTemplate* factory_template)
    : CUnknown(nullptr), template_(factory_template) {}

HRESULT STDMETHODCALLTYPE CClassFactory::NonDelegatingQueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IClassFactory) return GetInterface(static_cast<IClassFactory*>(this), out);
    return CUnknown::NonDelegatingQueryInterface(iid, out);
}

HRESULT STDMETHODCALLTYPE CClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    // An aggregating owner can only ask for the inner IUnknown.
    if (outer && iid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    HRESULT hr = S_OK;
    CUnknown* object = template_->m_lpfnNew(outer, &hr);
    if (!object) return FAILED(hr) ? hr : E_OUTOFMEMORY;
    if (FAILED(hr)) {
        delete object;
        return hr;
    }
    object->NonDelegatingAddRef();
    hr = object->NonDelegatingQueryInterface(iid, out);
    object->NonDelegatingRelease();
    return hr;
}

HRESULT STDMETHODCALLTYPE CClassFactory::LockServer(BOOL lock) {
    module_count::Lock(lock != FALSE);
    return S_OK;
}

HRESULT GetClassObjectFromTemplates(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
    for (int i = 0; i < g_cTemplates; ++i) {
        if (*g_Templates[i].m_ClsID != clsid) continue;
        auto* factory = new (std::nothrow) CClassFactory(&g_Templates[i]);
        if (!factory) return E_OUTOFMEMORY;
        factory->NonDelegatingAddRef();
        HRESULT hr = factory->NonDelegatingQueryInterface(iid, out);
        factory->NonDelegatingRelease();
        return hr;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CanUnloadModule() { return module_count::CanUnload() ? S_OK : S_FALSE; }
