#include "aux_info.h"

namespace bxf {

namespace {

// The auxiliary information of the sample is at its group's saio entry plus
// the sizes of the group's samples before it; from the sample placed last,
// when it lies in the same group and nearer, only the sizes between the two
// are added or taken away.
uint32_t aux_offset(const Io &io, AuxCaches &caches, const AuxPlace &place, uint64_t base, uint32_t start,
                    uint64_t *out) {
    SaioCache &saio = *caches.saio;
    SaizCache &saiz = *caches.saiz;
    const uint32_t n = place.sample, last = caches.last_sample;
    const uint32_t from_last = n >= last ? n - last : last - n;
    uint64_t sizes = 0;
    uint32_t ret = BXF_RET_OK;
    if (last != 0 && caches.last_group_first == start && from_last < n - start) {
        if (n >= last) {
            if ((ret = saiz_sum(saiz, io, last, n - last, &sizes)) != BXF_RET_OK) return ret;
            return checked_add(caches.last_offset, sizes, out) ? BXF_RET_OK : BXF_RET_OVERFLOW;
        }
        if ((ret = saiz_sum(saiz, io, n, last - n, &sizes)) != BXF_RET_OK) return ret;
        if (sizes > caches.last_offset) return BXF_RET_INTERNAL;
        *out = caches.last_offset - sizes;
        return BXF_RET_OK;
    }
    uint64_t entry = 0, offset = 0;
    const uint32_t entry_number = saio.total == 1 ? 1 : place.group;
    if ((ret = saio_offset(saio, io, entry_number, &entry)) != BXF_RET_OK) return ret;
    if ((ret = saiz_sum(saiz, io, start, n - start, &sizes)) != BXF_RET_OK) return ret;
    if (!checked_add(base, entry, &offset) || !checked_add(offset, sizes, out)) return BXF_RET_OVERFLOW;
    return BXF_RET_OK;
}

}  // namespace

uint32_t sample_aux_info(const Io &io, AuxCaches &caches, const AuxPlace &place, uint64_t base, SampleInfo &info) {
    if (caches.saio && caches.saiz) {
        const uint32_t start = caches.saio->total == 1 ? 1 : place.group_first;
        if (place.sample == 0 || place.sample < start) return BXF_RET_INTERNAL;
        SaizCache &saiz = *caches.saiz;
        uint64_t offset = 0, run_bytes = 0;
        uint32_t size = 0;
        uint32_t ret = aux_offset(io, caches, place, base, start, &offset);
        if (ret == BXF_RET_OK) ret = saiz_size(saiz, io, place.sample, &size);
        if (ret == BXF_RET_OK && place.run_count != 0)
            ret = saiz_sum(saiz, io, place.sample, place.run_count, &run_bytes);
        if (ret != BXF_RET_OK) return ret;
        caches.last_sample = place.sample;
        caches.last_group_first = start;
        caches.last_offset = offset;
        info.aux_flags |= BXF_AUX_SAIO_SAIZ;
        info.saiz_flags = saiz.flags;
        info.aux_info_type = saiz.aux_info_type;
        info.aux_info_type_parameter = saiz.aux_info_type_parameter;
        info.aux_offset = offset;
        info.aux_size = size;
        info.aux_run_bytes = run_bytes;
    }
    if (caches.has_senc) {
        info.aux_flags |= BXF_AUX_SENC;
        info.senc_flags = caches.senc_flags;
    }
    return BXF_RET_OK;
}

}  // namespace bxf
