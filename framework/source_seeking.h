// The seeking state of one output pin: start, stop, duration and rate in
// media time (100 ns), changed by SetPositions and SetRate, which then tell
// the pin through ChangeStart, ChangeStop and ChangeRate.
//
// The pin answers IMediaSeeking through its filter; the filter calls these
// methods, which have the same meaning as the interface's.
#ifndef KELO_FRAMEWORK_SOURCE_SEEKING_H
#define KELO_FRAMEWORK_SOURCE_SEEKING_H

#include <windows.h>
#include <strmif.h>

#include "crit_sec.h"

// The largest time a position may take.
constexpr REFERENCE_TIME MAX_TIME = 0x3FFFFFFFFFFFFFFF;

class CSourceSeeking {
public:
    // `lock` guards the fields below.
    CSourceSeeking(const wchar_t* object_name, IUnknown* owner, HRESULT* result, CCritSec* lock);
    virtual ~CSourceSeeking() = default;

    HRESULT GetCapabilities(DWORD* capabilities);
    HRESULT CheckCapabilities(DWORD* capabilities);
    HRESULT SetPositions(LONGLONG* current, DWORD current_flags, LONGLONG* stop, DWORD stop_flags);
    HRESULT GetPositions(LONGLONG* current, LONGLONG* stop);
    HRESULT GetAvailable(LONGLONG* earliest, LONGLONG* latest);
    HRESULT SetRate(double rate);
    HRESULT GetRate(double* rate);
    HRESULT GetDuration(LONGLONG* duration);
    HRESULT GetStopPosition(LONGLONG* stop);

protected:
    virtual HRESULT ChangeStart() = 0;
    virtual HRESULT ChangeStop() = 0;
    virtual HRESULT ChangeRate() = 0;

    REFERENCE_TIME m_rtDuration = MAX_TIME;
    REFERENCE_TIME m_rtStart = 0;
    REFERENCE_TIME m_rtStop = MAX_TIME;
    double m_dRateSeeking = 1.0;
    DWORD m_dwSeekingCaps = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards | AM_SEEKING_CanSeekBackwards |
                            AM_SEEKING_CanGetStopPos | AM_SEEKING_CanGetDuration;
    CCritSec* m_pLock;
};

#endif
