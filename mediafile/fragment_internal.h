// Pieces of the fragment reader shared by its two files.
#ifndef BXF_FRAGMENT_INTERNAL_H
#define BXF_FRAGMENT_INTERNAL_H

#include "fragments.h"

namespace bxf {

// Scans on from the track's scan position to the next moof that has a traf
// for `track_id` and makes it the track's current traf. BXF_RET_NOTFOUND at
// the end of the file.
uint32_t next_track_traf(PlayHandle *handle, TrackTableCache &cache, uint32_t track_id);

// Where a traf's sample data and decode times end, all its runs counted.
uint32_t traf_totals(const Io &io, const TrafState &traf, uint64_t *out_data_end, uint64_t *out_time_end);

}  // namespace bxf

#endif
