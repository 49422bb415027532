// The filter's IAMStreamSelect: every audio and video track of the file, in
// track order, as a player's menus list them; enabling one switches the pin
// of its kind to it.
#include <dshow.h>
#include <vfwmsgs.h>

#include "mp4_file.h"
#include "track_language.h"
#include "track_stream.h"

namespace {

// {fourcc-0000-0010-8000-00AA00389B71}: the subtype named by a sample entry type.
GUID FourCCSubtype(uint32_t entry_type) {
    const uint32_t little =
        (entry_type >> 24) | ((entry_type >> 8) & 0xFF00) | ((entry_type << 8) & 0xFF0000) | (entry_type << 24);
    return {little, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

}  // namespace

CTrackStream* CMP4file::PinPlaying(TrackKind kind) {
    const StreamSide side = kind == TrackKind::Audio ? StreamSide::Audio : StreamSide::Video;
    for (uint32_t i = 0; i < pin_count_; ++i)
        if (TrackPin(static_cast<int>(i))->Side() == side) return TrackPin(static_cast<int>(i));
    return nullptr;
}

HRESULT STDMETHODCALLTYPE CMP4file::Count(DWORD* count) {
    if (!count) return E_POINTER;
    CAutoLock lock(&m_cStateLock);
    *count = static_cast<DWORD>(tracks_.size());
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMP4file::Info(LONG index, AM_MEDIA_TYPE** type, DWORD* flags, LCID* lcid, DWORD* group,
                                         WCHAR** name, IUnknown** object, IUnknown** unknown) {
    CAutoLock lock(&m_cStateLock);
    if (index < 0 || static_cast<size_t>(index) >= tracks_.size()) return S_FALSE;
    const TrackFacts& track = tracks_[static_cast<size_t>(index)];
    CTrackStream* pin = PinPlaying(track.kind);
    const bool playing = pin && pin->Track() == track.number;
    if (type) {
        CMediaType listed;
        if (playing && pin->IsConnected()) {
            listed = pin->CurrentMediaType();
        } else {
            listed.SetType(track.kind == TrackKind::Audio ? MEDIATYPE_Audio : MEDIATYPE_Video);
            listed.SetSubtype(FourCCSubtype(track.entry_type));
        }
        *type = CreateMediaType(listed);
        if (!*type) return E_OUTOFMEMORY;
    }
    if (flags) *flags = playing ? AMSTREAMSELECTINFO_ENABLED : 0;
    if (lcid) *lcid = LanguageOfCode(track.language).lcid;
    if (group) *group = TrackGroup(track);
    if (name) {
        const std::wstring text = TrackDisplayName(track);
        *name = static_cast<WCHAR*>(CoTaskMemAlloc((text.size() + 1) * sizeof(WCHAR)));
        if (!*name) {
            if (type) {
                DeleteMediaType(*type);
                *type = nullptr;
            }
            return E_OUTOFMEMORY;
        }
        wmemcpy(*name, text.c_str(), text.size() + 1);
    }
    if (object) {
        *object = playing ? static_cast<IPin*>(pin) : nullptr;
        if (*object) (*object)->AddRef();
    }
    if (unknown) *unknown = nullptr;
    return S_OK;
}

// Only "enable this one" has a meaning here: a kind's pin always plays one
// track, and it has one pin.
// The switch runs without the state lock, as a seek does: the pin waits for
// its worker, whose downstream may call the filter back. One switch at a time.
HRESULT STDMETHODCALLTYPE CMP4file::Enable(LONG index, DWORD flags) {
    if (flags != AMSTREAMSELECTENABLE_ENABLE) return E_NOTIMPL;
    CAutoLock switching(&switch_lock_);
    CTrackStream* pin = nullptr;
    uint32_t number = 0;
    {
        CAutoLock lock(&m_cStateLock);
        if (index < 0 || static_cast<size_t>(index) >= tracks_.size()) return E_INVALIDARG;
        const TrackFacts& track = tracks_[static_cast<size_t>(index)];
        pin = PinPlaying(track.kind);
        if (!pin) return VFW_E_UNSUPPORTED_STREAM;
        if (pin->Track() == track.number) return S_OK;
        // One pin serves one sample entry type: another type is not playable by it.
        const TrackFacts* playing = FindTrack(pin->Track());
        if (!playing || playing->entry_type != track.entry_type || track.entry_type == 0)
            return VFW_E_UNSUPPORTED_STREAM;
        number = track.number;
    }
    gate_.ReleasePacing();
    const HRESULT hr = pin->SwitchTrack(number);
    gate_.ClearAfterSeek();
    return hr;
}
