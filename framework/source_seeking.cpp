#include "source_seeking.h"

CSourceSeeking::CSourceSeeking(const wchar_t*, IUnknown*, HRESULT*, CCritSec* lock) : m_pLock(lock) {}

HRESULT CSourceSeeking::GetCapabilities(DWORD* capabilities) {
    if (!capabilities) return E_POINTER;
    *capabilities = m_dwSeekingCaps;
    return S_OK;
}

HRESULT CSourceSeeking::CheckCapabilities(DWORD* capabilities) {
    if (!capabilities) return E_POINTER;
    DWORD asked = *capabilities;
    *capabilities &= m_dwSeekingCaps;
    if (*capabilities == asked) return S_OK;
    return *capabilities ? S_FALSE : E_FAIL;
}

HRESULT CSourceSeeking::SetPositions(LONGLONG* current, DWORD current_flags, LONGLONG* stop, DWORD stop_flags) {
    DWORD start_how = current_flags & AM_SEEKING_PositioningBitsMask;
    DWORD stop_how = stop_flags & AM_SEEKING_PositioningBitsMask;
    if ((start_how && !current) || (stop_how && !stop)) return E_POINTER;
    {
        CAutoLock lock(m_pLock);
        if (start_how == AM_SEEKING_AbsolutePositioning)
            m_rtStart = *current;
        else if (start_how == AM_SEEKING_RelativePositioning)
            m_rtStart += *current;

        if (stop_how == AM_SEEKING_AbsolutePositioning)
            m_rtStop = *stop;
        else if (stop_how == AM_SEEKING_IncrementalPositioning)
            m_rtStop = m_rtStart + *stop;
        else if (stop_how == AM_SEEKING_RelativePositioning)
            m_rtStop += *stop;

        if ((current_flags & AM_SEEKING_ReturnTime) && current) *current = m_rtStart;
        if ((stop_flags & AM_SEEKING_ReturnTime) && stop) *stop = m_rtStop;
    }
    HRESULT hr = S_OK;
    if (stop_how) hr = ChangeStop();
    if (start_how) hr = ChangeStart();
    return hr;
}

HRESULT CSourceSeeking::GetPositions(LONGLONG* current, LONGLONG* stop) {
    CAutoLock lock(m_pLock);
    if (current) *current = m_rtStart;
    if (stop) *stop = m_rtStop;
    return S_OK;
}

HRESULT CSourceSeeking::GetAvailable(LONGLONG* earliest, LONGLONG* latest) {
    CAutoLock lock(m_pLock);
    if (earliest) *earliest = 0;
    if (latest) *latest = m_rtDuration;
    return S_OK;
}

HRESULT CSourceSeeking::SetRate(double rate) {
    {
        CAutoLock lock(m_pLock);
        m_dRateSeeking = rate;
    }
    return ChangeRate();
}

HRESULT CSourceSeeking::GetRate(double* rate) {
    if (!rate) return E_POINTER;
    CAutoLock lock(m_pLock);
    *rate = m_dRateSeeking;
    return S_OK;
}

HRESULT CSourceSeeking::GetDuration(LONGLONG* duration) {
    if (!duration) return E_POINTER;
    CAutoLock lock(m_pLock);
    *duration = m_rtDuration;
    return S_OK;
}

HRESULT CSourceSeeking::GetStopPosition(LONGLONG* stop) {
    if (!stop) return E_POINTER;
    CAutoLock lock(m_pLock);
    *stop = m_rtStop;
    return S_OK;
}
