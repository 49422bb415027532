#include "mp4_properties.h"

#include <cwchar>
#include <new>

#include "kelo_guids.h"
#include "mp4_properties_resources.h"

CUnknown* CMP4Properties::CreateInstance(IUnknown* owner, HRESULT* result) {
    auto* page = new (std::nothrow) CMP4Properties(owner);
    if (!page && result) *result = E_OUTOFMEMORY;
    return page;
}

CMP4Properties::CMP4Properties(IUnknown* owner)
    : CBasePropertyPage(nullptr, owner, IDD_MP4_PROPERTIES, IDS_MP4_PROPERTIES_TITLE) {}

HRESULT CMP4Properties::OnConnect(IUnknown* object) {
    ComPtr<IMP4Param> param;
    if (FAILED(object->QueryInterface(IID_IMP4Param, param.ReceiveVoid()))) return E_NOINTERFACE;
    BYTE* iod = nullptr;
    ULONG length = 0;
    HRESULT hr = param->GetIOD(&iod, &length);
    if (FAILED(hr)) return hr;
    param_ = std::move(param);
    iod_ = iod;
    iod_length_ = length;
    active_ = false;
    return S_OK;
}

HRESULT CMP4Properties::OnDisconnect() {
    if (!param_) return E_UNEXPECTED;
    param_.Reset();
    iod_ = nullptr;
    iod_length_ = 0;
    return S_OK;
}

HRESULT CMP4Properties::OnActivate() {
    // The leading blank keeps the number clear of the edit box's border.
    wchar_t text[100];
    std::swprintf(text, sizeof text / sizeof text[0], L" Length = %lu", static_cast<unsigned long>(iod_length_));
    SetDlgItemTextW(Dialog(), IDC_IOD_LENGTH, text);
    active_ = true;
    return S_OK;
}

HRESULT CMP4Properties::OnDeactivate() {
    active_ = false;
    return S_OK;
}

// The page shows; it has nothing to write back.
HRESULT CMP4Properties::OnApplyChanges() { return S_OK; }

INT_PTR CMP4Properties::OnReceiveMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message != WM_COMMAND) return CBasePropertyPage::OnReceiveMessage(window, message, wparam, lparam);
    // Commands that come while the dialog is being set up are not the user's.
    if (active_) SetDirty();
    return 1;
}
