// Conversions between a track's time units and media time (100 ns): signed
// 64-bit results, rounding toward zero, as every stamp of every pin is made.
// Products are formed in 128 bits and the results held to the 64-bit range,
// so no file value can overflow them.
#ifndef KELO_STREAMS_MEDIA_TIME_H
#define KELO_STREAMS_MEDIA_TIME_H

#include <cstdint>
#include <limits>

constexpr int64_t kUnitsPerSecond = 10000000;

inline int64_t ClampToInt64(__int128 value) {
    if (value > std::numeric_limits<int64_t>::max()) return std::numeric_limits<int64_t>::max();
    if (value < std::numeric_limits<int64_t>::min()) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(value);
}

// Track units to 100 ns; `time_scale` is never 0 here (such tracks are refused).
inline int64_t TrackToMediaTime(int64_t units, uint32_t time_scale) {
    return ClampToInt64(static_cast<__int128>(units) * kUnitsPerSecond / time_scale);
}

// Track units to 100 ns rounded to the nearest unit, for nominal durations.
inline int64_t NearestMediaTime(int64_t units, uint32_t time_scale) {
    const __int128 scaled = static_cast<__int128>(units) * kUnitsPerSecond;
    return ClampToInt64((scaled + time_scale / 2) / time_scale);
}

// The stamp of a buffer: 100 ns divided by the playback rate.
inline int64_t StampAtRate(int64_t media_time, double rate) {
    double stamp = static_cast<double>(media_time) / rate;
    if (!(stamp < 9.2e18)) return std::numeric_limits<int64_t>::max();
    if (!(stamp > -9.2e18)) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(stamp);
}

// 100 ns to track units, for repositioning.
inline int64_t MediaToTrackTime(int64_t media_time, uint32_t time_scale) {
    return ClampToInt64(static_cast<__int128>(time_scale) * media_time / kUnitsPerSecond);
}

#endif
