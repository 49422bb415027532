// CMP4Properties: the filter's property page. It reads the filter's
// initial-object-descriptor parameters through IMP4Param and shows the
// descriptor's length; it changes nothing in the filter.
#ifndef KELO_FILTER_MP4_PROPERTIES_H
#define KELO_FILTER_MP4_PROPERTIES_H

#include <windows.h>

#include "com_ptr.h"
#include "mp4_param.h"
#include "property_page.h"

class CMP4Properties : public CBasePropertyPage {
public:
    // The factory template's creation function: null with E_OUTOFMEMORY in
    // *result if the page cannot be allocated.
    static CUnknown* CreateInstance(IUnknown* owner, HRESULT* result);

    explicit CMP4Properties(IUnknown* owner);

private:
    HRESULT OnConnect(IUnknown* object) override;
    HRESULT OnDisconnect() override;
    HRESULT OnActivate() override;
    HRESULT OnDeactivate() override;
    HRESULT OnApplyChanges() override;
    INT_PTR OnReceiveMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) override;

    ComPtr<IMP4Param> param_;  // the connected filter's; null when not connected
    bool active_ = false;      // between OnActivate and OnDeactivate
    BYTE* iod_ = nullptr;      // the filter's, not owned
    ULONG iod_length_ = 0;
};

#endif
