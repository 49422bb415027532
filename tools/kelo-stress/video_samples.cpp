#include "video_samples.h"

#include <algorithm>
#include <fstream>
#include <sstream>

bool VideoSamples::Read(const std::wstring& path) {
    std::ifstream in(path.c_str());
    std::string video = "-";  // the first video stream's index
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string kind, index, type, codec;
        fields >> kind >> index;
        if (kind == "stream" && video == "-" && fields >> type >> codec >> num_ >> den_ && type == "video") video = index;
        if (kind != "packet" || index != video) continue;
        int64_t pts = 0;
        Sample s;
        if (fields >> pts >> s.dts >> s.duration) samples_.push_back(s);
    }
    // A track's packets come in decode order.
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
