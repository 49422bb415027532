#include "source_factory.h"

#include "text.h"

namespace {

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(WINAPI*)();

}  // namespace

SourceFactory::~SourceFactory() {
    if (module_) FreeLibrary(module_);
}

bool SourceFactory::Create(const std::wstring& module, const CLSID& clsid, ComPtr<IBaseFilter>* filter,
                           std::string* error) {
    if (module.empty()) {
        const HRESULT hr =
            CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, filter->ReceiveVoid());
        if (FAILED(hr)) {
            *error = "cannot create the filter " + GuidText(clsid) + ": CoCreateInstance " + HresultText(hr) +
                     (hr == REGDB_E_CLASSNOTREG ? " (class not registered: register the .ax or use --module)" : "");
            return false;
        }
        return true;
    }
    if (!module_) {
        module_ = LoadLibraryW(module.c_str());
        if (!module_) {
            *error = "cannot load the module " + Utf8(module) + ": error " + std::to_string(GetLastError());
            return false;
        }
    }
    const auto get_class_object =
        reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
    if (!get_class_object) {
        *error = Utf8(module) + " exports no DllGetClassObject";
        return false;
    }
    ComPtr<IClassFactory> factory;
    HRESULT hr = get_class_object(clsid, IID_IClassFactory, factory.ReceiveVoid());
    if (FAILED(hr) || !factory) {
        *error = Utf8(module) + " has no class " + GuidText(clsid) + ": DllGetClassObject " + HresultText(hr);
        return false;
    }
    hr = factory->CreateInstance(nullptr, IID_IBaseFilter, filter->ReceiveVoid());
    if (FAILED(hr) || !*filter) {
        *error = "IClassFactory::CreateInstance of " + GuidText(clsid) + ": " + HresultText(hr);
        return false;
    }
    return true;
}

bool SourceFactory::ModuleCanUnload() const {
    if (!module_) return true;
    const auto can_unload =
        reinterpret_cast<CanUnloadNowFn>(reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
    return !can_unload || can_unload() == S_OK;
}
