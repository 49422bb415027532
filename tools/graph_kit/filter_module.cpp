#include "filter_module.h"

#include <initguid.h>

#include "com_ptr.h"
#include "kelo_guids.h"

namespace {

template <class Function>
Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

FilterModule::~FilterModule() {
    if (module_) FreeLibrary(module_);
}

bool FilterModule::Load(const std::wstring& path, std::string* error) {
    module_ = LoadLibraryW(path.c_str());
    if (!module_) {
        *error = "cannot load the module: error " + std::to_string(GetLastError());
        return false;
    }
    get_class_object_ = Export<GetClassObjectFunction>(module_, "DllGetClassObject");
    can_unload_now_ = Export<CanUnloadNowFunction>(module_, "DllCanUnloadNow");
    library_memory_ = Export<LibraryMemoryFunction>(module_, kLibraryMemoryExport);
    if (!get_class_object_ || !can_unload_now_) {
        *error = "the module lacks DllGetClassObject or DllCanUnloadNow";
        return false;
    }
    return true;
}

HRESULT FilterModule::CreateFilter(IBaseFilter** filter) const {
    ComPtr<IClassFactory> factory;
    HRESULT hr = get_class_object_(CLSID_KeloMervane, IID_IClassFactory, factory.ReceiveVoid());
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter));
}

HRESULT FilterModule::CanUnloadNow() const { return can_unload_now_(); }

bool FilterModule::LibraryMemory(LibraryMemoryUse* use) const {
    if (!library_memory_) return false;
    library_memory_(use);
    return true;
}
