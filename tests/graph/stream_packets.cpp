#include "stream_packets.h"

#include <stdexcept>

#include "test_graph.h"

std::vector<ProbedStream> LoadStreamPacketsOf(const std::string& unix_path) {
    std::vector<ProbedStream> streams = ReadPacketTable(WindowsPath(unix_path + ".packets.txt"));
    if (streams.empty()) throw std::runtime_error("no packet table for " + unix_path);
    return streams;
}

uint32_t Adler32(const uint8_t* bytes, size_t length) {
    uint32_t a = 1, b = 0;
    for (size_t i = 0; i < length; ++i) {
        a = (a + bytes[i]) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}
