// CStreamsPage: the filter's "Streams" property page. It shows the file as
// the filter sees it: container brand, duration, each audio and video track
// (number, kind, format, language, size or rate, sample count, whether a pin
// plays it and what that pin has delivered). Read-only; refreshed each time
// the page is shown.
#ifndef KELO_FILTER_STREAMS_PAGE_H
#define KELO_FILTER_STREAMS_PAGE_H

#include <windows.h>

#include "com_ptr.h"
#include "kelo_streams.h"
#include "property_page.h"

class CStreamsPage : public CBasePropertyPage {
public:
    // The factory template's creation function: null with E_OUTOFMEMORY in
    // *result if the page cannot be allocated.
    static CUnknown* CreateInstance(IUnknown* owner, HRESULT* result);

    explicit CStreamsPage(IUnknown* owner);

private:
    HRESULT OnConnect(IUnknown* object) override;
    HRESULT OnDisconnect() override;
    HRESULT OnActivate() override;

    ComPtr<IKeloStreams> streams_;  // the connected filter's; null when not connected
};

#endif
