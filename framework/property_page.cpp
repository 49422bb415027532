#include "property_page.h"

#include <cstring>

namespace {

// The module whose resources hold the page's dialog and title: the one this
// code is linked into (the .ax), not the host program.
HINSTANCE ResourceModule(const void* address_in_module) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address_in_module), &module))
        return nullptr;
    return module;
}

// A copy of `text` (`length` characters, not terminated) in task memory, as
// PROPPAGEINFO's strings are handed over; null if out of memory.
LPOLESTR TaskMemString(const wchar_t* text, size_t length) {
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((length + 1) * sizeof(wchar_t)));
    if (!copy) return nullptr;
    if (length) std::memcpy(copy, text, length * sizeof(wchar_t));
    copy[length] = L'\0';
    return copy;
}

}  // namespace

CBasePropertyPage::CBasePropertyPage(const wchar_t* /*name*/, IUnknown* owner, int dialog_id, int title_id)
    : CUnknown(owner), dialog_id_(dialog_id), title_id_(title_id) {}

CBasePropertyPage::~CBasePropertyPage() {
    // A frame that drops the page without Deactivate: the dialog goes too,
    // after it stops reaching this (half-destroyed) object.
    if (dialog_) {
        SetWindowLongPtrW(dialog_, DWLP_USER, 0);
        DestroyWindow(dialog_);
    }
}

HRESULT STDMETHODCALLTYPE CBasePropertyPage::NonDelegatingQueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IPropertyPage) return GetInterface(static_cast<IPropertyPage*>(this), out);
    return CUnknown::NonDelegatingQueryInterface(iid, out);
}

HRESULT STDMETHODCALLTYPE CBasePropertyPage::SetPageSite(IPropertyPageSite* site) {
    // A site is given once and taken away once.
    if (site) {
        if (site_) return E_UNEXPECTED;
        site_ = ComPtr<IPropertyPageSite>(site);
    } else {
        if (!site_) return E_UNEXPECTED;
        site_.Reset();
    }
    return S_OK;
}

HWND CBasePropertyPage::CreatePageDialog(HWND parent) {
    HINSTANCE instance = ResourceModule(reinterpret_cast<const void*>(&CBasePropertyPage::DialogProc));
    if (!instance) return nullptr;
    return CreateDialogParamW(instance, MAKEINTRESOURCEW(dialog_id_), parent, &CBasePropertyPage::DialogProc,
                              reinterpret_cast<LPARAM>(this));
}

HRESULT STDMETHODCALLTYPE CBasePropertyPage::Activate(HWND parent, LPCRECT rect, BOOL /*modal*/) {
    if (!rect) return E_POINTER;
    if (dialog_) return E_UNEXPECTED;  // already active
    HWND dialog = CreatePageDialog(parent);
    if (!dialog) return E_OUTOFMEMORY;
    dialog_ = dialog;
    HRESULT hr = OnActivate();
    if (FAILED(hr)) {
        SetWindowLongPtrW(dialog_, DWLP_USER, 0);
        DestroyWindow(dialog_);
        dialog_ = nullptr;
        return hr;
    }
    hr = Move(rect);
    if (FAILED(hr)) return hr;
    return Show(SW_SHOWNORMAL);
}

HRESULT STDMETHODCALLTYPE CBasePropertyPage::Deactivate() {
    if (!dialog_) return E_UNEXPECTED;
    HRESULT hr = OnDeactivate();
    SetWindowLongPtrW(dialog_, DWLP_USER, 0);
    DestroyWindow(dialog_);
    dialog_ = nullptr;
    return hr;
}

HRESULT STDMETHODCALLTYPE CBasePropertyPage::GetPageInfo(PROPPAGEINFO* info) {
    if (!info) return E_POINTER;
    HINSTANCE instance = ResourceModule(reinterpret_cast<const void*>(&CBasePropertyPage::DialogProc));
    if (!instance) return E_FAIL;

    // The title straight from the string table (length 0 asks for a pointer
    // into the resource, which is not terminated).
    const wchar_t* title = nullptr;
    int length = LoadStringW(instance, static_cast<UINT>(title_id_), reinterpret_cast<LPWSTR>(&title), 0);
    if (length <= 0 || !title) return E_FAIL;

    // The page's size in pixels: the dialog's units depend on its font, so
    // the dialog is made (never shown) and measured.
    HWND probe = CreatePageDialog(GetDesktopWindow());
    if (!probe) return E_FAIL;
    RECT bounds{};
    GetWindowRect(probe, &bounds);
    SetWindowLongPtrW(probe, DWLP_USER, 0);
    DestroyWindow(probe);

    LPOLESTR title_copy = TaskMemString(title, static_cast<size_t>(length));
    if (!title_copy) return E_OUTOFMEMORY;
    info->cb = sizeof(PROPPAGEINFO);
    info->pszTitle = title_copy;
    info->size.cx = bounds.right - bounds.left;
    info->size.cy = bounds.bottom - bounds.top;
    info->pszDocString = nullptr;
    info->pszHelpFile = nullptr;
    info->dwHelpContext = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBasePropertyPage::SetObjects(ULONG count, IUnknown** objects) {
    if (count == 1) {
        if (!objects || !objects[0]) return E_POINTER;
        // A second object replaces the first: the first is let go.
        if (connected_) OnDisconnect();
        dirty_ = false;
        HRESULT hr = OnConnect(objects[0]);
        connected_ = SUCCEEDED(hr);
        return hr;
    }
    if (count == 0) {
        dirty_ = false;
        HRESULT hr = OnDisconnect();
        connected_ = false;
        return hr;
    }
    return E_UNEXPECTED;  // one page shows one object
}

HRESULT STDMETHODCALLTYPE CBasePropertyPage::Show(UINT show) {
    if (!dialog_) return E_UNEXPECTED;
    if (show != SW_SHOW && show != SW_SHOWNORMAL && show != SW_HIDE) return E_INVALIDARG;
    ShowWindow(dialog_, static_cast<int>(show));
    InvalidateRect(dialog_, nullptr, TRUE);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBasePropertyPage::Move(LPCRECT rect) {
    if (!rect) return E_POINTER;
    if (!dialog_) return E_UNEXPECTED;
    MoveWindow(dialog_, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBasePropertyPage::IsPageDirty() { return dirty_ ? S_OK : S_FALSE; }

HRESULT STDMETHODCALLTYPE CBasePropertyPage::Apply() {
    if (!connected_) return E_UNEXPECTED;
    if (!dirty_) return S_OK;
    HRESULT hr = OnApplyChanges();
    if (SUCCEEDED(hr)) dirty_ = false;
    return hr;
}

HRESULT STDMETHODCALLTYPE CBasePropertyPage::Help(LPCOLESTR) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CBasePropertyPage::TranslateAccelerator(MSG*) { return E_NOTIMPL; }

HRESULT CBasePropertyPage::OnConnect(IUnknown*) { return S_OK; }
HRESULT CBasePropertyPage::OnDisconnect() { return S_OK; }
HRESULT CBasePropertyPage::OnActivate() { return S_OK; }
HRESULT CBasePropertyPage::OnDeactivate() { return S_OK; }
HRESULT CBasePropertyPage::OnApplyChanges() { return S_OK; }
INT_PTR CBasePropertyPage::OnReceiveMessage(HWND, UINT, WPARAM, LPARAM) { return 0; }

void CBasePropertyPage::SetDirty() {
    dirty_ = true;
    if (site_) site_->OnStatusChange(PROPPAGESTATUS_DIRTY);
}

INT_PTR CALLBACK CBasePropertyPage::DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    // The page comes with WM_INITDIALOG; the few messages before it (the
    // font) are the dialog manager's own.
    if (message == WM_INITDIALOG) SetWindowLongPtrW(window, DWLP_USER, lparam);
    auto* page = reinterpret_cast<CBasePropertyPage*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!page) return FALSE;
    INT_PTR handled = page->OnReceiveMessage(window, message, wparam, lparam);
    // WM_INITDIALOG: TRUE lets the dialog manager give the first control the focus.
    return message == WM_INITDIALOG ? TRUE : handled;
}
