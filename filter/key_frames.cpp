#include "key_frames.h"

#include "media_time.h"

namespace {

// The sample starting at `time`, or the first one when `time` is 0.
bool SampleAt(const KeyFrameTrack& track, uint64_t time, SampleInfo* info) {
    uint64_t start = 0;
    CAutoLock lock(track.library_lock);
    return bxf_play_get_sample_at_time(track.play, track.track, time, 1, 0, &start, info) == BXF_RET_OK;
}

}  // namespace

HRESULT VisitKeyFrames(const KeyFrameTrack& track, const std::function<bool(REFERENCE_TIME)>& visit) {
    MediaHeaderInfo header;
    SampleInfo first;
    {
        CAutoLock lock(track.library_lock);
        if (bxf_get_media_header(track.play, track.track, &header) != BXF_RET_OK || header.time_scale == 0)
            return E_FAIL;
    }
    if (!SampleAt(track, 0, &first)) return E_FAIL;
    const int64_t shift =
        track.presentation_times ? -static_cast<int64_t>(static_cast<int32_t>(first.composition_offset)) : 0;
    auto stamp = [&](uint64_t time, const SampleInfo& info) {
        const int64_t composition = track.presentation_times ? static_cast<int32_t>(info.composition_offset) : 0;
        return TrackToMediaTime(ClampToInt64(static_cast<__int128>(time) + composition + shift), header.time_scale);
    };
    if (first.is_sync && !visit(stamp(0, first))) return S_OK;
    // Each lookup finds the next sync sample after the one holding `time`.
    for (uint64_t time = 0;;) {
        uint64_t next = 0;
        uint32_t code;
        {
            CAutoLock lock(track.library_lock);
            code = bxf_play_find_sync_time_near(track.play, track.track, time, 1, 1, &next);
        }
        if (code == BXF_RET_NOTFOUND) return S_OK;
        if (code != BXF_RET_OK || next <= time) return E_FAIL;
        SampleInfo info;
        if (!SampleAt(track, next, &info)) return E_FAIL;
        if (!visit(stamp(next, info))) return S_OK;
        time = next;
    }
}
