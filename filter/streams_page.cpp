#include "streams_page.h"

#include <new>
#include <string>

#include "kelo_guids.h"
#include "mp4_properties_resources.h"

namespace {

// The list's columns, in dialog units from its left edge: kind, format,
// language, size or rate, samples, pin.
const int kTabStops[] = {20, 44, 136, 170, 210, 240};

}  // namespace

CUnknown* CStreamsPage::CreateInstance(IUnknown* owner, HRESULT* result) {
    auto* page = new (std::nothrow) CStreamsPage(owner);
    if (!page && result) *result = E_OUTOFMEMORY;
    return page;
}

CStreamsPage::CStreamsPage(IUnknown* owner) : CBasePropertyPage(nullptr, owner, IDD_STREAMS, IDS_STREAMS_TITLE) {}

HRESULT CStreamsPage::OnConnect(IUnknown* object) {
    ComPtr<IKeloStreams> streams;
    if (FAILED(object->QueryInterface(IID_IKeloStreams, streams.ReceiveVoid()))) return E_NOINTERFACE;
    streams_ = std::move(streams);
    return S_OK;
}

HRESULT CStreamsPage::OnDisconnect() {
    if (!streams_) return E_UNEXPECTED;
    streams_.Reset();
    return S_OK;
}

// The report's lines before its blank line fill the labelled fields (brand,
// then duration); the lines after it are the list's rows.
HRESULT CStreamsPage::OnActivate() {
    WCHAR* report = nullptr;
    HRESULT hr = streams_->GetStreamsReport(&report);
    if (FAILED(hr)) return hr;
    const std::wstring text = report;
    CoTaskMemFree(report);

    HWND list = GetDlgItem(Dialog(), IDC_STREAMS_LIST);
    SendMessageW(list, LB_SETTABSTOPS, sizeof kTabStops / sizeof kTabStops[0], reinterpret_cast<LPARAM>(kTabStops));
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    const int fields[] = {IDC_STREAMS_BRAND, IDC_STREAMS_DURATION};
    size_t field = 0;
    bool rows = false;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find(L'\n', at);
        if (end == std::wstring::npos) end = text.size();
        const std::wstring line = text.substr(at, end - at);
        at = end + 1;
        if (line.empty()) {
            rows = true;
        } else if (rows) {
            SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
        } else if (field < sizeof fields / sizeof fields[0]) {
            const size_t tab = line.find(L'\t');
            SetDlgItemTextW(Dialog(), fields[field++], tab == std::wstring::npos ? L"" : line.c_str() + tab + 1);
        }
    }
    return S_OK;
}
