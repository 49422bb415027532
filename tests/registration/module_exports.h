// A module reached as a host reaches it: loaded by path, used only through
// its exports.
#ifndef KELO_TESTS_REGISTRATION_MODULE_EXPORTS_H
#define KELO_TESTS_REGISTRATION_MODULE_EXPORTS_H

#include <windows.h>

#include <string>

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

// A Unix absolute path reaches Wine programs as drive Z:.
inline std::wstring WindowsPath(const std::string& path) {
    std::wstring wide(path.begin(), path.end());
    if (!wide.empty() && wide[0] == L'/') wide = L"Z:" + wide;
    for (wchar_t& c : wide)
        if (c == L'/') c = L'\\';
    return wide;
}

// An export by name as the function type the caller knows it has; the cast
// goes through the generic function pointer type, which converts to any other.
template <typename Function>
Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Loads the module and finds its two lifetime exports; the module stays null
// when it cannot be loaded.
inline void LoadModule(const std::wstring& path, HMODULE* module, GetClassObjectFn* get_class_object,
                       CanUnloadNowFn* can_unload_now) {
    *module = LoadLibraryW(path.c_str());
    if (!*module) return;
    *get_class_object = Export<GetClassObjectFn>(*module, "DllGetClassObject");
    *can_unload_now = Export<CanUnloadNowFn>(*module, "DllCanUnloadNow");
}

inline void UnloadModule(HMODULE* module) {
    if (*module) FreeLibrary(*module);
    *module = nullptr;
}

#endif
