#include "sink_sample.h"

#include <vfwmsgs.h>

#include "media_type.h"

SinkSample::~SinkSample() {
    if (type_) DeleteMediaType(type_);
}

void SinkSample::Reset() {
    references_ = 1;
    length_ = size_;
    has_start_ = has_stop_ = has_media_time_ = false;
    sync_point_ = preroll_ = discontinuity_ = false;
    if (type_) DeleteMediaType(type_);
    type_ = nullptr;
}

STDMETHODIMP SinkSample::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid != IID_IUnknown && iid != IID_IMediaSample) {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    *out = static_cast<IMediaSample*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) SinkSample::AddRef() { return ++references_; }

STDMETHODIMP_(ULONG) SinkSample::Release() {
    const ULONG left = --references_;
    if (left == 0) owner_->ReleaseBuffer(this);
    return left;
}

STDMETHODIMP SinkSample::GetPointer(BYTE** buffer) {
    if (!buffer) return E_POINTER;
    *buffer = buffer_;
    return S_OK;
}

STDMETHODIMP_(long) SinkSample::GetSize() { return size_; }

STDMETHODIMP SinkSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) {
    if (!start || !stop) return E_POINTER;
    if (!has_start_) return VFW_E_SAMPLE_TIME_NOT_SET;
    *start = start_;
    if (!has_stop_) {
        *stop = start_ + 1;
        return VFW_S_NO_STOP_TIME;
    }
    *stop = stop_;
    return S_OK;
}

// A null start clears both times; a null stop keeps the start alone.
STDMETHODIMP SinkSample::SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) {
    has_start_ = start != nullptr;
    has_stop_ = start && stop;
    if (has_start_) start_ = *start;
    if (has_stop_) stop_ = *stop;
    return S_OK;
}

STDMETHODIMP SinkSample::IsSyncPoint() { return sync_point_ ? S_OK : S_FALSE; }
STDMETHODIMP SinkSample::SetSyncPoint(BOOL sync_point) {
    sync_point_ = sync_point != FALSE;
    return S_OK;
}

STDMETHODIMP SinkSample::IsPreroll() { return preroll_ ? S_OK : S_FALSE; }
STDMETHODIMP SinkSample::SetPreroll(BOOL preroll) {
    preroll_ = preroll != FALSE;
    return S_OK;
}

STDMETHODIMP SinkSample::IsDiscontinuity() { return discontinuity_ ? S_OK : S_FALSE; }
STDMETHODIMP SinkSample::SetDiscontinuity(BOOL discontinuity) {
    discontinuity_ = discontinuity != FALSE;
    return S_OK;
}

STDMETHODIMP_(long) SinkSample::GetActualDataLength() { return length_; }

STDMETHODIMP SinkSample::SetActualDataLength(long length) {
    if (length < 0 || length > size_) return VFW_E_BUFFER_OVERFLOW;
    length_ = length;
    return S_OK;
}

// S_FALSE and null when the type has not changed.
STDMETHODIMP SinkSample::GetMediaType(AM_MEDIA_TYPE** type) {
    if (!type) return E_POINTER;
    *type = nullptr;
    if (!type_) return S_FALSE;
    *type = CreateMediaType(*type_);
    return *type ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP SinkSample::SetMediaType(AM_MEDIA_TYPE* type) {
    AM_MEDIA_TYPE* copy = nullptr;
    if (type && !(copy = CreateMediaType(*type))) return E_OUTOFMEMORY;
    if (type_) DeleteMediaType(type_);
    type_ = copy;
    return S_OK;
}

STDMETHODIMP SinkSample::GetMediaTime(LONGLONG* start, LONGLONG* stop) {
    if (!start || !stop) return E_POINTER;
    if (!has_media_time_) return VFW_E_MEDIA_TIME_NOT_SET;
    *start = media_start_;
    *stop = media_stop_;
    return S_OK;
}

// A null start clears the media times.
STDMETHODIMP SinkSample::SetMediaTime(LONGLONG* start, LONGLONG* stop) {
    if (!start) {
        has_media_time_ = false;
        return S_OK;
    }
    if (!stop) return E_POINTER;
    has_media_time_ = true;
    media_start_ = *start;
    media_stop_ = *stop;
    return S_OK;
}
