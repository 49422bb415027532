#include "packet_table.h"

#include <fstream>
#include <sstream>

std::vector<ProbedStream> ReadPacketTable(const std::wstring& table_path) {
    std::ifstream in(table_path.c_str());
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
            if (!(fields >> p.pts >> p.dts >> p.duration >> p.size >> key >> adler)) continue;
            p.key = key != 0;
            p.adler32 = static_cast<uint32_t>(std::stoul(adler, nullptr, 16));
            streams[index].packets.push_back(p);
        }
    }
    return streams;
}
