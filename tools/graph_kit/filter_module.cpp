#include <initguid.h>

#include "filter_module.h"

#include "com_ptr.h"

FilterModule::~FilterModule() {
    if (module_) FreeLibrary(module_);
}

bool FilterModule::Load(const std::wstring& path, std::string* error) {
    module_ = LoadLibraryW(path.c_str());
    if (!module_) {
        *error = "cannot load the module: error " + std::to_string(GetLastError());
        return false;
    }
    get_class_object_ = Export<GetClassObjectFunction>("DllGetClassObject");
    can_unload_now_ = Export<CanUnloadNowFunction>("DllCanUnloadNow");
    if (!get_class_object_ || !can_unload_now_) {
        *error = "the module lacks DllGetClassObject or DllCanUnloadNow";
        FreeLibrary(module_);
        module_ = nullptr;
        return false;
    }
    return true;
}

HRESULT FilterModule::CreateObject(REFCLSID clsid, REFIID iid, void** object) const {
    *object = nullptr;
    ComPtr<IClassFactory> factory;
    HRESULT hr = get_class_object_(clsid, IID_IClassFactory, factory.ReceiveVoid());
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(nullptr, iid, object);
}
