#include "stream_packets.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "test_graph.h"

std::string CorpusFile(const std::string& name) {
    const char* folder = std::getenv("KELO_CORPUS");
    return std::string(folder ? folder : "") + "/" + name;
}

std::vector<ProbedStream> LoadStreamPackets(const std::string& name) { return LoadStreamPacketsOf(CorpusFile(name)); }

std::vector<ProbedStream> LoadStreamPacketsOf(const std::string& unix_path) {
    std::ifstream in(WindowsPath(unix_path + ".packets.txt").c_str());
    std::vector<ProbedStream> streams;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string kind;
        size_t index = 0;
        fields >> kind >> index;
        if (kind == "stream") {
            if (streams.size() <= index) streams.resize(index + 1);
            ProbedStream& s = streams[index];
            std::string hex;
            fields >> s.type >> s.codec >> s.time_base_num >> s.time_base_den >> s.rate >> s.channels >> s.bits >> hex;
            for (size_t i = 0; hex != "-" && i + 1 < hex.size(); i += 2)
                s.extradata.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
        } else if (kind == "packet" && index < streams.size()) {
            ProbedPacket p;
            int key = 0;
            std::string adler;
            fields >> p.pts >> p.dts >> p.duration >> p.size >> key >> adler;
            p.key = key != 0;
            p.adler32 = static_cast<uint32_t>(std::stoul(adler, nullptr, 16));
            streams[index].packets.push_back(p);
        }
    }
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
