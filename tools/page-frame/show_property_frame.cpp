// Shows the filter's property page the way an application does: a filter of
// the module loads a file, and the system's property frame
// (OleCreatePropertyFrame) shows the pages the filter names. For pictures of
// the page: once the frame is on screen its window rectangle is written to
// READY_FILE ("left top width height", screen pixels); the frame closes when
// CLOSE_FILE appears, or after 60 seconds. FIRST_PAGE (default 0) is the
// filter's page the frame opens on; with PLAY_MS the filter first plays in a
// graph, each pin into a Null Renderer, for that long and stays paused there.
//
// Usage: show_property_frame MODULE.ax MEDIA_FILE READY_FILE CLOSE_FILE [FIRST_PAGE [PLAY_MS]]
#include <dshow.h>
#include <ocidl.h>
#include <olectl.h>
#include <windows.h>

#include <initguid.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "com_apartment.h"
#include "com_ptr.h"
#include "filter_module.h"
#include "first_pin.h"
#include "text.h"
#include "kelo_guids.h"

// {C1F400A4-3F08-11D3-9F0B-006008039E37}, which the mingw-w64 headers lack.
DEFINE_GUID(CLSID_KeloNullRenderer, 0xc1f400a4, 0x3f08, 0x11d3, 0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37);

namespace {

constexpr UINT kPollMs = 200;
constexpr DWORD kLongestShowMs = 60000;

std::wstring g_ready_file;
std::wstring g_close_file;
bool g_reported = false;
DWORD g_started = 0;

// The frame is the visible top-level window this thread made.
BOOL CALLBACK FindFrame(HWND window, LPARAM found) {
    if (!IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Runs inside the frame's modal loop.
void CALLBACK Poll(HWND, UINT, UINT_PTR, DWORD) {
    HWND frame = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindFrame, reinterpret_cast<LPARAM>(&frame));
    if (!frame) return;
    if (!g_reported) {
        RECT rect{};
        GetWindowRect(frame, &rect);
        FILE* out = _wfopen(g_ready_file.c_str(), L"w");
        if (out) {
            std::fprintf(out, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
            std::fclose(out);
        }
        g_reported = true;
    }
    if (Exists(g_close_file) || GetTickCount() - g_started > kLongestShowMs) PostMessageW(frame, WM_CLOSE, 0, 0);
}

int Fail(const char* what, HRESULT hr) {
    std::fprintf(stderr, "show_property_frame: %s failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
    return 1;
}

// The filter in a graph, each output pin into a Null Renderer, run for
// `ms` and then paused; the graph stays until `graph` is released.
HRESULT PlayBriefly(IUnknown* filter, DWORD ms, ComPtr<IGraphBuilder>* graph) {
    ComPtr<IBaseFilter> source;
    ComPtr<IMediaControl> control;
    HRESULT hr =
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph->ReceiveVoid());
    if (SUCCEEDED(hr)) hr = filter->QueryInterface(IID_IBaseFilter, source.ReceiveVoid());
    if (SUCCEEDED(hr)) hr = (*graph)->AddFilter(source.Get(), L"Source");
    ComPtr<IEnumPins> pins;
    if (SUCCEEDED(hr)) hr = source->EnumPins(pins.Receive());
    ComPtr<IPin> pin;
    while (SUCCEEDED(hr) && pins->Next(1, pin.Receive(), nullptr) == S_OK) {
        ComPtr<IBaseFilter> renderer;
        hr = CoCreateInstance(CLSID_KeloNullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                              renderer.ReceiveVoid());
        if (SUCCEEDED(hr)) hr = (*graph)->AddFilter(renderer.Get(), nullptr);
        ComPtr<IPin> input = SUCCEEDED(hr) ? FirstPin(renderer.Get(), PINDIR_INPUT) : ComPtr<IPin>();
        if (SUCCEEDED(hr)) hr = input ? (*graph)->ConnectDirect(pin.Get(), input.Get(), nullptr) : E_FAIL;
    }
    if (SUCCEEDED(hr)) hr = graph->QueryTo(IID_IMediaControl, &control);
    if (SUCCEEDED(hr)) hr = control->Run();
    if (FAILED(hr)) return hr;
    Sleep(ms);
    return control->Pause();
}

int Show(const FilterModule& module, const std::wstring& media, ULONG first_page, DWORD play_ms) {
    ComPtr<IUnknown> filter;
    HRESULT hr = module.CreateObject(CLSID_KeloMervane, IID_IUnknown, filter.ReceiveVoid());
    if (FAILED(hr)) return Fail("the class factory's CreateInstance", hr);
    ComPtr<IFileSourceFilter> source;
    hr = filter.QueryTo(IID_IFileSourceFilter, &source);
    if (SUCCEEDED(hr)) hr = source->Load(media.c_str(), nullptr);
    if (FAILED(hr)) return Fail("Load", hr);

    ComPtr<IGraphBuilder> graph;
    if (play_ms > 0 && FAILED(hr = PlayBriefly(filter.Get(), play_ms, &graph))) return Fail("playing", hr);

    ComPtr<ISpecifyPropertyPages> specify;
    hr = filter.QueryTo(IID_ISpecifyPropertyPages, &specify);
    CAUUID pages{};
    if (SUCCEEDED(hr)) hr = specify->GetPages(&pages);
    if (FAILED(hr)) return Fail("GetPages", hr);
    // The frame opens on its first page: the one asked for goes first.
    for (ULONG i = 0; i < first_page % (pages.cElems ? pages.cElems : 1); ++i) {
        const GUID page = pages.pElems[0];
        for (ULONG k = 1; k < pages.cElems; ++k) pages.pElems[k - 1] = pages.pElems[k];
        pages.pElems[pages.cElems - 1] = page;
    }

    // The frame makes the pages through COM: the module must be registered.
    g_started = GetTickCount();
    UINT_PTR timer = SetTimer(nullptr, 0, kPollMs, Poll);
    IUnknown* objects[] = {filter.Get()};
    hr =
        OleCreatePropertyFrame(nullptr, 40, 40, L"Kelo Mervane", 1, objects, pages.cElems, pages.pElems, 0, 0, nullptr);
    KillTimer(nullptr, timer);
    CoTaskMemFree(pages.pElems);
    ComPtr<IMediaControl> control;
    if (graph && SUCCEEDED(graph.QueryTo(IID_IMediaControl, &control))) control->Stop();
    if (FAILED(hr)) return Fail("OleCreatePropertyFrame", hr);
    return g_reported ? 0 : Fail("showing the frame", E_FAIL);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 5 || argc > 7) {
        std::fprintf(stderr,
                     "usage: show_property_frame MODULE.ax MEDIA_FILE READY_FILE CLOSE_FILE [FIRST_PAGE [PLAY_MS]]\n");
        return 2;
    }
    g_ready_file = argv[3];
    g_close_file = argv[4];
    ComApartment apartment(COINIT_APARTMENTTHREADED);
    if (FAILED(apartment.Result())) return Fail("CoInitializeEx", apartment.Result());
    FilterModule module;
    std::string error;
    if (!module.Load(WindowsPath(Utf8(argv[1])), &error)) return Fail(error.c_str(), E_FAIL);
    const int result = Show(module, WindowsPath(Utf8(argv[2])), argc >= 6 ? wcstoul(argv[5], nullptr, 10) : 0,
                            argc == 7 ? wcstoul(argv[6], nullptr, 10) : 0);
    CoFreeUnusedLibraries();
    return result;
}
