// The source filter: loads one MP4 / ISO media file through the media-file
// library, makes an output pin for the first usable audio track and the first
// usable video track, and paces the two against each other while they run.
#ifndef KELO_FILTER_MP4_FILE_H
#define KELO_FILTER_MP4_FILE_H

#include <windows.h>
#include <ocidl.h>
#include <strmif.h>

#include <cstdint>
#include <memory>

#include "bxf.h"
#include "interleave_gate.h"
#include "media_type.h"
#include "mp4_param.h"
#include "source.h"
#include "stream_host.h"

class CTrackStream;

// Any failure of Load: the control facility's "invalid file format".
constexpr HRESULT kLoadFailed = static_cast<HRESULT>(0x800A0141);

class CMP4file : public CSource,
                 public IFileSourceFilter,
                 public IMediaSeeking,
                 public IMP4Param,
                 public ISpecifyPropertyPages,
                 public CStreamHost {
public:
    static CUnknown* CreateInstance(IUnknown* owner, HRESULT* result);

    CMP4file(IUnknown* owner, HRESULT* result);
    ~CMP4file() override;

    KELO_IUNKNOWN_FROM_OWNER
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** out) override;
    const AMOVIESETUP_FILTER* GetSetupData() override;

    // IFileSourceFilter
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR path, const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* path, AM_MEDIA_TYPE* type) override;

    // IMediaSeeking: the whole filter's, answered by the first pin and
    // carried out by every pin.
    HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* capabilities) override;
    HRESULT STDMETHODCALLTYPE CheckCapabilities(DWORD* capabilities) override;
    HRESULT STDMETHODCALLTYPE IsFormatSupported(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE QueryPreferredFormat(GUID* format) override;
    HRESULT STDMETHODCALLTYPE GetTimeFormat(GUID* format) override;
    HRESULT STDMETHODCALLTYPE IsUsingTimeFormat(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE SetTimeFormat(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* duration) override;
    HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* stop) override;
    HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* current) override;
    HRESULT STDMETHODCALLTYPE ConvertTimeFormat(LONGLONG* target, const GUID* target_format, LONGLONG source,
                                                const GUID* source_format) override;
    HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* current, DWORD current_flags, LONGLONG* stop,
                                           DWORD stop_flags) override;
    HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* current, LONGLONG* stop) override;
    HRESULT STDMETHODCALLTYPE GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    HRESULT STDMETHODCALLTYPE SetRate(double rate) override;
    HRESULT STDMETHODCALLTYPE GetRate(double* rate) override;
    HRESULT STDMETHODCALLTYPE GetPreroll(LONGLONG* preroll) override;

    // IMP4Param
    HRESULT STDMETHODCALLTYPE GetIOD(BYTE** iod, ULONG* length) override;
    // ISpecifyPropertyPages
    HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override;

    // CStreamHost, for the pins.
    CSource* SourceFilter() override { return this; }
    CCritSec* StreamingLock() override { return &streaming_lock_; }
    HRESULT ReadAt(uint64_t offset, uint32_t size, BYTE* buffer) override;
    bool Pace(StreamSide side, REFERENCE_TIME time, CBaseStream* stream) override;
    void SetActive(StreamSide side, bool active) override;
    void SetEnded(StreamSide side) override;
    HRESULT QuerySeeking(REFIID iid, void** out) override;

    // The interleave gate, also for tests that drive it directly.
    InterleaveGate& Gate() { return gate_; }

private:
    bool LoadMovie(LPCOLESTR path);
    // Decides one track: true when it got a pin, false when skipped; a
    // failure that must end the whole load sets `fatal`.
    bool AddTrackPin(uint32_t track, bool* have_audio, bool* have_video, bool* fatal);
    CTrackStream* TrackPin(int n);
    void PlaceOnOneTimeline();

    CMediaType media_type_;
    std::unique_ptr<wchar_t[]> file_name_;
    MediaFile* file_ = nullptr;
    LibraryInstance* instance_ = nullptr;
    PlayHandle* play_ = nullptr;
    BYTE* iod_ = nullptr;  // never filled: no file gives the filter an IOD
    ULONG iod_length_ = 0;
    uint32_t pin_count_ = 0;
    InterleaveGate gate_;
    CCritSec streaming_lock_;
};

#endif
