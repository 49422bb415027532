#include "pcm_reference.h"

#include <stdexcept>

#include "stream_packets.h"
#include "test_graph.h"

PcmReference PcmReference::Load(const std::string& name) {
    PcmReference reference;
    reference.bytes = ReadWholeFile(PcmMedia(name + ".pcm"));
    for (const ProbedStream& stream : LoadStreamPacketsOf(PcmMedia(name + ".mov"))) {
        if (stream.type != "audio") continue;
        reference.stream = stream;
        break;
    }
    if (reference.stream.packets.empty() || reference.bytes.empty())
        throw std::runtime_error("no reference for " + name);
    return reference;
}

int64_t PcmReference::FrameTime(int64_t frame) const {
    int64_t first_frame = 0;
    const std::vector<ProbedPacket>& packets = stream.packets;
    for (const ProbedPacket& p : packets) {
        int64_t frames = p.size / BlockAlign();
        if (frame < first_frame + frames || &p == &packets.back()) {
            // Within a packet the frames share its duration evenly.
            __int128 ticks =
                static_cast<__int128>(p.pts) * frames + static_cast<__int128>(frame - first_frame) * p.duration;
            __int128 hundred_ns =
                ticks * 10000000 * stream.time_base_num / (static_cast<__int128>(stream.time_base_den) * frames);
            return static_cast<int64_t>(hundred_ns);
        }
        first_frame += frames;
    }
    return 0;
}
