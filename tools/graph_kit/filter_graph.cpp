#include "filter_graph.h"

#include <evcode.h>

#include <algorithm>
#include <iterator>

FilterGraph::~FilterGraph() {
    if (control_) control_->Stop();
    // The graph releases the filters it holds when it goes.
    if (graph_) {
        if (filter_) graph_->RemoveFilter(filter_.Get());
        for (ConnectedPin& pin : pins_) graph_->RemoveFilter(pin.sink);
    }
    for (ConnectedPin& pin : pins_) pin.sink->Release();
}

HRESULT FilterGraph::Load(const std::wstring& path) {
    HRESULT hr =
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph2, graph_.ReceiveVoid());
    if (FAILED(hr)) return hr;
    if (FAILED(hr = graph_.QueryTo(IID_IMediaSeeking, &seeking_))) return hr;
    if (FAILED(hr = graph_.QueryTo(IID_IMediaControl, &control_))) return hr;
    if (FAILED(hr = graph_.QueryTo(IID_IMediaEvent, &events_))) return hr;
    if (FAILED(hr = module_.CreateFilter(filter_.Receive()))) return hr;
    if (FAILED(hr = graph_->AddFilter(filter_.Get(), L"Kelo Mervane"))) return hr;
    ComPtr<IFileSourceFilter> source;
    if (FAILED(hr = filter_.QueryTo(IID_IFileSourceFilter, &source))) return hr;
    return source->Load(path.c_str(), nullptr);
}

HRESULT FilterGraph::ConnectSinks(const SinkSettings& settings) {
    ComPtr<IEnumPins> pins;
    HRESULT hr = filter_->EnumPins(pins.Receive());
    if (FAILED(hr)) return hr;
    std::vector<ComPtr<IPin>> outputs;
    for (ComPtr<IPin> pin; pins->Next(1, pin.Receive(), nullptr) == S_OK;) outputs.push_back(pin);
    output_pins_ = outputs.size();
    for (ComPtr<IPin>& pin : outputs) {
        PIN_INFO info = {};
        if (FAILED(hr = pin->QueryPinInfo(&info))) return hr;
        if (info.pFilter) info.pFilter->Release();
        ConnectedPin connected{info.achName, pin, nullptr};
        if (FAILED(hr = RecordingSink::Create(info.achName, &connected.sink))) return hr;
        connected.sink->KeepBytes(settings.keep_bytes);
        connected.sink->OfferOwnAllocator(settings.allocation == Allocation::kSinksOffer);
        hr = graph_->AddFilter(connected.sink, info.achName);
        if (SUCCEEDED(hr)) hr = graph_->ConnectDirect(pin.Get(), connected.sink->InputPin(), nullptr);
        if (FAILED(hr) && settings.refusals) {
            settings.refusals->push_back(hr);
            graph_->RemoveFilter(connected.sink);
            connected.sink->Release();
            continue;
        }
        pins_.push_back(connected);
        if (FAILED(hr)) return hr;
    }
    ComPtr<IMediaFilter> media_filter;
    if (FAILED(hr = graph_.QueryTo(IID_IMediaFilter, &media_filter))) return hr;
    return media_filter->SetSyncSource(nullptr);
}

HRESULT FilterGraph::Open(const std::wstring& path, const SinkSettings& settings) {
    HRESULT hr = Load(path);
    return FAILED(hr) ? hr : ConnectSinks(settings);
}

RecordingSink* FilterGraph::SinkOf(const GUID& major) const {
    for (const ConnectedPin& pin : pins_)
        if (pin.sink->ConnectedType().majortype == major) return pin.sink;
    return nullptr;
}

bool FilterGraph::NextEvent(DWORD ms, long* code, LONG_PTR* param1) {
    LONG_PTR first = 0, second = 0;
    if (events_->GetEvent(code, &first, &second, ms) != S_OK) return false;
    events_->FreeEventParams(*code, first, second);
    *param1 = first;
    if (*code == EC_COMPLETE) ++completions_;
    if (*code == EC_ERRORABORT && aborts_++ == 0) first_abort_ = static_cast<HRESULT>(first);
    return true;
}

HRESULT FilterGraph::NextEventOf(std::initializer_list<long> wanted, DWORD ms, long* code, LONG_PTR* param1) {
    const ULONGLONG until = GetTickCount64() + ms;
    do {
        if (NextEvent(20, code, param1) && std::find(wanted.begin(), wanted.end(), *code) != wanted.end()) return S_OK;
    } while (GetTickCount64() < until);
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
    return FAILED(hr) ? hr : WaitForCompletion(ms);
}

void FilterGraph::PumpEvents(DWORD ms) {
    long code = 0;
    LONG_PTR param1 = 0;
    const ULONGLONG until = GetTickCount64() + ms;
    while (NextEvent(0, &code, &param1)) {
    }
    while (GetTickCount64() < until && NextEvent(10, &code, &param1)) {
    }
}

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
