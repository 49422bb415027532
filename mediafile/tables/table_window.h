// Bounded windows over a track's sample tables. Each table is read in blocks
// of at most 1000 entries into a buffer of fixed capacity, decoded into
// fixed-size memory entries; stts, ctts and stsc entries also carry running
// values (the first sample of each run, the decode time of each stts run)
// computed while loading, forwards from the table's start or backwards from
// its end.
#ifndef BXF_TABLE_WINDOW_H
#define BXF_TABLE_WINDOW_H

#include "sample_tables.h"

namespace bxf {

struct SttsRun {
    uint32_t first_sample;
    uint64_t time;
    uint32_t count;
    uint32_t delta;
};
struct CttsRun {
    uint32_t first_sample;
    uint32_t count;
    uint32_t offset;
};
struct StscRun {
    uint32_t first_sample;
    uint32_t first_chunk;
    uint32_t samples_per_chunk;
    uint32_t description_index;
};
static_assert(sizeof(SttsRun) == 24 && sizeof(CttsRun) == 12 && sizeof(StscRun) == 16, "window entry sizes");

// Bytes one decoded entry takes in a window, per table kind.
extern const uint32_t kMemoryEntrySize[kTableCount];

// What the running values count back from, and the limits of lookups.
struct TableBounds {
    uint32_t sample_count;
    uint32_t chunk_count;
    uint64_t stts_end;  // where the stts runs end: the tables' last decode time
};

struct TableWindow {
    TableKind kind;
    uint64_t first_entry_offset;
    uint32_t file_entry_size;  // bytes; 0 for 4-bit stz2 entries
    uint32_t field_bits;       // stz2 field size; 0 otherwise
    uint32_t total;            // entries in the table
    uint32_t capacity;         // entries the buffer holds
    uint8_t *buffer;
    uint32_t first;   // first cached entry number, 0 when empty
    uint32_t end;     // one past the last cached entry
    uint32_t cursor;  // the entry found last
    uint32_t start_slot;
    uint32_t end_slot;
};

// Sets up a window from the recorded table (capacity 0, no buffer).
void init_window(TableWindow &w, TableKind kind, const SampleTableRecord &record);
void empty_window(TableWindow &w);

template <class T>
T &window_entry(const TableWindow &w, uint32_t n) {
    return reinterpret_cast<T *>(w.buffer)[w.start_slot + (n - w.first)];
}
inline bool window_holds(const TableWindow &w, uint32_t n) { return w.first != 0 && n >= w.first && n < w.end; }

// Loads the block that starts at entry `from` (continuing the cached run
// when `from` is its end, else starting afresh) or ends at entry `to`.
// Running tables start afresh only at the table's start or end.
uint32_t load_forward(TableWindow &w, const Io &io, const TableBounds &b, uint32_t from);
uint32_t load_backward(TableWindow &w, const Io &io, const TableBounds &b, uint32_t to);

// Brings entry n of a table without running values (sizes, chunk offsets)
// into the window: sequential steps continue the cached run, random access
// reloads from the nearer end.
uint32_t fetch_entry(TableWindow &w, const Io &io, const TableBounds &b, uint32_t n);

// The key space of a running table: sample numbers or decode times. `span`
// gives the keys covered by cached entry n, [start, end).
enum class KeyKind { stts_sample, stts_time, ctts_sample, stsc_sample, stss_sample };

// Brings the run holding key T into the window, following the cheaper
// direction, and moves the cursor to it: returns its entry number in
// `out_entry`. For stss, the entry found is the last one whose value is at
// most T (0 when T lies before the first entry). BXF_RET_NOTFOUND when T lies
// at or past `limit` or outside the table.
uint32_t find_run(TableWindow &w, const Io &io, const TableBounds &b, KeyKind key, uint64_t t, uint64_t limit,
                  uint32_t *out_entry);

}  // namespace bxf

#endif
