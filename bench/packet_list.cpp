#include "packet_list.h"

#include <algorithm>
#include <cinttypes>

namespace {

// The samples of each track in the order they were read.
std::vector<PacketList> split_by_track(const PacketList &list) {
    std::vector<PacketList> tracks;
    for (const PacketRecord &p : list) {
        if (p.track > tracks.size()) tracks.resize(p.track);
        tracks[p.track - 1].push_back(p);
    }
    return tracks;
}

bool same_sample(const PacketRecord &a, const PacketRecord &b) {
    return a.offset == b.offset && a.size == b.size && a.decode_time == b.decode_time &&
           a.composition_offset == b.composition_offset && a.is_sync == b.is_sync;
}

void print_record(FILE *report, const char *who, const PacketRecord &p) {
    std::fprintf(report, "    %-12s offset %" PRIu64 " size %u decode time %" PRId64 " composition offset %" PRId64
                 " sync %u\n",
                 who, p.offset, p.size, p.decode_time, p.composition_offset, p.is_sync);
}

}  // namespace

uint64_t compare_packet_lists(const PacketList &ours, const PacketList &peer, FILE *report) {
    const std::vector<PacketList> a = split_by_track(ours), b = split_by_track(peer);
    uint64_t differing = 0;
    int printed = 0;
    for (size_t t = 0; t < std::max(a.size(), b.size()); ++t) {
        const size_t na = t < a.size() ? a[t].size() : 0, nb = t < b.size() ? b[t].size() : 0;
        if (na != nb) std::fprintf(report, "  track %zu: %zu samples, libavformat %zu\n", t + 1, na, nb);
        differing += std::max(na, nb) - std::min(na, nb);
        for (size_t i = 0; i < std::min(na, nb); ++i) {
            if (same_sample(a[t][i], b[t][i])) continue;
            ++differing;
            if (printed++ < 5) {
                std::fprintf(report, "  track %zu sample %zu:\n", t + 1, i + 1);
                print_record(report, "library", a[t][i]);
                print_record(report, "libavformat", b[t][i]);
            }
        }
    }
    return differing;
}
