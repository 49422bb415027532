#include "key_frames.h"

#include "media_time.h"

namespace {

// The composition offset, as the AVC pin reads it: signed 32 bits.
int64_t Composition(const SampleInfo& info) { return static_cast<int32_t>(info.composition_offset); }

class KeyFrameWalk {
public:
    KeyFrameWalk(const KeyFrameTrack& track, const std::function<bool(REFERENCE_TIME)>& visit)
        : track_(track), visit_(visit) {}

    HRESULT Run() {
        {
            CAutoLock lock(track_.library_lock);
            MediaHeaderInfo header;
            if (bxf_get_media_header(track_.play, track_.track, &header) != BXF_RET_OK || header.time_scale == 0)
                return E_FAIL;
            time_scale_ = header.time_scale;
        }
        SampleInfo first;
        uint64_t start = 0;
        if (!SampleAt(0, &first, &start)) return E_FAIL;
        if (track_.presentation_times) shift_ = -Composition(first);
        if (first.is_sync && !Visit(start, first)) return S_OK;
        uint64_t last = start;
        bool more = true;
        HRESULT hr = WalkTables(&last, &more);
        if (hr != S_OK || !more) return hr;
        return WalkByTime(last);
    }

private:
    bool Visit(uint64_t time, const SampleInfo& info) {
        const int64_t composition = track_.presentation_times ? Composition(info) : 0;
        return visit_(TrackToMediaTime(ClampToInt64(static_cast<__int128>(time) + composition + shift_), time_scale_));
    }

    bool SampleAt(uint64_t time, SampleInfo* info, uint64_t* start) {
        CAutoLock lock(track_.library_lock);
        return bxf_play_get_sample_at_time(track_.play, track_.track, time, 1, 0, start, info) == BXF_RET_OK;
    }

    // The sample tables by sample number, the cheapest lookup; `last` gets
    // the time of the last key frame found, `more` false when visiting ended.
    HRESULT WalkTables(uint64_t* last, bool* more) {
        for (uint32_t sample = 1;;) {
            uint32_t next = 0, code;
            uint64_t time = 0;
            SampleInfo info;
            {
                CAutoLock lock(track_.library_lock);
                code = bxf_play_find_sync_sample(track_.play, track_.track, sample, 1, &next, &time);
                if (code == BXF_RET_OK) code = bxf_play_get_sample_info(track_.play, track_.track, next, 0, &info);
            }
            if (code == BXF_RET_NOTFOUND) return S_OK;
            if (code != BXF_RET_OK || next <= sample) return E_FAIL;
            *last = time;
            if (!Visit(time, info)) {
                *more = false;
                return S_OK;
            }
            sample = next;
        }
    }

    // Past the tables, the fragments' sync samples by time.
    HRESULT WalkByTime(uint64_t time) {
        for (;;) {
            uint64_t next = 0, start = 0;
            uint32_t code;
            {
                CAutoLock lock(track_.library_lock);
                code = bxf_play_find_sync_time_near(track_.play, track_.track, time, 1, 1, &next);
            }
            if (code == BXF_RET_NOTFOUND) return S_OK;
            SampleInfo info;
            if (code != BXF_RET_OK || next <= time || !SampleAt(next, &info, &start)) return E_FAIL;
            if (!Visit(next, info)) return S_OK;
            time = next;
        }
    }

    const KeyFrameTrack& track_;
    const std::function<bool(REFERENCE_TIME)>& visit_;
    uint32_t time_scale_ = 0;
    int64_t shift_ = 0;
};

}  // namespace

HRESULT VisitKeyFrames(const KeyFrameTrack& track, const std::function<bool(REFERENCE_TIME)>& visit) {
    return KeyFrameWalk(track, visit).Run();
}
