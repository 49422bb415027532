// The filter's property page as a property frame drives it, in a real window
// (run under a virtual X display): the page named by the filter's
// ISpecifyPropertyPages::GetPages is made through the module's class factory,
// connected to a filter that has loaded a file, activated in a parent window,
// and checked through its dialog's controls, its dirty flag, Apply and the
// connection rules. The module is loaded by path and reached only through its
// exports, as a host reaches it.
//
// Usage: property_page_test [gtest options] MODULE.ax MEDIA_FILE
#include <dshow.h>
#include <gtest/gtest.h>
#include <ocidl.h>
#include <olectl.h>
#include <windows.h>

#include <initguid.h>

#include <string>
#include <tuple>
#include <vector>

#include "com_apartment.h"
#include "com_ptr.h"
#include "kelo_guids.h"
#include "loaded_module_test.h"
#include "stack_com_object.h"

namespace {

constexpr int kEditId = 1001;
// The Streams page: its brand and duration fields and its list.
constexpr int kBrandId = 1002, kDurationId = 1003, kStreamsListId = 1004;

std::wstring g_media_path;

std::wstring WindowText(HWND window) {
    wchar_t text[256] = L"";
    GetWindowTextW(window, text, 256);
    return text;
}

// A page site that records what the page tells its frame.
class RecordingPageSite : public StackComObject<IPropertyPageSite> {
public:
    RecordingPageSite() : StackComObject(IID_IPropertyPageSite) {}
    HRESULT STDMETHODCALLTYPE OnStatusChange(DWORD flags) override {
        status_changes.push_back(flags);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetLocaleID(LCID* locale) override {
        if (!locale) return E_POINTER;
        *locale = LOCALE_USER_DEFAULT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPageContainer(IUnknown** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*) override { return E_NOTIMPL; }

    std::vector<DWORD> status_changes;
};

// What the page could change in the filter, read through the filter's own interfaces.
struct FilterSnapshot {
    std::wstring file;
    LONGLONG duration = 0, current = 0, stop = 0;
    double rate = 0;
    int pins = 0;

    bool operator==(const FilterSnapshot& o) const {
        return std::tie(file, duration, current, stop, rate, pins) ==
               std::tie(o.file, o.duration, o.current, o.stop, o.rate, o.pins);
    }
};

class PropertyPageTest : public LoadedModuleTest {
protected:
    void SetUp() override {
        LoadedModuleTest::SetUp();
        if (HasFatalFailure()) return;
        parent_ = CreateWindowExW(0, L"STATIC", L"property page test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(parent_, nullptr) << "no window: is there a display?";
    }
    void TearDown() override {
        page_.Reset();
        filter_.Reset();
        if (parent_) DestroyWindow(parent_);
        PumpMessages();
        LoadedModuleTest::TearDown();
    }

    static void PumpMessages() {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }

    static FilterSnapshot Snapshot(IBaseFilter* filter) {
        FilterSnapshot s;
        ComPtr<IFileSourceFilter> source;
        ComPtr<IMediaSeeking> seeking;
        EXPECT_EQ(filter->QueryInterface(IID_IFileSourceFilter, source.ReceiveVoid()), S_OK);
        EXPECT_EQ(filter->QueryInterface(IID_IMediaSeeking, seeking.ReceiveVoid()), S_OK);
        if (!source || !seeking) return s;
        LPOLESTR name = nullptr;
        if (SUCCEEDED(source->GetCurFile(&name, nullptr)) && name) s.file = name;
        CoTaskMemFree(name);
        EXPECT_EQ(seeking->GetDuration(&s.duration), S_OK);
        EXPECT_EQ(seeking->GetPositions(&s.current, &s.stop), S_OK);
        EXPECT_EQ(seeking->GetRate(&s.rate), S_OK);
        ComPtr<IEnumPins> pins;
        EXPECT_EQ(filter->EnumPins(pins.Receive()), S_OK);
        for (ComPtr<IPin> pin; pins && pins->Next(1, pin.Receive(), nullptr) == S_OK;) ++s.pins;
        return s;
    }

    // A filter that has loaded the media file and its page `index` (0 Parameters, 1 Streams) as GetPages names it,
    // made through the class factory and connected to the filter unless `connect` is false.
    void FilterAndPage(ULONG index = 0, bool connect = true) {
        ASSERT_EQ(module_->CreateFilter(filter_.Receive()), S_OK);
        ComPtr<IFileSourceFilter> source;
        ComPtr<ISpecifyPropertyPages> specify;
        ASSERT_EQ(filter_.QueryTo(IID_IFileSourceFilter, &source), S_OK);
        ASSERT_EQ(source->Load(g_media_path.c_str(), nullptr), S_OK) << Utf8(g_media_path);
        ASSERT_EQ(filter_.QueryTo(IID_ISpecifyPropertyPages, &specify), S_OK);
        CAUUID pages{};
        ASSERT_EQ(specify->GetPages(&pages), S_OK);
        const std::vector<CLSID> named(pages.pElems, pages.pElems + pages.cElems);
        CoTaskMemFree(pages.pElems);
        ASSERT_EQ(named.size(), 2u);
        EXPECT_TRUE(IsEqualCLSID(named[0], CLSID_KeloMervaneProperties));
        EXPECT_TRUE(IsEqualCLSID(named[1], CLSID_KeloMervaneStreams));
        ASSERT_EQ(module_->CreateObject(named[index], IID_IPropertyPage, page_.ReceiveVoid()), S_OK);
        IUnknown* objects[] = {filter_.Get()};
        if (connect) ASSERT_EQ(page_->SetObjects(1, objects), S_OK);
    }
    HWND PageDialog() const { return FindWindowExW(parent_, nullptr, MAKEINTATOM(32770), nullptr); }

    HWND parent_ = nullptr;
    ComPtr<IBaseFilter> filter_;
    ComPtr<IPropertyPage> page_;
};

// The page as a frame shows it: its title, the dialog's size (190 x 106 units in pixels of its own font) for the
// frame to make room for, placed where the frame says; the descriptor length shown read-only; a command makes it
// dirty and Apply changes nothing in the filter.
TEST_F(PropertyPageTest, ShowsTheLoadedFiltersDescriptorLengthAndAppliesNothing) {
    ASSERT_NO_FATAL_FAILURE(FilterAndPage());
    RecordingPageSite site;
    ASSERT_EQ(page_->SetPageSite(&site), S_OK);
    const FilterSnapshot before = Snapshot(filter_.Get());
    EXPECT_GT(before.pins, 0) << "the file loaded: the page is connected to a working filter";

    PROPPAGEINFO info{};
    ASSERT_EQ(page_->GetPageInfo(&info), S_OK);
    EXPECT_EQ(info.cb, sizeof(PROPPAGEINFO));
    ASSERT_NE(info.pszTitle, nullptr);
    EXPECT_EQ(Utf8(info.pszTitle), "Parameters");
    EXPECT_EQ(info.pszDocString, nullptr);
    EXPECT_EQ(info.pszHelpFile, nullptr);
    CoTaskMemFree(info.pszTitle);
    RECT rect{5, 7, 5 + info.size.cx, 7 + info.size.cy};
    ASSERT_EQ(page_->Activate(parent_, &rect, FALSE), S_OK);
    EXPECT_EQ(page_->Activate(parent_, &rect, FALSE), E_UNEXPECTED) << "one dialog at a time";
    PumpMessages();
    HWND dialog = PageDialog();
    ASSERT_NE(dialog, nullptr) << "the page's dialog is a child of the parent window";
    EXPECT_TRUE(IsWindowVisible(dialog));
    RECT units{0, 0, 190, 106};
    ASSERT_TRUE(MapDialogRect(dialog, &units));
    EXPECT_EQ(info.size.cx, units.right);
    EXPECT_EQ(info.size.cy, units.bottom);
    RECT placed{};
    GetWindowRect(dialog, &placed);
    MapWindowPoints(nullptr, parent_, reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_TRUE(EqualRect(&placed, &rect)) << "Activate moves the page into its rectangle";

    HWND edit = GetDlgItem(dialog, kEditId);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(Utf8(WindowText(edit)), " Length = 0");
    EXPECT_TRUE(GetWindowLongW(edit, GWL_STYLE) & ES_READONLY);

    EXPECT_EQ(page_->IsPageDirty(), S_FALSE) << "showing the length is not a change";
    EXPECT_TRUE(site.status_changes.empty());
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(kEditId, EN_SETFOCUS), reinterpret_cast<LPARAM>(edit));
    EXPECT_EQ(page_->IsPageDirty(), S_OK);
    ASSERT_EQ(site.status_changes.size(), 1u) << "the frame hears of the change";
    EXPECT_EQ(site.status_changes[0], DWORD(PROPPAGESTATUS_DIRTY));

    EXPECT_EQ(page_->Apply(), S_OK);
    EXPECT_EQ(page_->IsPageDirty(), S_FALSE) << "applied";
    EXPECT_TRUE(Snapshot(filter_.Get()) == before) << "Apply changed the filter";

    ASSERT_EQ(page_->Deactivate(), S_OK);
    PumpMessages();
    EXPECT_FALSE(IsWindow(dialog)) << "the dialog goes with Deactivate";
    EXPECT_EQ(page_->Deactivate(), E_UNEXPECTED) << "not active any more";

    EXPECT_EQ(page_->SetObjects(0, nullptr), S_OK);
    EXPECT_EQ(page_->SetPageSite(nullptr), S_OK);
    EXPECT_EQ(site.References(), 0) << "the page let its site go";
    EXPECT_TRUE(Snapshot(filter_.Get()) == before);
}

// The file: 16-bit big-endian PCM, stereo, 44.1 kHz, 3 s, written by ffmpeg's
// QuickTime muxer, language "und"; the filter loaded, not played.
TEST_F(PropertyPageTest, StreamsPageShowsTheFileWhenShown) {
    ASSERT_NO_FATAL_FAILURE(FilterAndPage(1));
    RecordingPageSite site;
    ASSERT_EQ(page_->SetPageSite(&site), S_OK);
    RECT rect{0, 0, 600, 260};
    ASSERT_EQ(page_->Activate(parent_, &rect, FALSE), S_OK);
    PumpMessages();
    HWND dialog = PageDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Utf8(WindowText(GetDlgItem(dialog, kBrandId))), "qt   (qt  )");
    EXPECT_EQ(Utf8(WindowText(GetDlgItem(dialog, kDurationId))), "3.000 s");
    HWND list = GetDlgItem(dialog, kStreamsListId);
    ASSERT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 2) << "the heading and the one track";
    wchar_t row[256] = {};
    SendMessageW(list, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(row));
    EXPECT_EQ(Utf8(row), "1\taudio\tPCM 16-bit 2.0, 44.1 kHz\tund\t44100 Hz\t132300\tplays, 0 delivered");
    EXPECT_EQ(page_->IsPageDirty(), S_FALSE);
    ASSERT_EQ(page_->Deactivate(), S_OK);
    EXPECT_EQ(page_->SetObjects(0, nullptr), S_OK);
    EXPECT_EQ(page_->SetPageSite(nullptr), S_OK);
}

TEST_F(PropertyPageTest, CommandsAfterDeactivateAndBeforeActivateLeaveThePageClean) {
    ASSERT_NO_FATAL_FAILURE(FilterAndPage());
    EXPECT_EQ(page_->Apply(), S_OK) << "nothing to apply";
    RECT rect{0, 0, 200, 100};
    ASSERT_EQ(page_->Activate(parent_, &rect, FALSE), S_OK);
    EXPECT_EQ(page_->IsPageDirty(), S_FALSE) << "filling the length box is no command of the user's";
    // Without a page site the page still turns dirty.
    SendMessageW(PageDialog(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_EQ(page_->IsPageDirty(), S_OK);
    EXPECT_EQ(page_->Deactivate(), S_OK);
    // Connecting again starts clean.
    ASSERT_EQ(page_->SetObjects(0, nullptr), S_OK);
    IUnknown* objects[] = {filter_.Get()};
    ASSERT_EQ(page_->SetObjects(1, objects), S_OK);
    EXPECT_EQ(page_->IsPageDirty(), S_FALSE);
    EXPECT_EQ(page_->SetObjects(0, nullptr), S_OK);
}

TEST_F(PropertyPageTest, ConnectionRules) {
    ASSERT_NO_FATAL_FAILURE(FilterAndPage(0, false));

    EXPECT_EQ(page_->SetObjects(0, nullptr), E_UNEXPECTED) << "disconnecting an unconnected page";
    EXPECT_EQ(page_->Apply(), E_UNEXPECTED) << "nothing to apply to";

    // Objects without IMP4Param: the module's class factory and the page itself.
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(module_->GetClassObject(CLSID_KeloMervane, IID_IClassFactory, factory.ReceiveVoid()), S_OK);
    for (IUnknown* stranger : {static_cast<IUnknown*>(factory.Get()), static_cast<IUnknown*>(page_.Get())}) {
        IUnknown* objects[] = {stranger};
        EXPECT_EQ(page_->SetObjects(1, objects), E_NOINTERFACE);
        EXPECT_EQ(page_->SetObjects(0, nullptr), E_UNEXPECTED) << "the page stayed unconnected";
    }
    factory.Reset();

    IUnknown* nothing[] = {nullptr};
    EXPECT_EQ(page_->SetObjects(1, nothing), E_POINTER);
    IUnknown* two[] = {filter_.Get(), filter_.Get()};
    EXPECT_EQ(page_->SetObjects(2, two), E_UNEXPECTED);

    EXPECT_EQ(page_->Help(nullptr), E_NOTIMPL);
    EXPECT_EQ(page_->TranslateAccelerator(nullptr), E_NOTIMPL);
    EXPECT_EQ(page_->GetPageInfo(nullptr), E_POINTER);
    EXPECT_EQ(page_->Show(SW_SHOW), E_UNEXPECTED) << "no dialog yet";
    EXPECT_EQ(page_->Move(nullptr), E_POINTER);
    RECT rect{0, 0, 10, 10};
    EXPECT_EQ(page_->Move(&rect), E_UNEXPECTED);
    EXPECT_EQ(page_->Activate(parent_, nullptr, FALSE), E_POINTER);
    EXPECT_EQ(page_->SetPageSite(nullptr), E_UNEXPECTED) << "no site to take away";
    RecordingPageSite site;
    EXPECT_EQ(page_->SetPageSite(&site), S_OK);
    EXPECT_EQ(page_->SetPageSite(&site), E_UNEXPECTED) << "a site is given once";
    EXPECT_EQ(page_->SetPageSite(nullptr), S_OK);
    EXPECT_EQ(site.References(), 0);
}

// A page dropped while connected and shown lets go of the filter and its
// dialog: nothing of the module is left (checked in TearDown).
TEST_F(PropertyPageTest, ReleasingAnActivePageReleasesEverything) {
    ASSERT_NO_FATAL_FAILURE(FilterAndPage());
    RECT rect{0, 0, 200, 100};
    ASSERT_EQ(page_->Activate(parent_, &rect, FALSE), S_OK);
    EXPECT_EQ(module_->CanUnloadNow(), S_FALSE);
    EXPECT_EQ(page_.Detach()->Release(), 0u);
    EXPECT_EQ(PageDialog(), nullptr) << "the dialog went with the page";
    EXPECT_EQ(filter_.Detach()->Release(), 0u) << "the page released its reference on the filter";
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s [gtest options] MODULE.ax MEDIA_FILE\n", argv[0]);
        return 2;
    }
    LoadedModuleTest::path = WindowsPath(argv[1]);
    g_media_path = WindowsPath(argv[2]);
    // Windows belong to the thread that made them: one apartment thread.
    ComApartment apartment(COINIT_APARTMENTTHREADED);
    if (FAILED(apartment.Result())) {
        std::fprintf(stderr, "CoInitializeEx failed\n");
        return 2;
    }
    return RUN_ALL_TESTS();
}
