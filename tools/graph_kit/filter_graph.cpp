#include "filter_graph.h"

#include <evcode.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

}  // namespace

// {F8A1118B-3CC0-410E-BF71-0A3AE1F74AB4}, as the module registers it.
static const GUID kFilterClass = {0xf8a1118b, 0x3cc0, 0x410e, {0xbf, 0x71, 0x0a, 0x3a, 0xe1, 0xf7, 0x4a, 0xb4}};

std::wstring WindowsPath(const std::string& unix_path) {
    std::wstring path = unix_path.size() && unix_path[0] == '/' ? L"Z:" : L"";
    int length = MultiByteToWideChar(CP_UTF8, 0, unix_path.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length - 1 : 0), L'\0');
    if (length > 1) MultiByteToWideChar(CP_UTF8, 0, unix_path.c_str(), -1, &wide[0], length);
    for (wchar_t& c : wide)
        if (c == L'/') c = L'\\';
    return path + wide;
}

std::string PcmMedia(const std::string& name) { return Environment("KELO_PCM_MEDIA") + "/" + name; }

std::vector<uint8_t> ReadWholeFile(const std::string& unix_path) {
    std::ifstream in(WindowsPath(unix_path).c_str(), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ScratchFile(const std::string& name) {
    const std::string folder = Environment("KELO_SCRATCH");
    CreateDirectoryW(WindowsPath(folder).c_str(), nullptr);
    return folder + "/" + name;
}

bool WriteWholeFile(const std::string& unix_path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(WindowsPath(unix_path).c_str(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

HRESULT CreateFilter(IBaseFilter** filter) {
    static HMODULE module = LoadLibraryW(WindowsPath(Environment("KELO_FILTER_MODULE")).c_str());
    if (!module) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    auto get_class_object =
        reinterpret_cast<GetClassObjectFunction>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    if (!get_class_object) return E_NOINTERFACE;
    ComPtr<IClassFactory> factory;
    HRESULT hr = get_class_object(kFilterClass, IID_IClassFactory, factory.ReceiveVoid());
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter));
}

FilterGraph::~FilterGraph() {
    if (control_) control_->Stop();
    // The graph releases the filters it holds when it goes.
    if (graph_) {
        if (filter_) graph_->RemoveFilter(filter_.Get());
        for (ConnectedPin& pin : pins_) graph_->RemoveFilter(pin.sink);
    }
    for (ConnectedPin& pin : pins_) pin.sink->Release();
}

HRESULT FilterGraph::Load(const std::string& unix_path) {
    HRESULT hr =
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph2, graph_.ReceiveVoid());
    if (FAILED(hr)) return hr;
    graph_.QueryTo(IID_IMediaSeeking, &seeking_);
    graph_.QueryTo(IID_IMediaControl, &control_);
    graph_.QueryTo(IID_IMediaEvent, &events_);
    hr = CreateFilter(filter_.Receive());
    if (FAILED(hr)) return hr;
    hr = graph_->AddFilter(filter_.Get(), L"Kelo Mervane");
    if (FAILED(hr)) return hr;
    ComPtr<IFileSourceFilter> source;
    hr = filter_.QueryTo(IID_IFileSourceFilter, &source);
    if (FAILED(hr)) return hr;
    return source->Load(WindowsPath(unix_path).c_str(), nullptr);
}

HRESULT FilterGraph::ConnectSinks(Allocation allocation) {
    ComPtr<IEnumPins> pins;
    HRESULT hr = filter_->EnumPins(pins.Receive());
    if (FAILED(hr)) return hr;
    std::vector<ComPtr<IPin>> outputs;
    for (ComPtr<IPin> pin; pins->Next(1, pin.Receive(), nullptr) == S_OK;) outputs.push_back(pin);
    for (ComPtr<IPin>& pin : outputs) {
        PIN_INFO info;
        pin->QueryPinInfo(&info);
        if (info.pFilter) info.pFilter->Release();
        ConnectedPin connected;
        connected.name = info.achName;
        hr = RecordingSink::Create(info.achName, &connected.sink);
        if (FAILED(hr)) return hr;
        pins_.push_back(connected);
        connected.sink->KeepBytes(true);
        connected.sink->OfferOwnAllocator(allocation == Allocation::kSinksOffer);
        hr = graph_->AddFilter(connected.sink, info.achName);
        if (FAILED(hr)) return hr;
        hr = graph_->ConnectDirect(pin.Get(), connected.sink->InputPin(), nullptr);
        if (FAILED(hr)) return hr;
    }
    ComPtr<IMediaFilter> media_filter;
    hr = graph_.QueryTo(IID_IMediaFilter, &media_filter);
    if (FAILED(hr)) return hr;
    return media_filter->SetSyncSource(nullptr);
}

HRESULT FilterGraph::Open(const std::string& unix_path, Allocation allocation) {
    HRESULT hr = Load(unix_path);
    return FAILED(hr) ? hr : ConnectSinks(allocation);
}

// The first event that one of `wanted` names, within `ms`: S_OK with its code
// and first parameter, or E_ABORT. Other events are passed over.
HRESULT FilterGraph::NextEventOf(std::initializer_list<long> wanted, DWORD ms, long* code, LONG_PTR* param1) {
    const DWORD step = 20;
    for (DWORD waited = 0; waited < ms; waited += step) {
        LONG_PTR first = 0, second = 0;
        if (events_->GetEvent(code, &first, &second, step) != S_OK) continue;
        events_->FreeEventParams(*code, first, second);
        if (std::find(wanted.begin(), wanted.end(), *code) != wanted.end()) {
            *param1 = first;
            return S_OK;
        }
    }
    return E_ABORT;
}

HRESULT FilterGraph::WaitForEvent(long wanted, DWORD ms, LONG_PTR* param1) {
    long code = 0;
    LONG_PTR first = 0;
    HRESULT hr = NextEventOf({wanted}, ms, &code, &first);
    if (SUCCEEDED(hr) && param1) *param1 = first;
    return hr;
}

HRESULT FilterGraph::WaitForCompletion(DWORD ms) {
    long code = 0;
    LONG_PTR first = 0;
    HRESULT hr = NextEventOf({EC_COMPLETE, EC_ERRORABORT}, ms, &code, &first);
    if (FAILED(hr)) return hr;
    return code == EC_ERRORABORT ? static_cast<HRESULT>(first) : S_OK;
}

HRESULT FilterGraph::RunToCompletion(DWORD ms) {
    HRESULT hr = control_->Run();
    if (FAILED(hr)) return hr;
    return WaitForCompletion(ms);
}

HRESULT FilterGraph::Stop() { return control_->Stop(); }

std::vector<SinkEvent> EventsOfKind(const std::vector<SinkEvent>& events, SinkEventKind kind) {
    std::vector<SinkEvent> found;
    std::copy_if(events.begin(), events.end(), std::back_inserter(found),
                 [kind](const SinkEvent& e) { return e.kind == kind; });
    return found;
}

std::vector<Delivered> DeliveredSamples(RecordingSink* sink) {
    std::vector<uint8_t> log = sink->Bytes();
    std::vector<Delivered> samples;
    for (const SinkEvent& e : EventsOfKind(sink->Events(), SinkEventKind::kSample)) {
        auto begin = log.begin() + static_cast<std::ptrdiff_t>(e.byte_offset);
        samples.push_back({e, std::vector<uint8_t>(begin, begin + e.length)});
    }
    return samples;
}
