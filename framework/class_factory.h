// The module's classes: one template per class names it, says how to make
// an object of it, and what to register; the class factory serves them.
#ifndef KELO_FRAMEWORK_CLASS_FACTORY_H
#define KELO_FRAMEWORK_CLASS_FACTORY_H

#include <unknwn.h>

#include "setup_data.h"
#include "unknown.h"

using CreateInstanceFunction = CUnknown* (*)(IUnknown* owner, HRESULT* result);
using InitRoutineFunction = void (*)(BOOL loading, const CLSID* clsid);

struct CFactoryTemplate {
    const WCHAR* m_Name;
    const CLSID* m_ClsID;
    CreateInstanceFunction m_lpfnNew;
    InitRoutineFunction m_lpfnInit;
    const AMOVIESETUP_FILTER* m_pAMovieSetup_Filter;
};

// Defined by the module: its templates and their count.
extern const CFactoryTemplate g_Templates[];
extern const int g_cTemplates;

class CClassFactory : public CUnknown, public IClassFactory {
public:
    explicit CClassFactory(const CFactoryTemplate* factory_template);

    KELO_IUNKNOWN_FROM_OWNER
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** out) override;

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    const CFactoryTemplate* template_;
};

// The bodies of the module's DllGetClassObject and DllCanUnloadNow.
HRESULT GetClassObjectFromTemplates(REFCLSID clsid, REFIID iid, void** out);
HRESULT CanUnloadModule();

#endif
