#include "base_filter.h"

#include <evcode.h>
#include <vfwmsgs.h>

#include <cwchar>
#include <vector>

#include "base_pin.h"
#include "com_ptr.h"
#include "enum_pins.h"
#include "filter_mapper.h"

CBaseFilter::CBaseFilter(const wchar_t*, IUnknown* owner, CCritSec* lock, const CLSID& clsid)
    : CUnknown(owner), lock_(lock), clsid_(clsid) {}

CBaseFilter::~CBaseFilter() {
    if (clock_) clock_->Release();
}

HRESULT STDMETHODCALLTYPE CBaseFilter::NonDelegatingQueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IBaseFilter) return GetInterface(static_cast<IBaseFilter*>(this), out);
    if (iid == IID_IMediaFilter) return GetInterface(static_cast<IMediaFilter*>(this), out);
    if (iid == IID_IPersist) return GetInterface(static_cast<IPersist*>(this), out);
    if (iid == IID_IAMovieSetup) return GetInterface(static_cast<IAMovieSetup*>(this), out);
    return CUnknown::NonDelegatingQueryInterface(iid, out);
}

HRESULT CBaseFilter::NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2) {
    IMediaEventSink* sink = event_sink_;
    if (!sink) return E_NOTIMPL;
    if (code == EC_COMPLETE) param2 = reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this));
    return sink->Notify(code, param1, param2);
}

HRESULT STDMETHODCALLTYPE CBaseFilter::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = clsid_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::Stop() {
    std::vector<CBasePin*> active;
    {
        CAutoLock lock(lock_);
        if (state_ == State_Stopped) return S_OK;
        state_ = State_Stopped;
        for (int i = 0; i < GetPinCount(); ++i) {
            CBasePin* pin = GetPin(i);
            if (pin && pin->IsConnected()) active.push_back(pin);
        }
    }
    // The pins stop outside the state lock: a streaming thread may be inside
    // a downstream call that calls back into this filter and takes the lock
    // (a renderer asks for the stop position at end of stream), and waiting
    // for that thread while holding the lock would never end.
    HRESULT result = S_OK;
    for (CBasePin* pin : active) {
        HRESULT hr = pin->Inactive();
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    return result;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::Pause() {
    CAutoLock lock(lock_);
    if (state_ == State_Stopped) {
        for (int i = 0; i < GetPinCount(); ++i) {
            CBasePin* pin = GetPin(i);
            if (pin && pin->IsConnected()) {
                HRESULT hr = pin->Active();
                if (FAILED(hr)) return hr;
            }
        }
    }
    state_ = State_Paused;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::Run(REFERENCE_TIME start) {
    CAutoLock lock(lock_);
    start_ = start;
    if (state_ == State_Stopped) {
        HRESULT hr = Pause();
        if (FAILED(hr)) return hr;
    }
    if (state_ != State_Running) {
        for (int i = 0; i < GetPinCount(); ++i) {
            CBasePin* pin = GetPin(i);
            if (pin && pin->IsConnected()) {
                HRESULT hr = pin->Run(start);
                if (FAILED(hr)) return hr;
            }
        }
    }
    state_ = State_Running;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::GetState(DWORD, FILTER_STATE* state) {
    if (!state) return E_POINTER;
    *state = state_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::SetSyncSource(IReferenceClock* clock) {
    CAutoLock lock(lock_);
    if (clock) clock->AddRef();
    if (clock_) clock_->Release();
    clock_ = clock;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::GetSyncSource(IReferenceClock** clock) {
    if (!clock) return E_POINTER;
    CAutoLock lock(lock_);
    *clock = clock_;
    if (clock_) clock_->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::EnumPins(IEnumPins** out) {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) CEnumPins(this);
    if (!*out) return E_OUTOFMEMORY;
    (*out)->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::FindPin(LPCWSTR id, IPin** out) {
    if (!id || !out) return E_POINTER;
    CAutoLock lock(lock_);
    for (int i = 0; i < GetPinCount(); ++i) {
        CBasePin* pin = GetPin(i);
        if (pin && pin->Name() == id) return GetInterface(static_cast<IPin*>(pin), reinterpret_cast<void**>(out));
    }
    *out = nullptr;
    return VFW_E_NOT_FOUND;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::QueryFilterInfo(FILTER_INFO* info) {
    if (!info) return E_POINTER;
    size_t length = name_.size() < MAX_FILTER_NAME - 1 ? name_.size() : MAX_FILTER_NAME - 1;
    wmemcpy(info->achName, name_.c_str(), length);
    info->achName[length] = L'\0';
    info->pGraph = graph_;
    if (graph_) graph_->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
    CAutoLock lock(lock_);
    graph_ = graph;
    event_sink_ = nullptr;
    if (graph) {
        // Kept without a reference, as the graph pointer itself.
        ComPtr<IMediaEventSink> sink;
        if (SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, sink.ReceiveVoid()))) event_sink_ = sink.Get();
    }
    name_ = name ? name : L"";
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::QueryVendorInfo(LPWSTR*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CBaseFilter::Register() {
    const AMOVIESETUP_FILTER* setup = GetSetupData();
    if (!setup) return S_FALSE;
    return RegisterFilterWithMapper(*setup, true);
}

HRESULT STDMETHODCALLTYPE CBaseFilter::Unregister() {
    const AMOVIESETUP_FILTER* setup = GetSetupData();
    if (!setup) return S_FALSE;
    return RegisterFilterWithMapper(*setup, false);
}
