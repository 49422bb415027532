// The filter's IMediaSeeking, IMP4Param and ISpecifyPropertyPages. Positions
// and rates go to every pin; questions are answered by the first pin.
#include <dshow.h>

#include "kelo_guids.h"
#include "mp4_file.h"
#include "track_stream.h"

CTrackStream* CMP4file::TrackPin(int n) {
    // Every pin this filter makes is a track stream.
    return static_cast<CTrackStream*>(Stream(n));
}

namespace {

bool IsMediaTime(const GUID* format) { return *format == TIME_FORMAT_MEDIA_TIME; }

}  // namespace

HRESULT STDMETHODCALLTYPE CMP4file::GetCapabilities(DWORD* capabilities) {
    if (!capabilities) return E_POINTER;
    if (pin_count_ > 0) TrackPin(0)->CSourceSeeking::GetCapabilities(capabilities);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMP4file::CheckCapabilities(DWORD* capabilities) {
    if (!capabilities) return E_POINTER;
    if (pin_count_ == 0) return S_OK;
    return TrackPin(0)->CSourceSeeking::CheckCapabilities(capabilities);
}

HRESULT STDMETHODCALLTYPE CMP4file::IsFormatSupported(const GUID* format) {
    if (!format) return E_POINTER;
    return IsMediaTime(format) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CMP4file::QueryPreferredFormat(GUID* format) {
    if (!format) return E_POINTER;
    *format = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMP4file::GetTimeFormat(GUID* format) { return QueryPreferredFormat(format); }

HRESULT STDMETHODCALLTYPE CMP4file::IsUsingTimeFormat(const GUID* format) { return IsFormatSupported(format); }

HRESULT STDMETHODCALLTYPE CMP4file::SetTimeFormat(const GUID* format) {
    if (!format) return E_POINTER;
    return IsMediaTime(format) ? S_OK : E_INVALIDARG;
}

HRESULT STDMETHODCALLTYPE CMP4file::GetDuration(LONGLONG* duration) {
    if (!duration) return E_POINTER;
    CAutoLock lock(&m_cStateLock);
    if (pin_count_ > 0) TrackPin(0)->CSourceSeeking::GetDuration(duration);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMP4file::GetStopPosition(LONGLONG* stop) {
    if (!stop) return E_POINTER;
    CAutoLock lock(&m_cStateLock);
    if (pin_count_ > 0) TrackPin(0)->CSourceSeeking::GetStopPosition(stop);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMP4file::GetCurrentPosition(LONGLONG*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CMP4file::ConvertTimeFormat(LONGLONG* target, const GUID* target_format, LONGLONG source,
                                                      const GUID* source_format) {
    if (!target) return E_POINTER;
    if ((target_format && !IsMediaTime(target_format)) || (source_format && !IsMediaTime(source_format)))
        return E_INVALIDARG;
    *target = source;
    return S_OK;
}

// Both pins restart at the same new start; a pin waiting in the interleave
// gate is let go first, so no pin waits on a partner being repositioned.
HRESULT STDMETHODCALLTYPE CMP4file::SetPositions(LONGLONG* current, DWORD current_flags, LONGLONG* stop,
                                                 DWORD stop_flags) {
    if (pin_count_ == 0) return E_UNEXPECTED;
    gate_.ReleasePacing();
    HRESULT hr = S_OK;
    for (uint32_t i = 0; i < pin_count_; ++i) {
        hr = TrackPin(static_cast<int>(i))->CSourceSeeking::SetPositions(current, current_flags, stop, stop_flags);
        if (FAILED(hr)) return hr;
    }
    gate_.ClearAfterSeek();
    return hr;
}

HRESULT STDMETHODCALLTYPE CMP4file::GetPositions(LONGLONG* current, LONGLONG* stop) {
    if (pin_count_ > 0) TrackPin(0)->CSourceSeeking::GetPositions(current, stop);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMP4file::GetAvailable(LONGLONG* earliest, LONGLONG* latest) {
    if (pin_count_ > 0) TrackPin(0)->CSourceSeeking::GetAvailable(earliest, latest);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMP4file::SetRate(double rate) {
    if (pin_count_ == 0) return E_UNEXPECTED;
    HRESULT hr = S_OK;
    for (uint32_t i = 0; i < pin_count_; ++i) {
        hr = TrackPin(static_cast<int>(i))->CSourceSeeking::SetRate(rate);
        if (FAILED(hr)) return hr;
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE CMP4file::GetRate(double* rate) {
    if (!rate) return E_POINTER;
    CAutoLock lock(&m_cStateLock);
    if (pin_count_ > 0) TrackPin(0)->CSourceSeeking::GetRate(rate);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMP4file::GetPreroll(LONGLONG* preroll) {
    if (!preroll) return E_POINTER;
    *preroll = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMP4file::GetIOD(BYTE** iod, ULONG* length) {
    CAutoLock lock(&m_cStateLock);
    if (!iod || !length) return E_POINTER;
    *iod = iod_;
    *length = iod_length_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMP4file::GetPages(CAUUID* pages) {
    if (!pages) return E_POINTER;
    pages->cElems = 2;
    pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(2 * sizeof(GUID)));
    if (!pages->pElems) return E_OUTOFMEMORY;
    pages->pElems[0] = CLSID_KeloMervaneProperties;
    pages->pElems[1] = CLSID_KeloMervaneStreams;
    return S_OK;
}
