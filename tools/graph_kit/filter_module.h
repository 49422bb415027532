// A COM module (the filter's .ax) loaded into the process by path and reached as COM reaches an in-process server:
// new objects through its class factory, DllCanUnloadNow, and any further export by name. Unloaded when it goes:
// every object it made must be gone by then.
#ifndef KELO_TOOLS_GRAPH_KIT_FILTER_MODULE_H
#define KELO_TOOLS_GRAPH_KIT_FILTER_MODULE_H

#include <windows.h>
#include <strmif.h>

#include <string>

#include "kelo_guids.h"

class FilterModule {
public:
    FilterModule() = default;
    ~FilterModule();
    FilterModule(const FilterModule&) = delete;
    FilterModule& operator=(const FilterModule&) = delete;

    // False with a message when the module cannot be loaded or lacks the COM exports.
    bool Load(const std::wstring& path, std::string* error);
    bool Loaded() const { return module_ != nullptr; }
    HMODULE Handle() const { return module_; }
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) const {
        return get_class_object_(clsid, iid, object);
    }
    // DllGetClassObject, then IClassFactory::CreateInstance (no outer object).
    HRESULT CreateObject(REFCLSID clsid, REFIID iid, void** object) const;
    // A new filter of `clsid` with one reference for the caller.
    HRESULT CreateFilter(IBaseFilter** filter, REFCLSID clsid = CLSID_KeloMervane) const {
        return CreateObject(clsid, IID_IBaseFilter, reinterpret_cast<void**>(filter));
    }
    HRESULT CanUnloadNow() const { return can_unload_now_(); }
    // An export by name as the function type the caller knows it has, or null.
    template <typename Function>
    Function Export(const char* name) const {
        return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module_, name)));
    }

private:
    using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using CanUnloadNowFunction = HRESULT(STDAPICALLTYPE*)();

    HMODULE module_ = nullptr;
    GetClassObjectFunction get_class_object_ = nullptr;
    CanUnloadNowFunction can_unload_now_ = nullptr;
};

#endif
