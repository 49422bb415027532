// ffprobe's streams and packets of a corpus file, from the table that
// stream_packets.py writes, and the checksum ffprobe gives each packet.
#ifndef KELO_TESTS_GRAPH_STREAM_PACKETS_H
#define KELO_TESTS_GRAPH_STREAM_PACKETS_H

#include <cstdint>
#include <string>
#include <vector>

struct ProbedPacket {
    int64_t pts, dts, duration, size;
    bool key;
    uint32_t adler32;
};

struct ProbedStream {
    std::string type;  // "video", "audio", ...
    std::string codec;
    uint32_t rate = 0, channels = 0, bits = 0;  // audio only
    int64_t time_base_num = 0, time_base_den = 0;
    std::vector<uint8_t> extradata;
    std::vector<ProbedPacket> packets;

    // A time in the stream's time base in 100 ns, rounded toward zero.
    int64_t ToMediaTime(int64_t ticks) const { return ticks * 10000000 * time_base_num / time_base_den; }
};

// The streams of the corpus file `name` (KELO_CORPUS), by index.
std::vector<ProbedStream> LoadStreamPackets(const std::string& name);
// The same of the file at `unix_path`, whose table lies beside it.
std::vector<ProbedStream> LoadStreamPacketsOf(const std::string& unix_path);
std::string CorpusFile(const std::string& name);

uint32_t Adler32(const uint8_t* bytes, size_t length);

#endif
