// A track's sample descriptions: the `stsd` entries read into memory and
// turned into a list of SampleEntry records (ISO/IEC 14496-12 8.5.2).
#ifndef BXF_SAMPLE_ENTRIES_H
#define BXF_SAMPLE_ENTRIES_H

#include "internal.h"

namespace bxf {

// Reads the entries area of an `stsd` (the bytes after its entry count) and
// fills `out`'s list with at most `entry_count` entries, classified by the
// track's handler type. `out` must come with an empty list; its track number
// is left alone. On failure the list stays empty and nothing is kept.
uint32_t parse_sample_descriptions(const Io &io, BoxRange entries, uint32_t handler_type, uint32_t entry_count,
                                   SampleDescriptions *out);

// Releases every entry and all it owns and empties the list; the record
// itself stays the caller's. Accepts null.
void release_sample_entries(LibraryInstance *inst, SampleDescriptions *d);

}  // namespace bxf

#endif
