// A pin: IPin with media-type negotiation, connection and its queries.
// Derived classes say which types they offer and accept, and what happens
// when a connection completes or breaks and when the filter starts and stops.
#ifndef KELO_FRAMEWORK_BASE_PIN_H
#define KELO_FRAMEWORK_BASE_PIN_H

#include <windows.h>
#include <strmif.h>

#include <string>

#include "crit_sec.h"
#include "media_type.h"
#include "unknown.h"

class CBaseFilter;

class CBasePin : public CUnknown, public IPin, public IQualityControl {
public:
    // The pin lives inside `filter` and shares its references and its lock.
    CBasePin(const wchar_t* object_name, CBaseFilter* filter, CCritSec* lock, HRESULT* result, const wchar_t* name,
             PIN_DIRECTION direction);
    ~CBasePin() override;

    KELO_IUNKNOWN_FROM_OWNER
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** out) override;
    // A pin answers its own interfaces but counts its references on the filter.
    ULONG STDMETHODCALLTYPE NonDelegatingAddRef() override;
    ULONG STDMETHODCALLTYPE NonDelegatingRelease() override;

    const std::wstring& Name() const { return name_; }
    bool IsConnected() const { return connected_ != nullptr; }
    IPin* GetConnected() const { return connected_; }
    const CMediaType& CurrentMediaType() const { return mt_; }
    CBaseFilter* Filter() const { return filter_; }

    // What derived pins supply.
    virtual HRESULT CheckMediaType(const CMediaType* type) = 0;
    // The pin's types by position; VFW_S_NO_MORE_ITEMS past the last.
    virtual HRESULT GetMediaType(int position, CMediaType* type);
    virtual HRESULT SetMediaType(const CMediaType* type);
    virtual HRESULT CheckConnect(IPin* peer);
    virtual HRESULT BreakConnect();
    virtual HRESULT CompleteConnect(IPin* peer);
    // The filter leaves and enters the stopped state; Inactive is called
    // without the state lock, since it may wait for a streaming thread.
    virtual HRESULT Active() { return S_OK; }
    virtual HRESULT Inactive() { return S_OK; }
    virtual HRESULT Run(REFERENCE_TIME) { return S_OK; }

    // IPin
    HRESULT STDMETHODCALLTYPE Connect(IPin* receiver, const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override;
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** out) override;
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** pins, ULONG* count) override;
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
    // IQualityControl
    HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* sender, Quality quality) override;
    HRESULT STDMETHODCALLTYPE SetSink(IQualityControl* sink) override;

protected:
    CCritSec* lock_;

private:
    HRESULT AttemptConnection(IPin* receiver, const CMediaType& type);
    HRESULT TryMediaTypes(IPin* receiver, const AM_MEDIA_TYPE* partial, IEnumMediaTypes* types);
    HRESULT AgreeMediaType(IPin* receiver, const AM_MEDIA_TYPE* type);

    CBaseFilter* filter_;
    std::wstring name_;
    PIN_DIRECTION direction_;
    IPin* connected_ = nullptr;  // one reference held while connected
    CMediaType mt_;
};

#endif
