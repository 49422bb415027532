// Fragment samples: a traf's runs read one after the other (8.8.8), each
// through a window of decoded entries charged to the track's fragment
// budget, and the sample whose decode interval holds a time.
#include <cstring>

#include "field_reader.h"
#include "fragment_internal.h"

namespace bxf {

namespace {

constexpr uint32_t kMaxBlock = 1000;
constexpr uint64_t kBlockHeader = 8;  // the allocation header of every block

uint32_t popcount(uint32_t v) {
    uint32_t n = 0;
    for (; v; v &= v - 1) ++n;
    return n;
}

// Reads the head of the traf's next trun and places the run: its data
// continues the previous run's (or starts at the base data offset) unless
// the run says where, its decode times continue the previous run's.
uint32_t read_run_head(const Io &io, TrafState &traf, FragmentRun *out, bool *found) {
    *found = false;
    while (traf.box_end > traf.next_child && traf.box_end - traf.next_child >= 8) {
        BoxRecord box;
        uint32_t ret = read_box(io, traf.next_child, traf.box_end - traf.next_child, &box);
        if (ret != BXF_RET_OK) return ret;
        traf.next_child += box.m_box_size;
        if (box.type != BXF_FOURCC('t', 'r', 'u', 'n')) continue;
        FragmentRun run{};
        BoxRange rest;
        uint32_t version = 0, flags = 0;
        int32_t delta = 0;
        ret = read_fields(io, box, &rest, [&](ByteCursor &c) {
            const bool known = read_version(c, 1, &version, &flags);
            run.sample_count = c.u32();
            if (flags & kTrunDataOffset) delta = int32_t(c.u32());
            if (flags & kTrunFirstSampleFlags) run.first_sample_flags = c.u32();
            return known;
        });
        if (ret != BXF_RET_OK) return ret;
        run.index = traf.runs_read + 1;
        run.version_flags = version << 24 | flags;
        run.data_offset = traf.data_end;
        if (flags & kTrunDataOffset) {
            // The data offset is signed and counts from the base data offset.
            if (delta < 0 ? uint64_t(-int64_t(delta)) > traf.base_data_offset
                          : !checked_add(traf.base_data_offset, uint64_t(delta), &run.data_offset))
                return BXF_RET_OVERFLOW;
            if (delta < 0) run.data_offset = traf.base_data_offset - uint64_t(-int64_t(delta));
        }
        run.entry_size = 4 * popcount(flags & (kTrunDuration | kTrunSize | kTrunFlags | kTrunCompositionOffset));
        run.entries_offset = rest.offset;
        if (run.entry_size != 0) {
            const uint64_t held = rest.size / run.entry_size;
            if (run.sample_count > held) run.sample_count = uint32_t(held);
        }
        run.first_sample = traf.samples_read + 1;
        run.start_time = traf.time_end;
        *out = run;
        *found = true;
        return BXF_RET_OK;
    }
    traf.all_runs_read = true;
    return BXF_RET_OK;
}

// One entry from its file bytes, with the traf's defaults for the fields
// the run does not store.
FragmentEntry decode_entry(const uint8_t *p, uint32_t flags, const TrafDefaults &d) {
    FragmentEntry e{d.size, d.duration, d.flags, 0};
    if (flags & kTrunDuration) e.duration = load_u32_be(p), p += 4;
    if (flags & kTrunSize) e.size = load_u32_be(p), p += 4;
    if (flags & kTrunFlags) e.flags = load_u32_be(p), p += 4;
    if (flags & kTrunCompositionOffset) e.composition_offset = load_u32_be(p);
    return e;
}

// Adds a run's sizes and durations to its start: where its data and time end.
uint32_t run_extent(const Io &io, const TrafDefaults &d, FragmentRun &run) {
    uint64_t offset = run.data_offset, time = run.start_time;
    const uint32_t flags = run.version_flags & 0xFFFFFF;
    if ((flags & (kTrunSize | kTrunDuration)) == 0) {
        uint64_t bytes = 0, span = 0;
        if (!checked_mul(run.sample_count, d.size, &bytes) || !checked_add(offset, bytes, &offset) ||
            !checked_mul(run.sample_count, d.duration, &span) || !checked_add(time, span, &time))
            return BXF_RET_OVERFLOW;
    } else {
        uint8_t block[4096];
        const uint32_t per_block = uint32_t(sizeof block / run.entry_size);
        for (uint32_t i = 0; i < run.sample_count;) {
            const uint32_t n = run.sample_count - i < per_block ? run.sample_count - i : per_block;
            uint32_t ret = read_exact_at(io, run.entries_offset + uint64_t(i) * run.entry_size, block,
                                         uint64_t(n) * run.entry_size);
            if (ret != BXF_RET_OK) return ret;
            for (uint32_t k = 0; k < n; ++k) {
                const FragmentEntry e = decode_entry(block + uint64_t(k) * run.entry_size, flags, d);
                if (!checked_add(offset, e.size, &offset) || !checked_add(time, e.duration, &time))
                    return BXF_RET_OVERFLOW;
            }
            i += n;
        }
    }
    run.end_offset = offset;
    run.end_time = time;
    return BXF_RET_OK;
}

void advance_traf(TrafState &traf, const FragmentRun &run) {
    traf.data_end = run.end_offset;
    traf.time_end = run.end_time;
    traf.samples_read += run.sample_count;
    traf.runs_read += 1;
}

uint64_t run_cost(uint32_t capacity) {
    return sizeof(FragmentRun) + kBlockHeader + (capacity ? uint64_t(capacity) * sizeof(FragmentEntry) + kBlockHeader : 0);
}

void free_run(LibraryInstance *inst, TrackFragments &fs, FragmentRun *run) {
    if (fs.cursor_run == run) fs.cursor_run = nullptr;
    fs.bytes_in_use -= run_cost(run->capacity);
    bxf_free(inst, run->entries);
    bxf_free(inst, run);
}

void release_runs(LibraryInstance *inst, TrackFragments &fs) {
    for (FragmentRun *r = fs.traf.runs_head; r;) {
        FragmentRun *next = r->next;
        free_run(inst, fs, r);
        r = next;
    }
    fs.traf.runs_head = fs.traf.runs_tail = nullptr;
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
        const FragmentEntry e = decode_entry(src + uint64_t(k) * run.entry_size, flags, d);
        std::memcpy(base + uint64_t(k) * sizeof(FragmentEntry), &e, sizeof e);
    }
    run.window_first = first;
    run.window_count = count;
    run.window_offset = offset;
    run.window_time = time;
    return BXF_RET_OK;
}

// Entry j of a run, bringing it into the window when the run stores entries.
uint32_t run_entry(const Io &io, const TrafDefaults &d, FragmentRun &run, uint32_t j, uint64_t offset,
                   uint64_t time, FragmentEntry *out) {
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

bool sync_entry(const FragmentRun &run, uint32_t j, const FragmentEntry &e) {
    if (j == 0 && (run.version_flags & kTrunFirstSampleFlags)) return !(run.first_sample_flags & kSampleIsDifference);
    return !(e.flags & kSampleIsDifference);
}

struct Found {
    FragmentRun *run;
    uint32_t entry;
    uint64_t offset;
    uint64_t time;
    FragmentEntry value;
};

// Walks a run's entries from the cursor, the window or the run's start to
// the sample whose interval [start, start + duration) holds t.
uint32_t locate_in_run(const Io &io, TrackFragments &fs, FragmentRun &run, uint64_t t, Found *out) {
    if (run.entry_size == 0) {
        // Every sample takes the defaults: the one holding t is found by
        // division, however many samples the run claims.
        const TrafDefaults &d = fs.traf.defaults;
        if (d.duration == 0 || t < run.start_time) return BXF_RET_NOTFOUND;
        const uint64_t j = (t - run.start_time) / d.duration;
        if (j >= run.sample_count) return BXF_RET_NOTFOUND;
        *out = Found{&run, uint32_t(j), run.data_offset + j * d.size, run.start_time + j * d.duration,
                     FragmentEntry{d.size, d.duration, d.flags, 0}};
        return BXF_RET_OK;
    }
    uint32_t j = 0;
    uint64_t offset = run.data_offset, time = run.start_time;
    if (fs.cursor_run == &run && fs.cursor_time <= t) {
        j = fs.cursor_entry;
        offset = fs.cursor_offset;
        time = fs.cursor_time;
    } else if (run.window_count != 0 && run.window_time <= t) {
        j = run.window_first;
        offset = run.window_offset;
        time = run.window_time;
    }
    for (; j < run.sample_count; ++j) {
        FragmentEntry e;
        uint32_t ret = run_entry(io, fs.traf.defaults, run, j, offset, time, &e);
        if (ret != BXF_RET_OK) return ret;
        if (time <= t && t - time < e.duration) {
            *out = Found{&run, j, offset, time, e};
            return BXF_RET_OK;
        }
        if (!checked_add(offset, e.size, &offset) || !checked_add(time, e.duration, &time)) return BXF_RET_OVERFLOW;
    }
    return BXF_RET_NOTFOUND;
}

// Starts the traf's runs over from its first child.
void restart_traf(LibraryInstance *inst, TrackFragments &fs) {
    release_runs(inst, fs);
    TrafState &traf = fs.traf;
    traf.next_child = traf.first_trun;
    traf.data_end = traf.base_data_offset;
    traf.time_end = traf.base_time;
    traf.samples_read = traf.runs_read = 0;
    traf.all_runs_read = false;
}

uint32_t find_in_traf(const Io &io, TrackCache &cache, uint64_t t, Found *out) {
    TrackFragments &fs = cache.fragments;
    if (fs.traf.runs_head && t < fs.traf.runs_head->start_time) restart_traf(io.inst, fs);  // its early runs were released
    for (FragmentRun *r = fs.traf.runs_head; r; r = r->next)
        if (r->start_time <= t && t < r->end_time) return locate_in_run(io, fs, *r, t, out);
    while (!fs.traf.all_runs_read) {
        FragmentRun *run = nullptr;
        uint32_t ret = load_next_run(io, cache, &run);
        if (ret == BXF_RET_NOTFOUND) break;
        if (ret != BXF_RET_OK) return ret;
        if (run->start_time <= t && t < run->end_time) return locate_in_run(io, fs, *run, t, out);
    }
    return BXF_RET_NOTFOUND;
}

void restart_scan(const FragmentSource &src, TrackFragments &fs) {
    release_runs(src.io.inst, fs);
    release_traf_aux(src.io.inst, fs);
    fs.has_traf = false;
    fs.has_carried_end = false;
    fs.scan_position = src.movie.moof_head ? src.movie.moof_head->box_offset : src.file_size;
    fs.scan_time = 0;
    fs.active = true;
}

void fill_info(const FragmentSource &src, const TrackFragments &fs, const Found &f, uint32_t want_run,
               SampleInfo *out) {
    SampleInfo info{};
    info.size = f.value.size;
    info.offset = f.offset;
    info.duration = f.value.duration;
    info.is_sync = sync_entry(*f.run, f.entry, f.value);
    info.composition_offset = f.value.composition_offset;
    info.composition_offset_signed = (f.run->version_flags >> 24) != 0;
    info.description_index = fs.traf.defaults.description_index;
    if (want_run) {
        info.run_count = f.run->sample_count - f.entry;
        info.run_bytes = f.run->end_offset - f.offset;
        info.run_duration = f.run->end_time > f.time ? f.run->end_time - f.time : 0;
    }
    if (src.fragment_mode == 1) info.fragment_position = fs.traf.moof_body;
    *out = info;
}

// The decode time at which sample `sample_number` of run `run_number` of the
// traf in hand starts, and that sample's composition offset, reading the
// traf's runs as far as that.
uint32_t indexed_sample(const Io &io, TrackCache &cache, uint32_t run_number, uint32_t sample_number,
                        uint64_t *out_time, int64_t *out_composition_offset) {
    TrackFragments &fs = cache.fragments;
    FragmentRun *run = fs.traf.runs_tail;
    while (!run || run->index < run_number) {
        const uint32_t ret = load_next_run(io, cache, &run);
        if (ret == BXF_RET_NOTFOUND) return BXF_RET_FORMAT;  // the traf has no such run
        if (ret != BXF_RET_OK) return ret;
    }
    for (run = fs.traf.runs_head; run && run->index != run_number; run = run->next) {
    }
    if (!run || sample_number == 0 || sample_number > run->sample_count) return BXF_RET_FORMAT;
    uint64_t offset = run->data_offset, time = run->start_time;
    FragmentEntry e{};
    for (uint32_t j = 0; j < sample_number; ++j) {
        if (j) {
            offset += e.size;
            time += e.duration;
        }
        const uint32_t ret = run_entry(io, fs.traf.defaults, *run, j, offset, time, &e);
        if (ret != BXF_RET_OK) return ret;
    }
    *out_time = time;
    *out_composition_offset =
        (run->version_flags >> 24) != 0 ? int64_t(int32_t(e.composition_offset)) : int64_t(e.composition_offset);
    return BXF_RET_OK;
}

// Jumps to the moof that the index names for t. The tfra time is the
// presentation time of the indexed sync sample (ISO/IEC 14496-12 8.8.10),
// not its decode time: the sample is decoded at that time less its
// composition offset, and that is where the traf's timeline is aligned. A traf with a tfdt keeps the decode times it states
// (the indexed sample may not start later than the index says); one without
// takes its timeline from the index.
uint32_t jump_to_indexed(const FragmentSource &src, TrackCache &cache, const FragmentIndexEntry &entry) {
    const Io &io = src.io;
    TrackFragments &fs = cache.fragments;
    release_runs(io.inst, fs);
    release_traf_aux(io.inst, fs);
    fs.has_traf = false;
    fs.has_carried_end = false;
    fs.scan_position = entry.moof_offset;
    uint32_t ret = next_track_traf(src, cache);
    if (ret == BXF_RET_NOTFOUND || (ret == BXF_RET_OK && fs.traf.moof_offset != entry.moof_offset))
        return BXF_RET_FORMAT;  // no traf of the track in the moof the index names
    if (ret == BXF_RET_OK) ret = read_traf_aux(src, fs, cache.table.fragment_budget);
    if (ret != BXF_RET_OK) return ret;
    uint64_t computed = 0;
    int64_t composition = 0;
    if ((ret = indexed_sample(io, cache, entry.trun_number, entry.sample_number, &computed, &composition)) !=
        BXF_RET_OK)
        return ret;
    if (computed > entry.time) return BXF_RET_FORMAT;
    TrafState &traf = fs.traf;
    fs.scan_time = traf.base_time;
    if (traf.has_tfdt) return BXF_RET_OK;
    const uint64_t decode_time = composition >= 0 ? (entry.time >= uint64_t(composition) ? entry.time - uint64_t(composition) : 0)
                                                  : entry.time + uint64_t(-composition);
    if (decode_time < computed) return BXF_RET_FORMAT;
    const uint64_t shift = decode_time - computed;
    if (!checked_add(traf.base_time, shift, &traf.base_time) || !checked_add(traf.time_end, shift, &traf.time_end))
        return BXF_RET_OVERFLOW;
    for (FragmentRun *r = traf.runs_head; r; r = r->next) {
        r->start_time += shift;
        r->end_time += shift;
        r->window_time += shift;
    }
    fs.scan_time = traf.base_time;
    return BXF_RET_OK;
}

// The index entry to jump to for t, or null: none when the track has no
// index, t lies before its first entry, or the traf in hand already reaches
// the entry's time.
uint32_t index_entry_for(const FragmentSource &src, TrackCache &cache, uint64_t t, const FragmentIndexEntry **out) {
    TrackFragments &fs = cache.fragments;
    *out = nullptr;
    if (!fs.index_tried && src.movie.tfra_count != 0) {
        fs.index_tried = true;
        const uint32_t ret = build_track_index(src.io, src.movie, src.track_id, cache.table.fragment_set_aside,
                                               cache.table.fragment_budget, &fs.index);
        if (ret == BXF_RET_FILE || ret == BXF_RET_FORMAT) return ret;  // otherwise: scan without an index
    }
    const FragmentIndexEntry *entry = fs.index.built ? lookup_fragment_index(fs.index, t) : nullptr;
    if (entry && fs.has_traf && fs.traf.base_time <= t && fs.traf.time_end >= entry->time) entry = nullptr;
    *out = entry;
    return BXF_RET_OK;
}

}  // namespace

uint32_t traf_totals(const Io &io, const TrafState &traf, uint64_t *out_data_end, uint64_t *out_time_end) {
    TrafState walk = traf;
    walk.next_child = walk.first_trun;
    walk.data_end = walk.base_data_offset;
    walk.time_end = walk.base_time;
    walk.samples_read = walk.runs_read = 0;
    walk.all_runs_read = false;
    while (!walk.all_runs_read) {
        FragmentRun run;
        bool found = false;
        uint32_t ret = read_run_head(io, walk, &run, &found);
        if (ret != BXF_RET_OK) return ret;
        if (!found) break;
        if ((ret = run_extent(io, walk.defaults, run)) != BXF_RET_OK) return ret;
        advance_traf(walk, run);
    }
    *out_data_end = walk.data_end;
    *out_time_end = walk.time_end;
    return BXF_RET_OK;
}

namespace {

uint32_t find_fragment_sample_once(const FragmentSource &src, TrackCache &cache, uint64_t t, FragmentSearch search,
                                   uint32_t want_run, SampleInfo *out, uint64_t *out_start) {
    const Io &io = src.io;
    TrackFragments &fs = cache.fragments;
    release_windows(io.inst, cache.table);  // the track leaves its tables
    // Scanning only moves forwards: a time before the traf in hand (or the
    // one last passed) starts again from the first moof, unless the
    // random-access index knows where to go.
    const FragmentIndexEntry *entry = nullptr;
    uint32_t ret = index_entry_for(src, cache, t, &entry);
    if (ret != BXF_RET_OK) return ret;
    if (entry && !(fs.has_traf && fs.traf.moof_offset == entry->moof_offset && fs.traf.base_time <= t)) {
        if ((ret = jump_to_indexed(src, cache, *entry)) != BXF_RET_OK) return ret;
        fs.active = true;
    } else if (!fs.active || t < fs.scan_time) {
        restart_scan(src, fs);
    }
    for (;;) {
        if (fs.has_traf) {
            // A time before this traf's base decode time lies in a gap of the
            // track's timeline (or before its first fragment): that ends no
            // search. The first sample at or after it is this traf's first;
            // the sample holding it, if any, lies in a later fragment.
            const bool before = t < fs.traf.base_time;
            const uint64_t wanted = search == FragmentSearch::at_or_after && before ? fs.traf.base_time : t;
            Found f;
            ret = find_in_traf(io, cache, wanted, &f);
            if (ret == BXF_RET_OK) {
                fs.cursor_run = f.run;
                fs.cursor_entry = f.entry;
                fs.cursor_offset = f.offset;
                fs.cursor_time = f.time;
                SampleInfo info;
                fill_info(src, fs, f, want_run, &info);
                if ((ret = fragment_aux_info(src, fs, *f.run, f.entry, want_run, info)) != BXF_RET_OK) return ret;
                *out = info;
                *out_start = f.time;
                return BXF_RET_OK;
            }
            if (ret != BXF_RET_NOTFOUND) return ret;
            // Past this traf: its end carries into the track's next one.
            fs.carried_end = fs.scan_time = fs.traf.time_end;
            fs.has_carried_end = true;
            release_runs(io.inst, fs);
            release_traf_aux(io.inst, fs);
            fs.has_traf = false;
        }
        if ((ret = next_track_traf(src, cache)) != BXF_RET_OK) return ret;
        if ((ret = read_traf_aux(src, fs, cache.table.fragment_budget)) != BXF_RET_OK) return ret;
        fs.scan_time = fs.traf.base_time;
    }
}

}  // namespace

uint32_t find_fragment_sample(const FragmentSource &src, TrackCache &cache, uint64_t t, FragmentSearch search,
                              uint32_t want_run, SampleInfo *out, uint64_t *out_start) {
    if (!src.movie.moof_head) return BXF_RET_NOTFOUND;
    const uint32_t ret = find_fragment_sample_once(src, cache, t, search, want_run, out, out_start);
    // An error leaves the scan wherever it stopped: forget it, so that the
    // same question asked again meets the same error, not what lies beyond.
    if (ret != BXF_RET_OK && ret != BXF_RET_NOTFOUND) {
        restart_scan(src, cache.fragments);
        cache.fragments.active = false;
    }
    return ret;
}

uint32_t next_fragment_sync(const FragmentSource &src, TrackCache &cache, uint64_t from, uint64_t *out_start) {
    for (uint64_t t = from;;) {
        SampleInfo info;
        uint64_t start = 0;
        const uint32_t ret = find_fragment_sample(src, cache, t, FragmentSearch::at_or_after, 0, &info, &start);
        if (ret != BXF_RET_OK) return ret;
        if (info.is_sync) {
            *out_start = start;
            return BXF_RET_OK;
        }
        t = start + info.duration;
        // In a run whose samples all take the default flags, the rest of the
        // run is like this one: go on after it.
        const FragmentRun *run = cache.fragments.cursor_run;
        if (run && run->entry_size == 0 && run->end_time > t) t = run->end_time;
    }
}

uint32_t fragments_end_time(const FragmentSource &src, TrackCache &cache, uint64_t from, uint64_t *out_end) {
    const bool positioned = cache.fragments.cursor_run != nullptr && cache.fragments.cursor_time != 0;
    // With an index the walk starts in the last fragment it names.
    const FragmentIndexEntry *last = nullptr;
    uint32_t ret = index_entry_for(src, cache, UINT64_MAX, &last);
    if (ret != BXF_RET_OK) return ret;
    uint64_t t = last && last->time > from ? last->time : from;
    for (bool first = true;; first = false) {
        SampleInfo info;
        uint64_t start = 0;
        // Gaps in the timeline do not end the track: the walk goes on at the
        // first sample after one.
        ret = find_fragment_sample(src, cache, t, FragmentSearch::at_or_after, 0, &info, &start);
        if (ret == BXF_RET_NOTFOUND) {
            if (first && positioned) return BXF_RET_FORMAT;
            *out_end = t;
            return BXF_RET_OK;
        }
        if (ret != BXF_RET_OK) return ret;
        // The samples of a run follow one another without gaps: the walk goes
        // on at the end of the run that holds t.
        const FragmentRun *run = cache.fragments.cursor_run;
        t = run && run->end_time > start ? run->end_time : start + info.duration;
    }
}

void release_fragments(LibraryInstance *inst, TrackCache &cache) {
    // The traf in hand stays (it is part of the track's record); its runs are
    // read again when the track comes back to its fragments.
    if (cache.fragments.has_traf) restart_traf(inst, cache.fragments);
    release_runs(inst, cache.fragments);
    cache.fragments.cursor_run = nullptr;
}

}  // namespace bxf

namespace bxf {

void close_fragments(LibraryInstance *inst, TrackCache &cache) {
    release_runs(inst, cache.fragments);
    release_traf_aux(inst, cache.fragments);
    release_track_index(inst, cache.fragments.index);
    cache.fragments = TrackFragments{};
}

}  // namespace bxf
