// The filter's module loaded into the process by path, as COM would load it:
// new filters through its class factory, DllCanUnloadNow, and, in the stress
// build of the module, the library's memory counters.
#ifndef KELO_TOOLS_KELO_STRESS_FILTER_MODULE_H
#define KELO_TOOLS_KELO_STRESS_FILTER_MODULE_H

#include <windows.h>
#include <strmif.h>

#include <string>

#include "library_memory.h"

class FilterModule {
public:
    FilterModule() = default;
    ~FilterModule();
    FilterModule(const FilterModule&) = delete;
    FilterModule& operator=(const FilterModule&) = delete;

    // False with a message when the module cannot be loaded or lacks the COM exports.
    bool Load(const std::wstring& path, std::string* error);
    // A new filter with one reference for the caller.
    HRESULT CreateFilter(IBaseFilter** filter) const;
    HRESULT CanUnloadNow() const;
    // False when the module is not the stress build (no counters).
    bool LibraryMemory(LibraryMemoryUse* use) const;

private:
    using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using CanUnloadNowFunction = HRESULT(STDAPICALLTYPE*)();

    HMODULE module_ = nullptr;
    GetClassObjectFunction get_class_object_ = nullptr;
    CanUnloadNowFunction can_unload_now_ = nullptr;
    LibraryMemoryFunction library_memory_ = nullptr;
};

#endif
