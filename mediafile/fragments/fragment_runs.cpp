// Decoding a traf's runs (ISO/IEC 14496-12 8.8.8): each trun's head placed
// after the runs before it, its entries decoded with the traf's defaults,
// and where its data and decode times end.
#include "field_reader.h"
#include "fragment_internal.h"

namespace bxf {

namespace {

uint32_t popcount(uint32_t v) {
    uint32_t n = 0;
    for (; v; v &= v - 1) ++n;
    return n;
}

}  // namespace

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

// One entry from its file bytes (`p` holds the run's entry size), with the
// traf's defaults for the fields the run does not store.
FragmentEntry decode_entry(const uint8_t *p, uint32_t entry_size, uint32_t flags, const TrafDefaults &d) {
    ByteCursor c(p, entry_size);
    FragmentEntry e{d.size, d.duration, d.flags, 0};
    if (flags & kTrunDuration) e.duration = c.u32();
    if (flags & kTrunSize) e.size = c.u32();
    if (flags & kTrunFlags) e.flags = c.u32();
    if (flags & kTrunCompositionOffset) e.composition_offset = c.u32();
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
                const FragmentEntry e = decode_entry(block + uint64_t(k) * run.entry_size, run.entry_size, flags, d);
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

uint32_t traf_sample_count(const Io &io, const TrafState &traf, uint64_t *out) {
    TrafState walk = traf;
    walk.next_child = walk.first_trun;
    walk.all_runs_read = false;
    uint64_t count = 0;
    for (;;) {
        FragmentRun run;
        bool found = false;
        const uint32_t ret = read_run_head(io, walk, &run, &found);
        if (ret != BXF_RET_OK) return ret;
        if (!found) break;
        walk.runs_read += 1;
        count += run.sample_count;
    }
    *out = count;
    return BXF_RET_OK;
}

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

}  // namespace bxf
