// CBasePropertyPage: a property page object (IPropertyPage) around a child
// dialog from the module's resources. It keeps the page site, the dirty flag
// and the dialog window, and leaves what the page shows and does to the
// derived class's On* hooks.
//
// Lifecycle as a property frame drives it: SetPageSite(site), SetObjects(1,
// object) -> OnConnect, Activate(parent) -> dialog made, OnActivate, moved and
// shown; Deactivate -> OnDeactivate, dialog destroyed; Apply -> OnApplyChanges
// when dirty; SetObjects(0) -> OnDisconnect; SetPageSite(null).
#ifndef KELO_FRAMEWORK_PROPERTY_PAGE_H
#define KELO_FRAMEWORK_PROPERTY_PAGE_H

#include <windows.h>
#include <ocidl.h>

#include "com_ptr.h"
#include "unknown.h"

class CBasePropertyPage : public CUnknown, public IPropertyPage {
public:
    // `dialog_id` and `title_id` name a dialog and a string in the resources
    // of the module this code is linked into. `name` is for debugging only.
    CBasePropertyPage(const wchar_t* name, IUnknown* owner, int dialog_id, int title_id);
    ~CBasePropertyPage() override;

    KELO_IUNKNOWN_FROM_OWNER
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** out) override;

    // IPropertyPage
    HRESULT STDMETHODCALLTYPE SetPageSite(IPropertyPageSite* site) override;
    HRESULT STDMETHODCALLTYPE Activate(HWND parent, LPCRECT rect, BOOL modal) override;
    HRESULT STDMETHODCALLTYPE Deactivate() override;
    HRESULT STDMETHODCALLTYPE GetPageInfo(PROPPAGEINFO* info) override;
    HRESULT STDMETHODCALLTYPE SetObjects(ULONG count, IUnknown** objects) override;
    HRESULT STDMETHODCALLTYPE Show(UINT show) override;
    HRESULT STDMETHODCALLTYPE Move(LPCRECT rect) override;
    HRESULT STDMETHODCALLTYPE IsPageDirty() override;
    HRESULT STDMETHODCALLTYPE Apply() override;
    HRESULT STDMETHODCALLTYPE Help(LPCOLESTR help_dir) override;
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* message) override;

protected:
    // The derived page's hooks; the defaults do nothing and succeed.
    virtual HRESULT OnConnect(IUnknown* object);
    virtual HRESULT OnDisconnect();
    virtual HRESULT OnActivate();
    virtual HRESULT OnDeactivate();
    virtual HRESULT OnApplyChanges();
    // A message to the dialog; the answer is the dialog procedure's (non-zero:
    // handled). The default handles nothing.
    virtual INT_PTR OnReceiveMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

    // Marks the page changed and tells the frame, so that it enables Apply.
    void SetDirty();
    HWND Dialog() const { return dialog_; }
    IPropertyPageSite* PageSite() const { return site_.Get(); }
    bool Dirty() const { return dirty_; }
    void ClearDirty() { dirty_ = false; }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    // The dialog as a child of `parent`; null if it could not be made.
    HWND CreatePageDialog(HWND parent);

    int dialog_id_;
    int title_id_;
    ComPtr<IPropertyPageSite> site_;
    HWND dialog_ = nullptr;
    bool dirty_ = false;
    bool connected_ = false;  // SetObjects gave an object and OnConnect took it
};

#endif
