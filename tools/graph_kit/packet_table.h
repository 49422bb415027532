// ffprobe's streams and packets of a media file, as the table beside it holds them (NAME.packets.txt, written by
// tests/graph/stream_packets.py): the one packet table the graph tests and kelo-stress read.
#ifndef KELO_TOOLS_GRAPH_KIT_PACKET_TABLE_H
#define KELO_TOOLS_GRAPH_KIT_PACKET_TABLE_H

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
    std::vector<ProbedPacket> packets;  // in file order, which is each stream's decode order

    // A time in the stream's time base in 100 ns, rounded toward zero.
    int64_t ToMediaTime(int64_t ticks) const { return ticks * 10000000 * time_base_num / time_base_den; }
};

// The streams by index; none when the table cannot be read.
std::vector<ProbedStream> ReadPacketTable(const std::wstring& table_path);

#endif
