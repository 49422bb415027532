// One fixed budget for all table windows: pool 2's free bytes (131072 when
// the opener sets no budget), shared equally by the opened tracks, each
// share split among the track's six windows so that small tables are held
// whole and the large ones share the rest.
#include "sample_access.h"

namespace bxf {

namespace {

constexpr uint64_t kBufferHeaders = 6 * 8;  // the six windows' allocation headers
constexpr uint64_t kFragmentSetAsidePercent = 30;
constexpr uint64_t kFragmentRecordBytes = 24;
constexpr uint64_t kExtendedFragmentRecordBytes = 224;

}  // namespace

uint32_t size_track(TrackTableCache &cache, uint64_t share, bool fragmented, uint32_t fragment_mode) {
    uint64_t set_aside = 0;
    if (fragmented) set_aside = share * kFragmentSetAsidePercent / 100;
    uint64_t rest = share - set_aside;
    const uint64_t aux_caches = aux_cache_charge(cache.tables->aux);
    if (rest < aux_caches) return BXF_RET_NOMEM;
    rest -= aux_caches;
    if (rest < kBufferHeaders) return BXF_RET_NOMEM;
    rest -= kBufferHeaders;
    uint32_t ret = split_window_budget(rest, cache.windows, cache.tables->field_size == 4);
    if (ret != BXF_RET_OK) return ret;
    cache.fragment_set_aside = set_aside;
    cache.fragment_budget = 0;
    if (fragmented) {
        const uint64_t record = fragment_mode ? kExtendedFragmentRecordBytes : kFragmentRecordBytes;
        if (share - set_aside < record) return BXF_RET_NOMEM;
        cache.fragment_budget = share - set_aside - record;
    }
    return BXF_RET_OK;
}

uint32_t split_window_budget(uint64_t remaining, TableWindow (&windows)[kTableCount], bool compact_sizes) {
    bool sized[kTableCount] = {};
    for (uint32_t k = 0; k < kTableCount; ++k) {
        windows[k].capacity = 0;
        if (windows[k].total == 0) sized[k] = true;  // absent or empty: nothing to hold
    }
    for (uint32_t pass = 0; pass < kTableCount; ++pass) {
        uint64_t entry_bytes = 0;
        int smallest = -1;  // index of the table with the fewest entries
        for (uint32_t k = 0; k < kTableCount; ++k) {
            if (sized[k]) continue;
            entry_bytes += kMemoryEntrySize[k];
            if (smallest < 0 || windows[k].total < windows[smallest].total) smallest = int(k);
        }
        if (smallest < 0) break;
        const uint64_t q = remaining / entry_bytes;
        if (q < 2) return BXF_RET_NOMEM;
        const uint32_t capacity = q < windows[smallest].total ? uint32_t(q) : windows[smallest].total;
        windows[smallest].capacity = capacity;
        remaining -= uint64_t(capacity) * kMemoryEntrySize[smallest];
        sized[smallest] = true;
    }
    // 4-bit sizes load in whole bytes: an even capacity keeps blocks aligned.
    TableWindow &sizes = windows[kSizes];
    if (compact_sizes && sizes.capacity > 2 && sizes.capacity % 2 == 1) --sizes.capacity;
    return BXF_RET_OK;
}

uint32_t allocate_windows(LibraryInstance *inst, TrackTableCache &cache) {
    if (cache.allocated) return BXF_RET_OK;
    for (TableWindow &w : cache.windows) {
        empty_window(w);
        if (w.capacity == 0) continue;
        w.buffer =
            static_cast<uint8_t *>(bxf_alloc(inst, BXF_POOL_SAMPLE, uint64_t(w.capacity) * kMemoryEntrySize[w.kind]));
        if (!w.buffer) {
            release_windows(inst, cache);
            return BXF_RET_NOMEM;
        }
    }
    if (allocate_aux_caches(inst, cache.aux, cache.tables->aux) != BXF_RET_OK) {
        release_windows(inst, cache);
        return BXF_RET_NOMEM;
    }
    cache.allocated = true;
    return BXF_RET_OK;
}

void release_windows(LibraryInstance *inst, TrackTableCache &cache) {
    for (TableWindow &w : cache.windows) {
        bxf_free(inst, w.buffer);
        w.buffer = nullptr;
        empty_window(w);
    }
    release_aux_caches(inst, cache.aux);
    cache.allocated = false;
    cache.last_sample = 0;
}

}  // namespace bxf
