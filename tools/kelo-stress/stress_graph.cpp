#include "stress_graph.h"

#include <evcode.h>

StressGraph::~StressGraph() {
    if (control_) control_->Stop();
    if (graph_) {
        if (filter_) graph_->RemoveFilter(filter_.Get());
        for (RecordingSink* sink : sinks_) graph_->RemoveFilter(sink);
    }
    for (RecordingSink* sink : sinks_) sink->Release();
}

HRESULT StressGraph::Load(const std::wstring& path) {
    HRESULT hr =
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph2, graph_.ReceiveVoid());
    if (FAILED(hr)) return hr;
    if (FAILED(hr = graph_.QueryTo(IID_IMediaControl, &control_))) return hr;
    if (FAILED(hr = graph_.QueryTo(IID_IMediaSeeking, &seeking_))) return hr;
    if (FAILED(hr = graph_.QueryTo(IID_IMediaEvent, &events_))) return hr;
    if (FAILED(hr = module_.CreateFilter(filter_.Receive()))) return hr;
    if (FAILED(hr = graph_->AddFilter(filter_.Get(), L"Kelo Mervane"))) return hr;
    ComPtr<IFileSourceFilter> source;
    if (FAILED(hr = filter_.QueryTo(IID_IFileSourceFilter, &source))) return hr;
    return source->Load(path.c_str(), nullptr);
}

size_t StressGraph::ConnectSinks(bool keep_bytes, std::vector<HRESULT>* refusals) {
    ComPtr<IEnumPins> pins;
    if (FAILED(filter_->EnumPins(pins.Receive()))) return 0;
    std::vector<ComPtr<IPin>> outputs;
    for (ComPtr<IPin> pin; pins->Next(1, pin.Receive(), nullptr) == S_OK;) outputs.push_back(pin);
    output_pins_ = outputs.size();
    size_t connected = 0;
    for (ComPtr<IPin>& pin : outputs) {
        PIN_INFO info = {};
        if (FAILED(pin->QueryPinInfo(&info))) continue;
        if (info.pFilter) info.pFilter->Release();
        RecordingSink* sink = nullptr;
        if (FAILED(RecordingSink::Create(info.achName, &sink))) continue;
        sink->KeepBytes(keep_bytes);
        HRESULT hr = graph_->AddFilter(sink, info.achName);
        if (SUCCEEDED(hr)) hr = graph_->ConnectDirect(pin.Get(), sink->InputPin(), nullptr);
        if (FAILED(hr)) {
            refusals->push_back(hr);
            graph_->RemoveFilter(sink);
            sink->Release();
            continue;
        }
        sinks_.push_back(sink);
        ++connected;
    }
    ComPtr<IMediaFilter> media_filter;
    if (SUCCEEDED(graph_.QueryTo(IID_IMediaFilter, &media_filter))) media_filter->SetSyncSource(nullptr);
    return connected;
}

RecordingSink* StressGraph::SinkOf(const GUID& major) const {
    for (RecordingSink* sink : sinks_)
        if (sink->ConnectedType().majortype == major) return sink;
    return nullptr;
}

bool StressGraph::NextEvent(DWORD ms, long* code, LONG_PTR* param1) {
    LONG_PTR first = 0, second = 0;
    if (events_->GetEvent(code, &first, &second, ms) != S_OK) return false;
    events_->FreeEventParams(*code, first, second);
    *param1 = first;
    if (*code == EC_COMPLETE) ++completions_;
    if (*code == EC_ERRORABORT && aborts_++ == 0) first_abort_ = static_cast<HRESULT>(first);
    return true;
}

void StressGraph::PumpEvents(DWORD ms) {
    long code = 0;
    LONG_PTR param1 = 0;
    const DWORD until = GetTickCount() + ms;
    while (NextEvent(0, &code, &param1)) {
    }
    while (static_cast<LONG>(until - GetTickCount()) > 0 && NextEvent(10, &code, &param1)) {
    }
}

HRESULT StressGraph::WaitForEnd(DWORD ms) {
    const DWORD until = GetTickCount() + ms;
    long code = 0;
    LONG_PTR param1 = 0;
    while (static_cast<LONG>(until - GetTickCount()) > 0) {
        if (!NextEvent(20, &code, &param1)) continue;
        if (code == EC_COMPLETE) return S_OK;
        if (code == EC_ERRORABORT) return static_cast<HRESULT>(param1);
    }
    return E_ABORT;
}
