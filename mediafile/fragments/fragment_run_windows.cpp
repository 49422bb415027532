// A traf's runs in memory: each run read keeps a window of decoded entries,
// all of them charged to the track's fragment budget; the oldest runs are
// released to make room for the next.
#include <cstring>

#include "fragment_internal.h"

namespace bxf {

namespace {

constexpr uint32_t kMaxBlock = 1000;
constexpr uint64_t kBlockHeader = 8;  // the allocation header of every block

uint64_t run_cost(uint32_t capacity) {
    return sizeof(FragmentRun) + kBlockHeader +
           (capacity ? uint64_t(capacity) * sizeof(FragmentEntry) + kBlockHeader : 0);
}

void free_run(LibraryInstance *inst, TrackFragments &fs, FragmentRun *run) {
    if (fs.cursor_run == run) fs.cursor_run = nullptr;
    fs.bytes_in_use -= run_cost(run->capacity);
    bxf_free(inst, run->entries);
    bxf_free(inst, run);
}

// Makes room in the fragment budget by releasing the traf's oldest runs.
uint32_t reserve(LibraryInstance *inst, TrackFragments &fs, uint64_t budget, uint64_t cost) {
    while (fs.bytes_in_use + cost > budget) {
        FragmentRun *oldest = fs.traf.runs_head;
        if (!oldest) return BXF_RET_NOMEM;
        fs.traf.runs_head = oldest->next;
        if (!fs.traf.runs_head) fs.traf.runs_tail = nullptr;
        free_run(inst, fs, oldest);
    }
    return BXF_RET_OK;
}

// Loads the block of entries that starts at entry `first`, placed at
// `offset` and `time`.
uint32_t load_window(const Io &io, const TrafDefaults &d, FragmentRun &run, uint32_t first, uint64_t offset,
                     uint64_t time) {
    const uint32_t count = run.sample_count - first < run.capacity ? run.sample_count - first : run.capacity;
    const uint64_t bytes = uint64_t(count) * run.entry_size;
    // The file bytes go to the tail of the buffer and are decoded front to
    // back: an entry in memory is never smaller than in the file.
    uint8_t *base = reinterpret_cast<uint8_t *>(run.entries);
    uint8_t *src = base + uint64_t(count) * sizeof(FragmentEntry) - bytes;
    run.window_count = 0;
    uint32_t ret = read_exact_at(io, run.entries_offset + uint64_t(first) * run.entry_size, src, bytes);
    if (ret != BXF_RET_OK) return ret;
    const uint32_t flags = run.version_flags & 0xFFFFFF;
    for (uint32_t k = 0; k < count; ++k) {
        const FragmentEntry e = decode_entry(src + uint64_t(k) * run.entry_size, run.entry_size, flags, d);
        std::memcpy(base + uint64_t(k) * sizeof(FragmentEntry), &e, sizeof e);
    }
    run.window_first = first;
    run.window_count = count;
    run.window_offset = offset;
    run.window_time = time;
    return BXF_RET_OK;
}

}  // namespace

void release_runs(LibraryInstance *inst, TrackFragments &fs) {
    for (FragmentRun *r = fs.traf.runs_head; r;) {
        FragmentRun *next = r->next;
        free_run(inst, fs, r);
        r = next;
    }
    fs.traf.runs_head = fs.traf.runs_tail = nullptr;
}

// Reads the traf's next run into a record with a window of entries.
uint32_t load_next_run(const Io &io, TrackCache &cache, FragmentRun **out) {
    TrackFragments &fs = cache.fragments;
    FragmentRun head;
    bool found = false;
    uint32_t ret = read_run_head(io, fs.traf, &head, &found);
    if (ret != BXF_RET_OK) return ret;
    if (!found) return BXF_RET_NOTFOUND;
    if ((ret = run_extent(io, fs.traf.defaults, head)) != BXF_RET_OK) return ret;
    // A window as large as the run, at most a block, and what the budget allows.
    uint32_t capacity = 0;
    if (head.entry_size != 0 && head.sample_count != 0) {
        capacity = head.sample_count < kMaxBlock ? head.sample_count : kMaxBlock;
        const uint64_t fixed = run_cost(0) + kBlockHeader;
        const uint64_t budget = cache.table.fragment_budget;
        const uint64_t free_bytes = budget > fs.bytes_in_use ? budget - fs.bytes_in_use : 0;
        if (free_bytes > fixed && (free_bytes - fixed) / sizeof(FragmentEntry) < capacity)
            capacity = uint32_t((free_bytes - fixed) / sizeof(FragmentEntry));
        if (free_bytes <= fixed || capacity == 0) capacity = 1;  // the least a run needs; room is made below
    }
    if ((ret = reserve(io.inst, fs, cache.table.fragment_budget, run_cost(capacity))) != BXF_RET_OK) return ret;
    auto *run = static_cast<FragmentRun *>(bxf_alloc(io.inst, BXF_POOL_SAMPLE, sizeof(FragmentRun)));
    if (!run) return BXF_RET_NOMEM;
    *run = head;
    run->capacity = capacity;
    if (capacity) {
        run->entries = static_cast<FragmentEntry *>(
            bxf_alloc(io.inst, BXF_POOL_SAMPLE, uint64_t(capacity) * sizeof(FragmentEntry)));
        if (!run->entries) {
            bxf_free(io.inst, run);
            return BXF_RET_NOMEM;
        }
    }
    fs.bytes_in_use += run_cost(capacity);
    append_node(fs.traf.runs_head, fs.traf.runs_tail, run);
    advance_traf(fs.traf, *run);
    *out = run;
    return BXF_RET_OK;
}

// Entry j of a run, bringing it into the window when the run stores entries.
uint32_t run_entry(const Io &io, const TrafDefaults &d, FragmentRun &run, uint32_t j, uint64_t offset, uint64_t time,
                   FragmentEntry *out) {
    if (run.entry_size == 0) {
        *out = FragmentEntry{d.size, d.duration, d.flags, 0};
        return BXF_RET_OK;
    }
    if (j < run.window_first || j >= run.window_first + run.window_count) {
        const uint32_t ret = load_window(io, d, run, j, offset, time);
        if (ret != BXF_RET_OK) return ret;
    }
    *out = run.entries[j - run.window_first];
    return BXF_RET_OK;
}

// Starts the traf's runs over from its first trun.
void restart_traf(LibraryInstance *inst, TrackFragments &fs) {
    release_runs(inst, fs);
    TrafState &traf = fs.traf;
    traf.next_child = traf.first_trun;
    traf.data_end = traf.base_data_offset;
    traf.time_end = traf.base_time;
    traf.samples_read = traf.runs_read = 0;
    traf.all_runs_read = false;
}

}  // namespace bxf
