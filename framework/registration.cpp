#include "registration.h"

#include <strmif.h>
#include <dshow.h>

#include <cwchar>

#include "class_factory.h"
#include "com_ptr.h"
#include "filter_mapper.h"

namespace {

HRESULT ModulePath(wchar_t (&path)[MAX_PATH]) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&AMovieDllRegisterServer2), &module))
        return HRESULT_FROM_WIN32(GetLastError());
    DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0) return HRESULT_FROM_WIN32(GetLastError());
    if (length >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    return S_OK;
}

// "CLSID\{...}" for a class identifier.
void ClassKeyName(const CLSID& clsid, wchar_t (&name)[64]) {
    wchar_t text[40] = L"";
    StringFromGUID2(clsid, text, 40);
    swprintf(name, 64, L"CLSID\\%ls", text);
}

HRESULT SetStringValue(HKEY key, const wchar_t* name, const wchar_t* value) {
    DWORD bytes = static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t));
    LONG error = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), bytes);
    return HRESULT_FROM_WIN32(error);
}

HRESULT CreateKey(HKEY parent, const wchar_t* name, HKEY* key) {
    return HRESULT_FROM_WIN32(
        RegCreateKeyExW(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key, nullptr));
}

HRESULT RegisterClassKeys(const CFactoryTemplate& entry, const wchar_t* module_path) {
    wchar_t class_key[64];
    ClassKeyName(*entry.m_ClsID, class_key);
    HKEY key = nullptr;
    HRESULT hr = CreateKey(HKEY_CLASSES_ROOT, class_key, &key);
    if (FAILED(hr)) return hr;
    hr = SetStringValue(key, nullptr, entry.m_Name);
    HKEY server = nullptr;
    if (SUCCEEDED(hr)) hr = CreateKey(key, L"InprocServer32", &server);
    if (SUCCEEDED(hr)) {
        hr = SetStringValue(server, nullptr, module_path);
        if (SUCCEEDED(hr)) hr = SetStringValue(server, L"ThreadingModel", L"Both");
        RegCloseKey(server);
    }
    RegCloseKey(key);
    return hr;
}

void DeleteClassKeys(const CFactoryTemplate& entry) {
    wchar_t class_key[64];
    ClassKeyName(*entry.m_ClsID, class_key);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, class_key);
}

HRESULT RegisterTemplatesWithMapper(bool do_register) {
    ComPtr<IFilterMapper2> mapper2;
    ComPtr<IFilterMapper> mapper;
    HRESULT hr =
        CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2, mapper2.ReceiveVoid());
    if (FAILED(hr))
        hr = CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper,
                              mapper.ReceiveVoid());
    if (FAILED(hr)) return hr;
    for (int i = 0; i < g_cTemplates; ++i) {
        const AMOVIESETUP_FILTER* setup = g_Templates[i].m_pAMovieSetup_Filter;
        if (!setup) continue;
        hr = mapper2 ? RegisterFilterWithMapper2(mapper2.Get(), *setup, do_register)
                     : RegisterFilterWithMapper1(mapper.Get(), *setup, do_register);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

}  // namespace

HRESULT AMovieDllRegisterServer2(BOOL do_register) {
    wchar_t module_path[MAX_PATH];
    HRESULT hr = ModulePath(module_path);
    if (FAILED(hr)) return hr;

    if (do_register) {
        for (int i = 0; i < g_cTemplates; ++i) {
            hr = RegisterClassKeys(g_Templates[i], module_path);
            if (FAILED(hr)) return hr;
        }
    }

    HRESULT com = CoInitialize(nullptr);
    hr = RegisterTemplatesWithMapper(do_register != FALSE);
    CoFreeUnusedLibraries();
    if (SUCCEEDED(com)) CoUninitialize();

    if (do_register || FAILED(hr)) return hr;
    for (int i = 0; i < g_cTemplates; ++i) DeleteClassKeys(g_Templates[i]);
    return S_OK;
}
