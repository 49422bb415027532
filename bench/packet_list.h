// One located sample as either reader reports it, so that the library's
// answers can be checked against libavformat's packets.
#ifndef BXF_BENCH_PACKET_LIST_H
#define BXF_BENCH_PACKET_LIST_H

#include <cstdint>
#include <cstdio>
#include <vector>

// Times are in the track's media time scale, with no edit list applied.
// libavformat's own packet duration is not compared: at a jump in the
// decode times it can differ from the sample's `stts` delta, which the
// next packet's dts shows.
struct PacketRecord {
    uint32_t track;  // 1-based: the trak's position, which is libavformat's stream index + 1
    uint64_t offset;
    uint32_t size;
    int64_t decode_time;         // the library: the sum of the durations before it; libavformat: dts
    int64_t composition_offset;  // the library: from SampleInfo; libavformat: pts - dts
    uint32_t is_sync;
};

using PacketList = std::vector<PacketRecord>;

// Compares the two lists track by track, in sample order (the two readers
// may interleave tracks differently). Prints the first differences to
// `report` and returns how many samples differ (a missing sample counts).
uint64_t compare_packet_lists(const PacketList &ours, const PacketList &peer, FILE *report);

#endif
