#include "mp4_file.h"

#include <dshow.h>

#include <cwchar>
#include <new>

#include "kelo_guids.h"
#include "track_choice.h"
#include "track_descriptions.h"
#include "track_pins.h"

CUnknown* CMP4file::CreateInstance(IUnknown* owner, HRESULT* result) {
    auto* filter = new (std::nothrow) CMP4file(owner, result);
    if (!filter && result) *result = E_OUTOFMEMORY;
    return filter;
}

CMP4file::CMP4file(IUnknown* owner, HRESULT*) : CSource(nullptr, owner, CLSID_KeloMervane) {}

CMP4file::~CMP4file() {
    CAutoLock state(&m_cStateLock);
    CAutoLock streaming(&streaming_lock_);
    // The library goes before the pins; they make no library call as they go.
    if (play_) bxf_play_close(play_);
    if (instance_) bxf_destroy(instance_);
    if (file_) bxf_file_close(file_);
    play_ = nullptr;
    instance_ = nullptr;
    file_ = nullptr;
}

HRESULT STDMETHODCALLTYPE CMP4file::NonDelegatingQueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IFileSourceFilter) return GetInterface(static_cast<IFileSourceFilter*>(this), out);
    if (iid == IID_IMediaSeeking) return GetInterface(static_cast<IMediaSeeking*>(this), out);
    if (iid == IID_IMP4Param) return GetInterface(static_cast<IMP4Param*>(this), out);
    if (iid == IID_ISpecifyPropertyPages) return GetInterface(static_cast<ISpecifyPropertyPages*>(this), out);
    if (iid == IID_IKeyFrameInfo) return GetInterface(static_cast<IKeyFrameInfo*>(this), out);
    if (iid == IID_IAMStreamSelect) return GetInterface(static_cast<IAMStreamSelect*>(this), out);
    if (iid == IID_IKeloStreams) return GetInterface(static_cast<IKeloStreams*>(this), out);
    return CSource::NonDelegatingQueryInterface(iid, out);
}

HRESULT STDMETHODCALLTYPE CMP4file::Load(LPCOLESTR path, const AM_MEDIA_TYPE* type) {
    if (!path) return E_POINTER;
    CAutoLock lock(&m_cStateLock);
    CMediaType requested;
    if (type) {
        requested = *type;
    } else {
        requested.SetType(MEDIATYPE_Stream);
        requested.SetSubtype(MEDIASUBTYPE_NULL);
    }
    if (!LoadMovie(path)) return kLoadFailed;
    size_t length = wcslen(path);
    file_name_.reset(new (std::nothrow) wchar_t[length + 1]);
    if (file_name_) wmemcpy(file_name_.get(), path, length + 1);
    media_type_ = requested;
    return S_OK;
}

bool CMP4file::LoadMovie(LPCOLESTR path) {
    // One file in a filter's life: even a failed load that opened it keeps it.
    if (file_) return false;
    if (bxf_file_open(reinterpret_cast<const uint16_t*>(path), BXF_FILE_MODE_READ, &file_) != BXF_RET_OK || !file_)
        return false;
    FileOps ops;
    if (bxf_fill_file_ops(&ops) != BXF_RET_OK || bxf_create(&ops, &instance_) != BXF_RET_OK) return false;
    OpenParams params = {};
    params.walk_all_boxes = 1;
    uint32_t flags = 0;
    if (bxf_play_open(instance_, file_, &params, &play_, &flags) != BXF_RET_OK) return false;

    gate_.Reset();
    uint32_t track_count = 0;
    if (bxf_get_track_count(play_, &track_count) != BXF_RET_OK || track_count == 0) return false;

    const FileReader read = [this](uint64_t offset, uint32_t size, BYTE* buffer) {
        return SUCCEEDED(ReadAt(offset, size, buffer));
    };
    tracks_ = ReadTrackCatalog(play_, read);
    const MovieRecord* movie = nullptr;
    if (bxf_play_get_movie(play_, &movie) == BXF_RET_OK && movie) brand_ = ReadBrand(*movie, read);
    bool have_audio = false, have_video = false;
    uint32_t pins = 0;
    for (const uint32_t track : TrackTryOrder(tracks_, GetUserDefaultUILanguage())) {
        bool fatal = false;
        if (AddTrackPin(track, &have_audio, &have_video, &fatal)) ++pins;
        if (fatal) return false;
    }
    if (pins == 0) return false;
    pin_count_ = pins;
    return true;
}

bool CMP4file::AddTrackPin(uint32_t track, bool* have_audio, bool* have_video, bool* fatal) {
    TrackHeaderInfo header;
    HandlerInfo handler;
    if (bxf_get_track_header(play_, track, &header) != BXF_RET_OK ||
        bxf_get_handler(play_, track, &handler) != BXF_RET_OK)
        return false;
    bool* have = handler.handler_type == BXF_HDLR_MEDIA_SOUND             ? have_audio
                 : handler.handler_type == BXF_HDLR_MEDIA_VIDEO_AND_IMAGE ? have_video
                                                                          : nullptr;
    if (!have || *have) return false;
    const PinOutcome made = MakeTrackPin(this, play_, track, handler.handler_type);
    *fatal = made == PinOutcome::Fatal;
    *have = made == PinOutcome::Made;
    return *have;
}

const TrackFacts* CMP4file::FindTrack(uint32_t number) const {
    for (const TrackFacts& track : tracks_)
        if (track.number == number) return &track;
    return nullptr;
}

HRESULT STDMETHODCALLTYPE CMP4file::GetCurFile(LPOLESTR* path, AM_MEDIA_TYPE* type) {
    if (!path) return E_POINTER;
    *path = nullptr;
    if (file_name_) {
        size_t length = wcslen(file_name_.get());
        auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((length + 1) * sizeof(wchar_t)));
        if (copy) {
            wmemcpy(copy, file_name_.get(), length + 1);
            *path = copy;
        }
    }
    if (type) CopyMediaType(type, media_type_);
    return S_OK;
}

HRESULT CMP4file::ReadAt(uint64_t offset, uint32_t size, BYTE* buffer) {
    if (offset > static_cast<uint64_t>(INT64_MAX)) return E_FAIL;
    const FileOps& ops = instance_->ops;
    uint64_t got = 0;
    if (ops.seek(file_, static_cast<int64_t>(offset), BXF_SEEK_SET) != BXF_RET_OK ||
        ops.read(file_, buffer, size, &got) != BXF_RET_OK || got != size)
        return E_FAIL;
    return S_OK;
}

bool CMP4file::Pace(StreamSide side, REFERENCE_TIME time, CBaseStream* stream) {
    return gate_.Pace(side, time, stream);
}

void CMP4file::SetActive(StreamSide side, bool active) { gate_.SetActive(side, active); }

void CMP4file::SetEnded(StreamSide side) { gate_.SetEnded(side); }

HRESULT CMP4file::QuerySeeking(REFIID iid, void** out) { return NonDelegatingQueryInterface(iid, out); }
