// A filter: IBaseFilter with its state machine over a set of pins, events to
// the graph, and IAMovieSetup. Derived classes say which pins exist.
#ifndef KELO_FRAMEWORK_BASE_FILTER_H
#define KELO_FRAMEWORK_BASE_FILTER_H

#include <windows.h>
#include <strmif.h>

#include <string>

#include "crit_sec.h"
#include "unknown.h"

class CBasePin;
struct AMOVIESETUP_FILTER;

class CBaseFilter : public CUnknown, public IBaseFilter, public IAMovieSetup {
public:
    // `lock` is the filter state lock, owned by the derived class.
    CBaseFilter(const wchar_t* object_name, IUnknown* owner, CCritSec* lock, const CLSID& clsid);
    ~CBaseFilter() override;

    KELO_IUNKNOWN_FROM_OWNER
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** out) override;

    // The pins, in order.
    virtual int GetPinCount() = 0;
    virtual CBasePin* GetPin(int n) = 0;
    // The filter's registration record, or null.
    virtual const AMOVIESETUP_FILTER* GetSetupData() { return nullptr; }

    CCritSec* StateLock() const { return lock_; }
    FILTER_STATE State() const { return state_; }
    bool IsStopped() const { return state_ == State_Stopped; }
    // Tells the graph; EC_COMPLETE names this filter.
    HRESULT NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2);

    // IPersist
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
    // IMediaFilter
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
    HRESULT STDMETHODCALLTYPE GetState(DWORD timeout, FILTER_STATE* state) override;
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override;
    // IBaseFilter
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** out) override;
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** out) override;
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override;
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* info) override;
    // IAMovieSetup
    HRESULT STDMETHODCALLTYPE Register() override;
    HRESULT STDMETHODCALLTYPE Unregister() override;

private:
    CCritSec* lock_;
    CLSID clsid_;
    FILTER_STATE state_ = State_Stopped;
    REFERENCE_TIME start_ = 0;
    IReferenceClock* clock_ = nullptr;  // one reference held
    // The graph holds the filter, so the filter does not hold the graph.
    IFilterGraph* graph_ = nullptr;
    IMediaEventSink* event_sink_ = nullptr;
    std::wstring name_;
};

#endif
