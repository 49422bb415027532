#include "source_factory.h"

#include "text.h"

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
    if (!module_.Loaded() && !module_.Load(module, error)) {
        *error = Utf8(module) + ": " + *error;
        return false;
    }
    const HRESULT hr = module_.CreateFilter(filter->Receive(), clsid);
    if (FAILED(hr) || !*filter) {
        *error = "the class factory of " + Utf8(module) + " made no " + GuidText(clsid) + ": " + HresultText(hr);
        return false;
    }
    return true;
}

bool SourceFactory::ModuleCanUnload() const { return !module_.Loaded() || module_.CanUnloadNow() == S_OK; }
