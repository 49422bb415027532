// Auxiliary information of fragment samples, read only in the extended
// fragment mode: each traf's senc, saio/saiz pair, trik, sample groups, subs
// and avcn, and with fragment mode 1 the auxiliary fields of each sample.
#include "aux_info.h"
#include "fragment_internal.h"

namespace bxf {

namespace {

// The caches live in the track's fragment budget beside its runs.
uint64_t caches_charge(const AuxBoxes &boxes) {
    return aux_cache_charge(boxes) + (boxes.trik.box_offset ? kTrikCacheBytes + kAuxAllocationHeader : 0);
}

}  // namespace

uint32_t read_traf_aux(const FragmentSource &src, TrackFragments &fs, uint64_t fragment_budget) {
    const Io &io = src.io;
    release_traf_aux(io.inst, fs);
    if (src.fragment_mode == 0) return BXF_RET_OK;
    if (!src.tables) return BXF_RET_INTERNAL;
    SampleTableRecord &tables = *src.tables;
    AuxWalk walk{fs.aux, ImpliedAuxType{&tables.schemes, tables.stsd_entries, tables.stsd_entry_count, src.handler_type,
                                        fs.traf.defaults.description_index, false, true}};
    TrafChildren children;
    uint32_t ret =
        walk_traf(io, BoxRange{fs.traf.body_offset, fs.traf.box_end - fs.traf.body_offset}, &walk, &children);
    if (ret != BXF_RET_OK) return ret;
    keep_only_aux_pair(fs.aux);
    fs.aux_caches.has_senc = fs.aux.has_senc;
    fs.aux_caches.senc_flags = fs.aux.senc_version_flags & 0xFFFFFF;
    if (src.fragment_mode != 1) return BXF_RET_OK;  // only mode 1 reports per-sample information
    const uint64_t charge = caches_charge(fs.aux);
    if (fs.bytes_in_use + charge > fragment_budget) return BXF_RET_NOMEM;
    if ((ret = allocate_aux_caches(io.inst, fs.aux_caches, fs.aux)) != BXF_RET_OK) return ret;
    if (fs.aux.trik.box_offset) {
        fs.trik = static_cast<TrikCache *>(bxf_alloc(io.inst, BXF_POOL_SAMPLE, sizeof(TrikCache)));
        if (!fs.trik) {
            release_aux_caches(io.inst, fs.aux_caches);
            return BXF_RET_NOMEM;
        }
        init_trik_cache(*fs.trik, fs.aux.trik);
    }
    fs.aux_charge = charge;
    fs.bytes_in_use += charge;
    return BXF_RET_OK;
}

void release_traf_aux(LibraryInstance *inst, TrackFragments &fs) {
    release_aux_caches(inst, fs.aux_caches);
    fs.aux_caches = AuxCaches{};
    bxf_free(inst, fs.trik);
    fs.trik = nullptr;
    release_aux_boxes(inst, fs.aux);
    fs.aux = AuxBoxes{};
    fs.bytes_in_use -= fs.aux_charge;
    fs.aux_charge = 0;
}

uint32_t fragment_aux_info(const FragmentSource &src, TrackFragments &fs, const FragmentRun &run, uint32_t entry,
                           uint32_t want_run, SampleInfo &info) {
    if (src.fragment_mode != 1) return BXF_RET_OK;
    const Io &io = src.io;
    const uint32_t n = run.first_sample + entry;  // within the traf
    if (fs.trik) {
        uint8_t value = 0;
        const uint32_t ret = trik_entry(*fs.trik, io, n, &value);
        if (ret != BXF_RET_OK) return ret;  // a sample beyond the trik entries
        info.aux_flags |= BXF_AUX_TRICK_PLAY;
        info.trick_play_info = uint16_t((value >> 6) << 8 | (value & 0x3F));
    }
    const AuxPlace place{n, run.index, run.first_sample, want_run ? run.sample_count - entry : 0};
    return sample_aux_info(io, fs.aux_caches, place, fs.traf.base_data_offset, info);
}

}  // namespace bxf
