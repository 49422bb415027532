// A track's sample tables (ISO/IEC 14496-12 8.6 and 8.7) as recorded when the
// track is opened: each table's place in the file and its clamped entry
// count. The entries themselves are read later through bounded windows.
#ifndef BXF_SAMPLE_TABLES_H
#define BXF_SAMPLE_TABLES_H

#include "aux_boxes.h"
#include "internal.h"

namespace bxf {

// The six tables that sample lookup reads, in the order in which window
// sizing breaks ties.
enum TableKind : uint32_t { kStts, kCtts, kSizes, kStsc, kChunkOffsets, kStss, kTableCount };

struct TableHeader {
    BoxRange box;           // whole box; present once recorded
    uint32_t type;          // stsz/stz2 and stco/co64 share a slot
    uint32_t version;       // ctts: 0 or 1
    uint32_t entry_count;   // clamped to the entries the payload holds
    uint64_t first_entry;   // file offset of entry 1
    uint64_t payload_left;  // payload bytes after the fixed header
};

struct SampleTableRecord {
    BoxRange stbl_body;
    uint32_t stsd_version_flags;
    uint32_t stsd_entry_count;
    BoxRange stsd_entries;  // the bytes after version/flags and the count
    TableHeader tables[kTableCount];
    uint32_t constant_sample_size;     // stsz sample_size; 0 for per-sample sizes
    uint32_t sample_count;             // of the size table
    uint32_t field_size;               // stz2: 4, 8 or 16; stsz: 0
    uint32_t first_description_index;  // of the first stsc entry
    AuxBoxes aux;                      // the saio/saiz pair, the sbgp and sgpd lists
    ProtectionSchemes schemes;         // built when an saio or saiz has no explicit type
};

inline bool table_present(const SampleTableRecord &r, TableKind k) { return r.tables[k].box.offset != 0; }

// Walks the stbl body and records its tables; `handler_type` decides which
// stsd versions are accepted.
uint32_t parse_stbl(const Io &io, BoxRange body, uint32_t handler_type, SampleTableRecord &record);
// The decode time at which the stts runs end: the sum of their spans
// (0 without an stts), read in blocks without allocating.
uint32_t stts_end_time(const Io &io, const SampleTableRecord &record, uint64_t *out);
// Releases what the record owns (the auxiliary box records and the
// protection scheme list); the record itself is part of the track's.
void release_sample_tables(LibraryInstance *inst, SampleTableRecord &record);

}  // namespace bxf

#endif
