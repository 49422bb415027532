#include "track_pins.h"

#include <new>

#include "amr_stream.h"
#include "avc_stream.h"
#include "hevc_stream.h"
#include "lpcm_stream.h"
#include "mpeg4a_stream.h"
#include "mpeg4v_stream.h"
#include "track_descriptions.h"

namespace {

// A new pin added to the filter, or null (and the pin gone) when it failed.
template <typename Pin>
PinOutcome MakePin(CStreamHost* host, const wchar_t* name, PlayHandle* play, uint32_t track) {
    HRESULT hr = S_OK;
    auto* pin = new (std::nothrow) Pin(&hr, host, name, play, track);
    if (pin && FAILED(hr)) {
        delete pin;  // takes itself out of the filter's pins
        return PinOutcome::None;
    }
    return pin ? PinOutcome::Made : PinOutcome::None;
}

// The parsed first sample entry of a track, released on every path.
class FirstEntry {
public:
    // The track is opened first: its descriptions are parsed with it.
    FirstEntry(PlayHandle* play, uint32_t track)
        : play_(play), opened_(bxf_open_track(play, track) == BXF_RET_OK), descriptions_(play, track) {
        uint32_t count = 0;
        ok_ = opened_ && descriptions_.Get() &&
              bxf_get_sample_description_count(play, descriptions_.Get(), &count) == BXF_RET_OK && count > 0;
    }

    bool Audio(AudioEntryInfo* info) const {
        return ok_ && bxf_get_audio_entry(play_, descriptions_.Get(), 1, info) == BXF_RET_OK;
    }
    bool Visual(VisualEntryInfo* info) const {
        return ok_ && bxf_get_visual_entry(play_, descriptions_.Get(), 1, info) == BXF_RET_OK;
    }

private:
    PlayHandle* play_;
    bool opened_;
    TrackDescriptions descriptions_;
    bool ok_ = false;
};

PinOutcome MakeAudioPin(CStreamHost* host, PlayHandle* play, uint32_t track, uint32_t entry_type) {
    if (IsLinearPcmEntry(entry_type)) return MakePin<CLpcmStream>(host, L"LPCM", play, track);
    if (entry_type == BXF_FOURCC('s', 'a', 'm', 'r')) return MakePin<CAmrStream>(host, L"AMR", play, track);
    // Every other audio entry: the AAC pin, which refuses at connection what is not AAC.
    return MakePin<CMpeg4AStream>(host, L"MPEG4 Audio", play, track);
}

PinOutcome MakeVideoPin(CStreamHost* host, PlayHandle* play, uint32_t track, uint32_t kind) {
    switch (kind) {
        case BXF_FORMAT_TYPE_MP4V:
            // mp4v and s263: unlike every other pin, one that cannot be made
            // fails the whole load instead of leaving the track out.
            return MakePin<CMpeg4VStream>(host, L"MPEG4 Video", play, track) == PinOutcome::Made ? PinOutcome::Made
                                                                                                 : PinOutcome::Fatal;
        case BXF_FORMAT_TYPE_AVC1:
            return MakePin<CAVCStream>(host, L"AVC/H.264 Video", play, track);
        case BXF_FORMAT_TYPE_HVC1:
            return MakePin<CHevcStream>(host, L"HEVC Video", play, track);
        default:
            return PinOutcome::None;  // other video is skipped
    }
}

}  // namespace

PinOutcome MakeTrackPin(CStreamHost* host, PlayHandle* play, uint32_t track, uint32_t handler_type) {
    FirstEntry entry(play, track);
    if (handler_type == BXF_HDLR_MEDIA_SOUND) {
        AudioEntryInfo audio;
        return entry.Audio(&audio) ? MakeAudioPin(host, play, track, audio.entry_type) : PinOutcome::None;
    }
    if (handler_type == BXF_HDLR_MEDIA_VIDEO_AND_IMAGE) {
        VisualEntryInfo visual;
        return entry.Visual(&visual) ? MakeVideoPin(host, play, track, visual.kind) : PinOutcome::None;
    }
    return PinOutcome::None;
}
