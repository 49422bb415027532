// ffprobe's decode times of the stress file's video samples (the packet table
// tests/graph/stream_packets.py writes),
// and from them where the AVC pin must start a segment after a seek.
#ifndef KELO_TOOLS_KELO_STRESS_VIDEO_SAMPLES_H
#define KELO_TOOLS_KELO_STRESS_VIDEO_SAMPLES_H

#include <windows.h>
#include <strmif.h>

#include <cstdint>
#include <string>
#include <vector>

class VideoSamples {
public:
    // False when the table cannot be read or holds no sample.
    bool Read(const std::wstring& path);

    // The AVC pin starts its segment at the start of the sample that holds
    // the time just before the requested one (in the track's units), so a
    // start on a sample boundary begins with that sample; a start of 0, or
    // one that no sample holds, stays where it was asked.
    REFERENCE_TIME SegmentStart(REFERENCE_TIME requested) const;
    size_t Count() const { return samples_.size(); }

private:
    struct Sample {
        int64_t dts, duration;
    };
    int64_t num_ = 0, den_ = 0;  // the time base: one unit is num/den seconds
    std::vector<Sample> samples_;
};

#endif
