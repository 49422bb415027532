// The part of a track's edit list that players apply: at most one leading
// empty edit, which delays the track by its duration, and one edit of media,
// whose media_time is the track's presentation start (earlier samples are
// pre-roll) and whose duration ends the track. A list of any other shape is
// not applied: the track plays its samples from their own times.
#ifndef KELO_STREAMS_TRACK_EDIT_H
#define KELO_STREAMS_TRACK_EDIT_H

#include <cstdint>

#include "bxf.h"

struct TrackEdit {
    bool applied = false;
    int64_t delay = 0;        // 100 ns: when the presentation start is shown
    int64_t media_start = 0;  // track units: the sample time shown at the delay
    int64_t length = 0;       // 100 ns of media the edit shows; 0: to the track's end
};

// The edit of an opened track, read once at Load; a
// track without an applicable list gives `applied` false.
TrackEdit ReadTrackEdit(PlayHandle* play, uint32_t track);

#endif
