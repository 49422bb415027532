// Block caches over the tables of auxiliary-information boxes: saio offsets,
// saiz sizes and trik entries are never loaded whole. Each cache holds two
// blocks of up to 50 entries, a block always starting at entry 50k + 1, so
// sequential access reads each block once with one seek and one read.
#ifndef BXF_AUX_CACHE_H
#define BXF_AUX_CACHE_H

#include "aux_boxes.h"

namespace bxf {

constexpr uint32_t kAuxBlockEntries = 50;

template <class T>
struct AuxBlocks {
    uint64_t table_offset;  // file offset of entry 1
    uint32_t total;         // entries in the table
    uint32_t file_width;    // bytes per entry in the file: 1, 4 or 8
    uint32_t first[2];      // first entry of each block, 0 = empty
    uint32_t count[2];
    T entries[2][kAuxBlockEntries];
};

using SaioCache = AuxBlocks<uint64_t>;
using TrikCache = AuxBlocks<uint8_t>;

struct SaizCache {
    AuxBlocks<uint8_t> sizes;  // empty when every sample has the default size
    uint32_t default_size;
    uint32_t sample_count;
    uint32_t flags;
    uint32_t aux_info_type;
    uint32_t aux_info_type_parameter;
};

// What window sizing sets aside per cache: the cache and its allocation
// header.
constexpr uint64_t kSaioCacheBytes = 856, kSaizCacheBytes = 168, kTrikCacheBytes = 152;
constexpr uint64_t kAuxAllocationHeader = 8;
static_assert(sizeof(SaioCache) <= kSaioCacheBytes && sizeof(SaizCache) <= kSaizCacheBytes &&
                  sizeof(TrikCache) <= kTrikCacheBytes,
              "auxiliary caches within what sizing sets aside");

// The pool-2 bytes the caches of a container's saio and saiz take.
inline uint64_t aux_cache_charge(const AuxBoxes &b) {
    return (saio_kept(b) ? kSaioCacheBytes + kAuxAllocationHeader : 0) +
           (saiz_kept(b) ? kSaizCacheBytes + kAuxAllocationHeader : 0);
}

void init_saio_cache(SaioCache &cache, const SaioRecord &saio);
void init_saiz_cache(SaizCache &cache, const SaizRecord &saiz);
void init_trik_cache(TrikCache &cache, const TrikRecord &trik);

// saio entry e (1-based); BXF_RET_NOTFOUND beyond the saio count.
uint32_t saio_offset(SaioCache &cache, const Io &io, uint32_t e, uint64_t *out);
// The auxiliary-information size of sample i: the default size, or its own
// byte; 0 beyond the saiz sample count.
uint32_t saiz_size(SaizCache &cache, const Io &io, uint32_t i, uint32_t *out);
// The sizes of samples from .. from + count - 1.
uint32_t saiz_sum(SaizCache &cache, const Io &io, uint32_t from, uint64_t count, uint64_t *out);
// The trik byte of sample i; BXF_RET_NOTFOUND beyond the trik entries.
uint32_t trik_entry(TrikCache &cache, const Io &io, uint32_t i, uint8_t *out);

// The auxiliary state of a track's (or traf's) samples: the two caches,
// present with the saio/saiz pair, and the sample placed last, from which
// the next lookup counts on when that is nearer than its group's start.
struct AuxCaches {
    SaioCache *saio;            // pool 2
    SaizCache *saiz;            // pool 2
    uint32_t last_sample;       // 0 = none
    uint32_t last_group_first;  // the first sample of its chunk (or run); 1 when saio has one entry
    uint64_t last_offset;
    // A senc box directly in the trak (or in the traf).
    uint32_t has_senc;
    uint32_t senc_flags;
};

// Allocates and initialises both caches when `boxes` holds the pair;
// BXF_RET_NOMEM leaves neither allocated.
uint32_t allocate_aux_caches(LibraryInstance *inst, AuxCaches &caches, const AuxBoxes &boxes);
// Frees the caches and forgets the last sample; the senc fields stay.
void release_aux_caches(LibraryInstance *inst, AuxCaches &caches);

}  // namespace bxf

#endif
