#include "key_frames.h"

#include <climits>

#include "media_time.h"

namespace {

// Sample by sample number, which runs through the tables and on through the
// fragments: the first sample if it is a sync sample, then each sync sample
// after the last one, until `visit(sample, decode_time)` answers false.
// S_OK when the walk ended either way, E_FAIL when the track cannot be read.
template <typename Visit>
HRESULT WalkSyncSamples(const KeyFrameTrack& track, Visit visit) {
    SampleInfo first;
    uint32_t code;
    {
        CAutoLock lock(track.library_lock);
        code = bxf_play_get_sample_info(track.play, track.track, 1, 0, &first);
    }
    if (code == BXF_RET_NOTFOUND) return S_OK;  // no samples
    if (code != BXF_RET_OK) return E_FAIL;
    if (first.is_sync && !visit(1u, first.decode_time)) return S_OK;
    for (uint32_t sample = 1;;) {
        uint32_t next = 0;
        uint64_t time = 0;
        {
            CAutoLock lock(track.library_lock);
            code = bxf_play_find_sync_sample(track.play, track.track, sample, 1, &next, &time);
        }
        if (code == BXF_RET_NOTFOUND) return S_OK;
        if (code != BXF_RET_OK || next <= sample) return E_FAIL;
        if (!visit(next, time)) return S_OK;
        sample = next;
    }
}

bool TimeScale(const KeyFrameTrack& track, uint32_t* time_scale) {
    CAutoLock lock(track.library_lock);
    MediaHeaderInfo header;
    if (bxf_get_media_header(track.play, track.track, &header) != BXF_RET_OK || header.time_scale == 0) return false;
    *time_scale = header.time_scale;
    return true;
}

bool SampleRecord(const KeyFrameTrack& track, uint32_t number, SampleInfo* info) {
    CAutoLock lock(track.library_lock);
    return bxf_play_get_sample_info(track.play, track.track, number, 0, info) == BXF_RET_OK;
}

int64_t Composition(const SampleInfo& info) { return static_cast<int32_t>(info.composition_offset); }

}  // namespace

HRESULT CountKeyFrames(const KeyFrameTrack& track, LONG* count) {
    LONG found = 0;
    HRESULT hr = WalkSyncSamples(track, [&found](uint32_t, uint64_t) { return ++found < LONG_MAX; });
    *count = SUCCEEDED(hr) ? found : 0;
    return hr;
}

// Two passes where stamps carry composition offsets: the sync search alone
// first, keeping each key frame's sample number in its slot, then each one's
// record in sample order. The search and the sample records use different
// table windows, and interleaved they would evict each other's.
HRESULT KeyFrameTimes(const KeyFrameTrack& track, REFERENCE_TIME* times, LONG capacity, LONG* written) {
    *written = 0;
    uint32_t time_scale = 0;
    if (!TimeScale(track, &time_scale)) return E_FAIL;
    LONG filled = 0;
    bool more = false;
    HRESULT hr = WalkSyncSamples(track, [&](uint32_t sample, uint64_t decode_time) {
        if (filled == capacity) {
            more = true;
            return false;
        }
        times[filled++] = track.presentation_times ? static_cast<REFERENCE_TIME>(sample)
                                                   : TrackToMediaTime(ClampToInt64(decode_time), time_scale);
        return true;
    });
    if (FAILED(hr)) return hr;
    if (track.presentation_times && filled > 0) {
        SampleInfo first, key;
        if (!SampleRecord(track, 1, &first)) return E_FAIL;
        for (LONG i = 0; i < filled; ++i) {
            if (!SampleRecord(track, static_cast<uint32_t>(times[i]), &key)) return E_FAIL;
            const __int128 time = static_cast<__int128>(key.decode_time) + Composition(key) - Composition(first);
            times[i] = TrackToMediaTime(ClampToInt64(time), time_scale);
        }
    }
    *written = filled;
    return more ? S_FALSE : S_OK;
}
