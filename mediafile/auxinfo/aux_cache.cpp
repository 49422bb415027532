#include "aux_cache.h"

namespace bxf {

namespace {

template <class T>
void init_blocks(AuxBlocks<T> &b, uint64_t table_offset, uint32_t total, uint32_t file_width) {
    b = AuxBlocks<T>{};
    b.table_offset = table_offset;
    b.total = total;
    b.file_width = file_width;
}

uint64_t decode(const uint8_t *p, uint32_t width) {
    return width == 8 ? load_u64_be(p) : width == 4 ? load_u32_be(p) : p[0];
}

// Entry e through the two blocks. The wanted block starts at the multiple
// of 50 (plus one) at or below e; it replaces the block with the smaller
// start, and when the other block is not the one just before it, that one
// goes too, so a block is kept only while reading moves forwards past it.
template <class T>
uint32_t block_entry(AuxBlocks<T> &b, const Io &io, uint32_t e, T *out) {
    if (e == 0 || e > b.total) return BXF_RET_NOTFOUND;
    for (int s = 0; s < 2; ++s) {
        if (b.first[s] != 0 && e >= b.first[s] && e - b.first[s] < b.count[s]) {
            *out = b.entries[s][e - b.first[s]];
            return BXF_RET_OK;
        }
    }
    const uint32_t wanted = (e - 1) / kAuxBlockEntries * kAuxBlockEntries + 1;
    const int replace = b.first[0] <= b.first[1] ? 0 : 1;
    const int other = 1 - replace;
    if (b.first[other] == 0 || uint64_t(b.first[other]) + kAuxBlockEntries != wanted) b.first[other] = 0;
    b.first[replace] = 0;
    const uint32_t left = b.total - wanted + 1;
    const uint32_t count = left < kAuxBlockEntries ? left : kAuxBlockEntries;
    uint8_t raw[kAuxBlockEntries * 8];
    uint64_t offset = 0;
    if (!checked_add(b.table_offset, uint64_t(wanted - 1) * b.file_width, &offset)) return BXF_RET_OVERFLOW;
    const uint32_t ret = read_exact_at(io, offset, raw, uint64_t(count) * b.file_width);
    if (ret != BXF_RET_OK) return ret;
    for (uint32_t i = 0; i < count; ++i)
        b.entries[replace][i] = T(decode(raw + uint64_t(i) * b.file_width, b.file_width));
    b.first[replace] = wanted;
    b.count[replace] = count;
    *out = b.entries[replace][e - wanted];
    return BXF_RET_OK;
}

}  // namespace

void init_saio_cache(SaioCache &cache, const SaioRecord &saio) {
    init_blocks(cache, saio.first_entry, saio.entry_count, saio.version == 1 ? 8 : 4);
}

void init_saiz_cache(SaizCache &cache, const SaizRecord &saiz) {
    cache = SaizCache{};
    // With a default size no size bytes follow.
    init_blocks(cache.sizes, saiz.first_size, saiz.default_sample_info_size != 0 ? 0 : saiz.sample_count, 1);
    cache.default_size = saiz.default_sample_info_size;
    cache.sample_count = saiz.sample_count;
    cache.flags = saiz.flags;
    cache.aux_info_type = saiz.aux_info_type;
    cache.aux_info_type_parameter = saiz.aux_info_type_parameter;
}

void init_trik_cache(TrikCache &cache, const TrikRecord &trik) {
    init_blocks(cache, trik.first_entry, trik.entry_count, 1);
}

uint32_t saio_offset(SaioCache &cache, const Io &io, uint32_t e, uint64_t *out) {
    return block_entry(cache, io, e, out);
}

uint32_t saiz_size(SaizCache &cache, const Io &io, uint32_t i, uint32_t *out) {
    if (i == 0 || i > cache.sample_count) {
        *out = 0;
        return BXF_RET_OK;
    }
    if (cache.default_size != 0) {
        *out = cache.default_size;
        return BXF_RET_OK;
    }
    uint8_t size = 0;
    const uint32_t ret = block_entry(cache.sizes, io, i, &size);
    if (ret != BXF_RET_OK) return ret;
    *out = size;
    return BXF_RET_OK;
}

uint32_t saiz_sum(SaizCache &cache, const Io &io, uint32_t from, uint64_t count, uint64_t *out) {
    *out = 0;
    // Samples past the saiz count have no auxiliary information.
    const uint64_t last = uint64_t(from) + count - 1;
    if (count == 0 || from == 0 || from > cache.sample_count) return BXF_RET_OK;
    const uint32_t end = uint32_t(last < cache.sample_count ? last : cache.sample_count);
    if (cache.default_size != 0) {
        *out = uint64_t(end - from + 1) * cache.default_size;
        return BXF_RET_OK;
    }
    uint64_t sum = 0;
    for (uint32_t i = from;; ++i) {
        uint8_t size = 0;
        const uint32_t ret = block_entry(cache.sizes, io, i, &size);
        if (ret != BXF_RET_OK) return ret;
        sum += size;
        if (i == end) break;
    }
    *out = sum;
    return BXF_RET_OK;
}

uint32_t trik_entry(TrikCache &cache, const Io &io, uint32_t i, uint8_t *out) { return block_entry(cache, io, i, out); }

uint32_t allocate_aux_caches(LibraryInstance *inst, AuxCaches &caches, const AuxBoxes &boxes) {
    caches.last_sample = 0;
    if (!aux_pair_kept(boxes)) return BXF_RET_OK;
    caches.saio = static_cast<SaioCache *>(bxf_alloc(inst, BXF_POOL_SAMPLE, sizeof(SaioCache)));
    caches.saiz = static_cast<SaizCache *>(bxf_alloc(inst, BXF_POOL_SAMPLE, sizeof(SaizCache)));
    if (!caches.saio || !caches.saiz) {
        release_aux_caches(inst, caches);
        return BXF_RET_NOMEM;
    }
    init_saio_cache(*caches.saio, boxes.saio);
    init_saiz_cache(*caches.saiz, boxes.saiz);
    return BXF_RET_OK;
}

void release_aux_caches(LibraryInstance *inst, AuxCaches &caches) {
    bxf_free(inst, caches.saio);
    bxf_free(inst, caches.saiz);
    caches.saio = nullptr;
    caches.saiz = nullptr;
    caches.last_sample = 0;
}

}  // namespace bxf
