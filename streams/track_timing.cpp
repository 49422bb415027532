#include "track_timing.h"

#include <algorithm>
#include <limits>
#include <map>

namespace {

// Enough samples to see past an irregular first one or two, few enough to
// stay within the first windows of the time-to-sample data.
constexpr int kSamplesForDuration = 120;
// Runs (chunks or track runs) summed at most: an hour of video in chunks of
// a tenth of a second; longer walks leave the bit rate unknown.
constexpr int kRunsForBitRate = 40000;

}  // namespace

uint32_t MostCommonSampleDuration(PlayHandle* play, uint32_t track) {
    std::map<uint32_t, int> counts;
    uint64_t time = 0;
    for (int n = 0; n < kSamplesForDuration; ++n) {
        uint64_t start = 0;
        SampleInfo info;
        if (bxf_play_get_sample_at_time(play, track, time, 1, 0, &start, &info) != BXF_RET_OK || info.duration == 0)
            break;
        ++counts[info.duration];
        time = start + info.duration;
    }
    uint32_t best = 0;
    int best_count = 0;
    for (const auto& [duration, count] : counts)
        if (count > best_count) best = duration, best_count = count;
    return best;
}

uint32_t TrackBitRate(PlayHandle* play, uint32_t track, uint32_t time_scale) {
    uint64_t duration = 0;
    if (time_scale == 0 || bxf_play_get_track_duration(play, track, 1, &duration) != BXF_RET_OK || duration == 0)
        return 0;
    uint64_t bytes = 0, time = 0;
    for (int runs = 0;; ++runs) {
        if (runs == kRunsForBitRate) return 0;
        uint64_t start = 0;
        SampleInfo info;
        const uint32_t code = bxf_play_get_sample_at_time(play, track, time, 1, 1, &start, &info);
        if (code == BXF_RET_NOTFOUND) break;
        if (code != BXF_RET_OK || info.run_duration == 0 || bytes > UINT64_MAX - info.run_bytes) return 0;
        bytes += info.run_bytes;
        time = start + info.run_duration;
    }
    const __int128 bits = static_cast<__int128>(bytes) * 8 * time_scale / duration;
    return static_cast<uint32_t>(std::min<__int128>(bits, std::numeric_limits<uint32_t>::max()));
}
