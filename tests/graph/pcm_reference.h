// What ffmpeg says a PCM track holds: its decoded bytes in the order the
// filter delivers them, and ffprobe's packets, from which the media time of
// any frame follows.
#ifndef KELO_TESTS_GRAPH_PCM_REFERENCE_H
#define KELO_TESTS_GRAPH_PCM_REFERENCE_H

#include <cstdint>
#include <string>
#include <vector>

#include "packet_table.h"

// The PCM pin gathers this many frames into each buffer.
constexpr int64_t kFramesPerBuffer = 1024;

struct PcmReference {
    // Reads NAME.pcm and the packet table of NAME.mov (its first audio stream) of the PCM media fixture.
    static PcmReference Load(const std::string& name);

    ProbedStream stream;
    std::vector<uint8_t> bytes;

    uint32_t BlockAlign() const { return stream.bits / 8 * stream.channels; }
    int64_t Frames() const { return static_cast<int64_t>(bytes.size()) / BlockAlign(); }
    // The start of frame `frame` (Frames() for the end) in 100 ns, from the
    // packet that holds it, rounded toward zero.
    int64_t FrameTime(int64_t frame) const;
};

#endif
