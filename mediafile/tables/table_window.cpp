#include "table_window.h"

#include <cstring>

namespace bxf {

namespace {

// What sets the table kinds apart, one row per kind in TableKind order.
struct TableKindRow {
    uint32_t memory_entry_size;  // bytes a decoded entry takes in a window
    uint32_t file_entry_size;    // bytes per entry in the file, where the box type does not decide
    bool running_values;         // entries carry the first sample (and time) of their run
    bool keeps_neighbour;        // lookups need the cached neighbour of a new block
};
constexpr TableKindRow kKindRows[kTableCount] = {
    {sizeof(SttsRun), 8, true, true},   // stts
    {sizeof(CttsRun), 8, true, true},   // ctts
    {4, 4, false, false},               // stsz (stz2: its field size)
    {sizeof(StscRun), 12, true, true},  // stsc
    {8, 4, false, false},               // stco (co64: 8)
    {4, 4, false, true},                // stss
};

}  // namespace

const uint32_t kMemoryEntrySize[kTableCount] = {
    kKindRows[kStts].memory_entry_size, kKindRows[kCtts].memory_entry_size,         kKindRows[kSizes].memory_entry_size,
    kKindRows[kStsc].memory_entry_size, kKindRows[kChunkOffsets].memory_entry_size, kKindRows[kStss].memory_entry_size,
};

namespace {

constexpr uint32_t kMaxBlock = 1000;

bool has_running_values(TableKind k) { return kKindRows[k].running_values; }
bool keeps_neighbour(TableKind k) { return kKindRows[k].keeps_neighbour; }

uint32_t min3(uint32_t a, uint32_t b, uint32_t c) { return a < b ? (a < c ? a : c) : (b < c ? b : c); }

// Turns the file bytes of entry `index` of a block into its memory entry.
// The file bytes lie at the tail of the block's slots and memory entries
// are at least as large, so decoding front to back never overwrites bytes
// not yet read.
void decode_raw(const TableWindow &w, const uint8_t *src, uint64_t byte_first, uint32_t entry, uint8_t *dst) {
    const uint8_t *p =
        src + (w.field_bits == 4 ? (entry - 1) / 2 - byte_first : uint64_t(entry - 1) * w.file_entry_size - byte_first);
    switch (w.kind) {
        case kStts: {
            const SttsRun run{0, 0, load_u32_be(p), load_u32_be(p + 4)};
            std::memcpy(dst, &run, sizeof run);
            break;
        }
        case kCtts: {
            const CttsRun run{0, load_u32_be(p), load_u32_be(p + 4)};
            std::memcpy(dst, &run, sizeof run);
            break;
        }
        case kStsc: {
            const StscRun run{0, load_u32_be(p), load_u32_be(p + 4), load_u32_be(p + 8)};
            std::memcpy(dst, &run, sizeof run);
            break;
        }
        case kSizes: {
            uint32_t size = 0;
            switch (w.field_bits) {
                case 4: size = (entry - 1) % 2 == 0 ? p[0] >> 4 : p[0] & 0x0F; break;
                case 8: size = p[0]; break;
                case 16: size = load_u16_be(p); break;
                default: size = load_u32_be(p); break;
            }
            std::memcpy(dst, &size, sizeof size);
            break;
        }
        case kChunkOffsets: {
            const uint64_t offset = w.file_entry_size == 8 ? load_u64_be(p) : load_u32_be(p);
            std::memcpy(dst, &offset, sizeof offset);
            break;
        }
        default: {
            const uint32_t sample = load_u32_be(p);
            std::memcpy(dst, &sample, sizeof sample);
            break;
        }
    }
}

uint32_t read_block(TableWindow &w, const Io &io, uint32_t from, uint32_t count, uint32_t slot) {
    uint64_t byte_first, byte_count;
    if (w.field_bits == 4) {
        byte_first = (from - 1) / 2;
        byte_count = (uint64_t(from) + count - 2) / 2 - byte_first + 1;
    } else {
        byte_first = uint64_t(from - 1) * w.file_entry_size;
        byte_count = uint64_t(count) * w.file_entry_size;
    }
    const uint32_t mem = kMemoryEntrySize[w.kind];
    uint8_t *dst = w.buffer + uint64_t(slot) * mem;
    uint8_t *src = dst + uint64_t(count) * mem - byte_count;
    uint32_t ret = read_exact_at(io, w.first_entry_offset + byte_first, src, byte_count);
    if (ret != BXF_RET_OK) return ret;
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t entry[sizeof(SttsRun)];
        decode_raw(w, src, byte_first, from + i, entry);
        std::memcpy(dst + uint64_t(i) * mem, entry, mem);
    }
    return BXF_RET_OK;
}

template <class T>
T *slot_entry(TableWindow &w, uint32_t slot) {
    return reinterpret_cast<T *>(w.buffer) + slot;
}

bool fits_u32(uint64_t v) { return v <= UINT32_MAX; }

// Forwards: each run starts where the previous one ended; the table's first
// entry starts at sample 1 and time 0.
uint32_t running_forward(TableWindow &w, uint32_t from, uint32_t count, uint32_t slot) {
    for (uint32_t i = 0; i < count; ++i) {
        const bool first_of_table = from + i == 1;
        const uint32_t s = slot + i;
        switch (w.kind) {
            case kStts: {
                SttsRun &r = *slot_entry<SttsRun>(w, s);
                if (first_of_table) {
                    r.first_sample = 1;
                    r.time = 0;
                    break;
                }
                const SttsRun &p = *slot_entry<SttsRun>(w, s - 1);
                const uint64_t first = uint64_t(p.first_sample) + p.count;
                uint64_t span = 0, time = 0;
                if (!fits_u32(first)) return BXF_RET_FORMAT;
                if (!checked_mul(p.count, p.delta, &span) || !checked_add(p.time, span, &time)) return BXF_RET_OVERFLOW;
                r.first_sample = uint32_t(first);
                r.time = time;
                break;
            }
            case kCtts: {
                CttsRun &r = *slot_entry<CttsRun>(w, s);
                if (first_of_table) {
                    r.first_sample = 1;
                    break;
                }
                const CttsRun &p = *slot_entry<CttsRun>(w, s - 1);
                const uint64_t first = uint64_t(p.first_sample) + p.count;
                if (!fits_u32(first)) return BXF_RET_FORMAT;
                r.first_sample = uint32_t(first);
                break;
            }
            case kStsc: {
                StscRun &r = *slot_entry<StscRun>(w, s);
                // A run of chunks without samples (samples_per_chunk 0) is legal:
                // it places nothing, and the next run starts at the same sample.
                if (first_of_table) {
                    r.first_sample = 1;
                    break;
                }
                const StscRun &p = *slot_entry<StscRun>(w, s - 1);
                if (r.first_chunk < p.first_chunk) return BXF_RET_FORMAT;
                const uint64_t first = p.first_sample + uint64_t(r.first_chunk - p.first_chunk) * p.samples_per_chunk;
                if (!fits_u32(first)) return BXF_RET_FORMAT;
                r.first_sample = uint32_t(first);
                break;
            }
            default: break;
        }
    }
    return BXF_RET_OK;
}

// Backwards: each run starts its own length before the next one; the
// table's last entry counts back from the end of the track (sample count + 1,
// the mdhd duration, the chunk count + 1).
uint32_t running_backward(TableWindow &w, const TableBounds &b, uint32_t from, uint32_t count, uint32_t slot) {
    for (uint32_t i = count; i-- > 0;) {
        const bool last_of_table = from + i == w.total;
        const uint32_t s = slot + i;
        switch (w.kind) {
            case kStts: {
                SttsRun &r = *slot_entry<SttsRun>(w, s);
                uint64_t next_first = uint64_t(b.sample_count) + 1, next_time = b.stts_end;
                if (!last_of_table) {
                    next_first = slot_entry<SttsRun>(w, s + 1)->first_sample;
                    next_time = slot_entry<SttsRun>(w, s + 1)->time;
                }
                const uint64_t span = uint64_t(r.count) * r.delta;
                if (next_first < r.count || next_time < span || !fits_u32(next_first - r.count)) return BXF_RET_FORMAT;
                r.first_sample = uint32_t(next_first - r.count);
                r.time = next_time - span;
                break;
            }
            case kCtts: {
                CttsRun &r = *slot_entry<CttsRun>(w, s);
                const uint64_t next_first =
                    last_of_table ? uint64_t(b.sample_count) + 1 : slot_entry<CttsRun>(w, s + 1)->first_sample;
                if (next_first < r.count || !fits_u32(next_first - r.count)) return BXF_RET_FORMAT;
                r.first_sample = uint32_t(next_first - r.count);
                break;
            }
            case kStsc: {
                StscRun &r = *slot_entry<StscRun>(w, s);
                uint64_t next_first = uint64_t(b.sample_count) + 1, next_chunk = uint64_t(b.chunk_count) + 1;
                if (!last_of_table) {
                    next_first = slot_entry<StscRun>(w, s + 1)->first_sample;
                    next_chunk = slot_entry<StscRun>(w, s + 1)->first_chunk;
                }
                if (r.first_chunk > next_chunk) return BXF_RET_FORMAT;
                const uint64_t span = (next_chunk - r.first_chunk) * r.samples_per_chunk;
                if (next_first <= span || !fits_u32(next_first - span)) return BXF_RET_FORMAT;
                r.first_sample = uint32_t(next_first - span);
                break;
            }
            default: break;
        }
    }
    return BXF_RET_OK;
}

// Drops the oldest cached entries when `count` more do not fit behind them,
// moving the survivors to the front of the buffer.
void make_room_forward(TableWindow &w, uint32_t count) {
    if (w.end_slot + count <= w.capacity) return;
    const uint32_t mem = kMemoryEntrySize[w.kind];
    const uint32_t cached = w.end - w.first;
    const uint32_t keep = cached < w.capacity - count ? cached : w.capacity - count;
    const uint32_t drop = cached - keep;
    std::memmove(w.buffer, w.buffer + uint64_t(w.start_slot + drop) * mem, uint64_t(keep) * mem);
    w.start_slot = 0;
    w.end_slot = keep;
    w.first += drop;
    if (w.cursor < w.first) w.cursor = w.first;
}

// Drops the newest cached entries when `count` more do not fit in front of
// them, moving the survivors to the back of the buffer.
void make_room_backward(TableWindow &w, uint32_t count) {
    if (w.start_slot >= count) return;
    const uint32_t mem = kMemoryEntrySize[w.kind];
    const uint32_t cached = w.end - w.first;
    const uint32_t keep = cached < w.capacity - count ? cached : w.capacity - count;
    const uint32_t drop = cached - keep;
    std::memmove(w.buffer + uint64_t(w.capacity - keep) * mem, w.buffer + uint64_t(w.start_slot) * mem,
                 uint64_t(keep) * mem);
    w.start_slot = w.capacity - keep;
    w.end_slot = w.capacity;
    w.end -= drop;
    if (w.cursor >= w.end) w.cursor = w.end - 1;
}

// A block as large as the whole buffer would push out the cached neighbour
// that the running values and sync searches continue from.
uint32_t block_size(const TableWindow &w, bool continuing, uint32_t available) {
    uint32_t count = min3(w.capacity, kMaxBlock, available);
    if (continuing && keeps_neighbour(w.kind) && count == w.capacity && w.capacity != 1 && w.capacity != w.total)
        --count;
    return count;
}

}  // namespace

void init_window(TableWindow &w, TableKind kind, const SampleTableRecord &record) {
    const TableHeader &t = record.tables[kind];
    TableWindow fresh{};
    fresh.kind = kind;
    fresh.first_entry_offset = t.first_entry;
    fresh.total = t.entry_count;
    fresh.file_entry_size = kKindRows[kind].file_entry_size;
    if (kind == kSizes && record.field_size != 0) {  // stz2
        fresh.field_bits = record.field_size;
        fresh.file_entry_size = record.field_size / 8;
    }
    if (kind == kChunkOffsets && t.type == BXF_FOURCC('c', 'o', '6', '4')) fresh.file_entry_size = 8;
    fresh.capacity = w.capacity;
    w = fresh;
}

void empty_window(TableWindow &w) {
    w.first = w.end = w.cursor = 0;
    w.start_slot = w.end_slot = 0;
}

uint32_t load_forward(TableWindow &w, const Io &io, const TableBounds &, uint32_t from) {
    if (!w.buffer || w.capacity == 0 || from == 0 || from > w.total) return BXF_RET_NOTFOUND;
    const bool continuing = w.first != 0 && from == w.end;
    if (!continuing) {
        if (has_running_values(w.kind) && from != 1) return BXF_RET_INTERNAL;
        empty_window(w);
    }
    const uint32_t count = block_size(w, continuing, w.total - from + 1);
    make_room_forward(w, count);
    const uint32_t slot = w.end_slot;
    uint32_t ret = read_block(w, io, from, count, slot);
    if (ret == BXF_RET_OK) ret = running_forward(w, from, count, slot);
    if (ret != BXF_RET_OK) {
        empty_window(w);
        return ret;
    }
    if (!continuing) w.first = w.cursor = from;
    w.end = from + count;
    w.end_slot = slot + count;
    return BXF_RET_OK;
}

uint32_t load_backward(TableWindow &w, const Io &io, const TableBounds &b, uint32_t to) {
    if (!w.buffer || w.capacity == 0 || to == 0 || to > w.total) return BXF_RET_NOTFOUND;
    const bool continuing = w.first != 0 && to + 1 == w.first;
    if (!continuing) {
        if (has_running_values(w.kind) && to != w.total) return BXF_RET_INTERNAL;
        empty_window(w);
        w.start_slot = w.end_slot = w.capacity;
    }
    const uint32_t count = block_size(w, continuing, to);
    make_room_backward(w, count);
    const uint32_t slot = w.start_slot - count;
    const uint32_t from = to - count + 1;
    uint32_t ret = read_block(w, io, from, count, slot);
    if (ret == BXF_RET_OK) ret = running_backward(w, b, from, count, slot);
    if (ret != BXF_RET_OK) {
        empty_window(w);
        return ret;
    }
    if (!continuing) {
        w.end = to + 1;
        w.cursor = to;
    }
    w.first = from;
    w.start_slot = slot;
    return BXF_RET_OK;
}

uint32_t fetch_entry(TableWindow &w, const Io &io, const TableBounds &b, uint32_t n) {
    if (n == 0 || n > w.total) return BXF_RET_NOTFOUND;
    if (window_holds(w, n)) return BXF_RET_OK;
    const uint32_t reach = w.capacity < kMaxBlock ? w.capacity : kMaxBlock;
    uint32_t ret;
    if (w.first != 0 && n >= w.end && n - w.end < reach)
        ret = load_forward(w, io, b, w.end);  // the next step of a sequential read
    else if (w.first != 0 && n < w.first && w.first - n <= reach)
        ret = load_backward(w, io, b, w.first - 1);
    else if (w.total + 1 - n < n)
        ret = load_backward(w, io, b, n);  // random access near the end
    else
        ret = load_forward(w, io, b, n);
    if (ret != BXF_RET_OK) return ret;
    return window_holds(w, n) ? BXF_RET_OK : BXF_RET_INTERNAL;
}

namespace {

struct Span {
    uint64_t start;
    uint64_t end;
};

uint64_t saturating_add(uint64_t a, uint64_t b) { return a + b < a ? UINT64_MAX : a + b; }

// The keys that cached entry n covers. An stsc run's extent comes from the
// next entry, so the last cached run covers nothing until its successor is
// cached too (or it is the table's last run).
Span span_of(const TableWindow &w, const TableBounds &b, KeyKind key, uint32_t n) {
    switch (key) {
        case KeyKind::stts_sample: {
            const SttsRun &r = window_entry<SttsRun>(w, n);
            return Span{r.first_sample, uint64_t(r.first_sample) + r.count};
        }
        case KeyKind::stts_time: {
            const SttsRun &r = window_entry<SttsRun>(w, n);
            return Span{r.time, saturating_add(r.time, uint64_t(r.count) * r.delta)};
        }
        case KeyKind::ctts_sample: {
            const CttsRun &r = window_entry<CttsRun>(w, n);
            return Span{r.first_sample, uint64_t(r.first_sample) + r.count};
        }
        case KeyKind::stsc_sample: {
            const StscRun &r = window_entry<StscRun>(w, n);
            // The last run reaches the last sample, unless it is a run of empty
            // chunks: then it holds nothing, whichever end the table was read from.
            if (n == w.total)
                return Span{r.first_sample, r.samples_per_chunk ? uint64_t(b.sample_count) + 1 : r.first_sample};
            if (n + 1 < w.end) return Span{r.first_sample, window_entry<StscRun>(w, n + 1).first_sample};
            return Span{r.first_sample, r.first_sample};
        }
        default: {
            // stss: entry n answers every key from its value up to the next one.
            const uint64_t v = window_entry<uint32_t>(w, n);
            if (n == w.total) return Span{v, UINT64_MAX};
            if (n + 1 < w.end) return Span{v, window_entry<uint32_t>(w, n + 1)};
            return Span{v, v + 1};
        }
    }
}

// The keys the whole cached run answers for.
Span window_span(const TableWindow &w, const TableBounds &b, KeyKind key) {
    Span first = span_of(w, b, key, w.first), last = span_of(w, b, key, w.end - 1);
    if (key == KeyKind::stss_sample && w.first == 1) first.start = 0;  // before the first sync sample
    return Span{first.start, last.end};
}

bool inside(const Span &s, uint64_t t) { return s.start <= t && t < s.end; }

// Finds the cached run holding t, starting from the cursor or from the
// nearer end of the window.
uint32_t scan_window(TableWindow &w, const TableBounds &b, KeyKind key, uint64_t t, uint32_t *out) {
    const Span all = window_span(w, b, key);
    uint32_t c = w.cursor;
    if (c < w.first || c >= w.end) c = w.first;
    const uint64_t cs = span_of(w, b, key, c).start;
    bool forward;
    uint32_t from;
    if (t >= cs) {
        forward = !(all.end - t < t - cs);
        from = forward ? c : w.end - 1;
    } else {
        forward = t - all.start < cs - t;
        from = forward ? w.first : c;
    }
    if (key == KeyKind::stss_sample && t < span_of(w, b, key, w.first).start) {
        *out = 0;  // before the table's first sync sample
        return BXF_RET_OK;
    }
    for (uint32_t n = from; n >= w.first && n < w.end; forward ? ++n : --n) {
        if (inside(span_of(w, b, key, n), t)) {
            w.cursor = n;
            *out = n;
            return BXF_RET_OK;
        }
    }
    return BXF_RET_FORMAT;  // the running values do not cover t: the table contradicts itself
}

}  // namespace

uint32_t find_run(TableWindow &w, const Io &io, const TableBounds &b, KeyKind key, uint64_t t, uint64_t limit,
                  uint32_t *out_entry) {
    if (t >= limit || w.total == 0) return BXF_RET_NOTFOUND;
    uint32_t ret = BXF_RET_OK;
    bool forward = true;
    if (w.first == 0) {
        forward = !(limit - t < t);
        ret = forward ? load_forward(w, io, b, 1) : load_backward(w, io, b, w.total);
    } else {
        const Span s = window_span(w, b, key);
        if (t >= s.end) {
            forward = !(limit - t < t - s.end);
            // A window that holds the table's last run already says t is past it.
            if (w.end > w.total) return BXF_RET_NOTFOUND;
            ret = forward ? load_forward(w, io, b, w.end) : load_backward(w, io, b, w.total);
        } else if (t < s.start) {
            forward = !(t > s.start - t) || w.first == 1;
            ret = forward ? load_forward(w, io, b, 1) : load_backward(w, io, b, w.first - 1);
        }
    }
    // Keep loading in the chosen direction until the window answers for t.
    while (ret == BXF_RET_OK) {
        const Span s = window_span(w, b, key);
        if (inside(s, t)) break;
        if (forward ? w.end > w.total : w.first == 1) return BXF_RET_NOTFOUND;
        ret = forward ? load_forward(w, io, b, w.end) : load_backward(w, io, b, w.first - 1);
    }
    if (ret != BXF_RET_OK) return ret;
    ret = scan_window(w, b, key, t, out_entry);
    if (ret == BXF_RET_FORMAT) empty_window(w);
    return ret;
}

}  // namespace bxf
