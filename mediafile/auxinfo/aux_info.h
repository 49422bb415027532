// The auxiliary fields of a sample's SampleInfo: where its auxiliary
// information lies and how large it is (saio/saiz, ISO/IEC 14496-12 8.7.8
// and 8.7.9), and the flags of a senc box (ISO/IEC 23001-7 7.2).
#ifndef BXF_AUX_INFO_H
#define BXF_AUX_INFO_H

#include "aux_cache.h"

namespace bxf {

// A sample and the group that saio's entries count: a chunk of the sample
// tables, or a run of a traf.
struct AuxPlace {
    uint32_t sample;       // N: a table sample, or n counted within its traf
    uint32_t group;        // its chunk (or run): saio's entry when saio has one per group
    uint32_t group_first;  // the first sample of that chunk (or run)
    uint32_t run_count;    // with the run: this sample and the rest of its group; 0 without
};

// Fills aux_flags values 2 (through the saio/saiz caches, when present) and
// 4 (when `caches` has a senc). With one saio entry the auxiliary
// information of all samples is contiguous; otherwise saio holds one entry
// per group. `base` is added to saio's entries: a traf's base data offset,
// 0 for the sample tables. The caches remember the sample placed, so the
// caller releases them when `base` changes. BXF_RET_NOTFOUND for a group
// beyond the saio count, BXF_RET_OVERFLOW past 64 bits.
uint32_t sample_aux_info(const Io &io, AuxCaches &caches, const AuxPlace &place, uint64_t base, SampleInfo &info);

// A sample of the tables: N, its chunk and the chunk's first sample.
inline uint32_t table_aux_info(const Io &io, AuxCaches &caches, const AuxPlace &place, SampleInfo &info) {
    return sample_aux_info(io, caches, place, 0, info);
}

}  // namespace bxf

#endif
