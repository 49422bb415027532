// IMediaSeeking of the recording sink: as a renderer does, it owns no position
// of its own and passes every call to the pin it is connected to.
#include "recording_sink.h"

ComPtr<IMediaSeeking> RecordingSink::UpstreamSeeking(HRESULT* why_none) const {
    ComPtr<IMediaSeeking> seeking;
    const ComPtr<IPin> upstream = pin_.ConnectedPin();
    if (!upstream) {
        *why_none = VFW_E_NOT_CONNECTED;
    } else if (FAILED(upstream.QueryTo(IID_IMediaSeeking, &seeking)) || !seeking) {
        seeking.Reset();
        *why_none = E_NOTIMPL;
    }
    return seeking;
}

template <class Call>
HRESULT RecordingSink::ForwardSeeking(Call call) {
    HRESULT why_none = S_OK;
    const ComPtr<IMediaSeeking> seeking = UpstreamSeeking(&why_none);
    return seeking ? call(seeking.Get()) : why_none;
}

STDMETHODIMP RecordingSink::GetCapabilities(DWORD* caps) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->GetCapabilities(caps); });
}
STDMETHODIMP RecordingSink::CheckCapabilities(DWORD* caps) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->CheckCapabilities(caps); });
}
STDMETHODIMP RecordingSink::IsFormatSupported(const GUID* format) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->IsFormatSupported(format); });
}
STDMETHODIMP RecordingSink::QueryPreferredFormat(GUID* format) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->QueryPreferredFormat(format); });
}
STDMETHODIMP RecordingSink::GetTimeFormat(GUID* format) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->GetTimeFormat(format); });
}
STDMETHODIMP RecordingSink::IsUsingTimeFormat(const GUID* format) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->IsUsingTimeFormat(format); });
}
STDMETHODIMP RecordingSink::SetTimeFormat(const GUID* format) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->SetTimeFormat(format); });
}
STDMETHODIMP RecordingSink::GetDuration(LONGLONG* duration) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->GetDuration(duration); });
}
STDMETHODIMP RecordingSink::GetStopPosition(LONGLONG* stop) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->GetStopPosition(stop); });
}
STDMETHODIMP RecordingSink::GetCurrentPosition(LONGLONG* current) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->GetCurrentPosition(current); });
}
STDMETHODIMP RecordingSink::ConvertTimeFormat(LONGLONG* target, const GUID* target_format, LONGLONG source,
                                              const GUID* source_format) {
    return ForwardSeeking(
        [&](IMediaSeeking* s) { return s->ConvertTimeFormat(target, target_format, source, source_format); });
}
STDMETHODIMP RecordingSink::SetPositions(LONGLONG* current, DWORD current_flags, LONGLONG* stop, DWORD stop_flags) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->SetPositions(current, current_flags, stop, stop_flags); });
}
STDMETHODIMP RecordingSink::GetPositions(LONGLONG* current, LONGLONG* stop) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->GetPositions(current, stop); });
}
STDMETHODIMP RecordingSink::GetAvailable(LONGLONG* earliest, LONGLONG* latest) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->GetAvailable(earliest, latest); });
}
STDMETHODIMP RecordingSink::SetRate(double rate) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->SetRate(rate); });
}
STDMETHODIMP RecordingSink::GetRate(double* rate) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->GetRate(rate); });
}
STDMETHODIMP RecordingSink::GetPreroll(LONGLONG* preroll) {
    return ForwardSeeking([&](IMediaSeeking* s) { return s->GetPreroll(preroll); });
}
