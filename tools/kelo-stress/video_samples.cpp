#include "video_samples.h"

#include <algorithm>

#include "packet_table.h"

bool VideoSamples::Read(const std::wstring& path) {
    for (const ProbedStream& stream : ReadPacketTable(path)) {
        if (stream.type != "video") continue;
        num_ = stream.time_base_num;
        den_ = stream.time_base_den;
        for (const ProbedPacket& p : stream.packets) samples_.push_back({p.dts, p.duration});
        break;
    }
    return !samples_.empty() && num_ > 0 && den_ > 0;
}

REFERENCE_TIME VideoSamples::SegmentStart(REFERENCE_TIME requested) const {
    // The time base is 1/time scale for an MP4 track: units = t * den / (num * 10^7).
    const int64_t units = requested * den_ / (num_ * 10000000);
    if (units <= 0) return requested;
    const int64_t before = units - 1;
    auto after = std::upper_bound(samples_.begin(), samples_.end(), before,
                                  [](int64_t t, const Sample& s) { return t < s.dts; });
    if (after == samples_.begin()) return requested;
    const Sample& holder = *(after - 1);
    if (before >= holder.dts + holder.duration) return requested;  // past the last sample
    return holder.dts * num_ * 10000000 / den_;
}
