// The timeline picture of a play (--timeline FILE.svg), plain SVG.
//
// One lane per pin along media time: each delivered sample is a bar as wide
// as its duration and as tall as its size (relative to the pin's largest),
// key frames (sync points) in their own colour, discontinuities marked above
// the bar, new segments as dashed lines at their start. Below, on a second
// axis, when each sample arrived (seconds of wall time since Run) against its
// media time, one dot per sample in the pin's colour, with each flush (a seek)
// as a line across at the moment it came: with two pins, the interleave gate
// shows as the two pins' dots rising together, neither far ahead of the other
// in media time.
//
// Media time of a sample: its segment's start plus its own start (sample
// times are relative to the segment). A sample without a time sits at the
// end of the one before it.
#ifndef KELO_TOOLS_KELO_PLAY_TIMELINE_SVG_H
#define KELO_TOOLS_KELO_PLAY_TIMELINE_SVG_H

#include <windows.h>

#include <string>
#include <vector>

#include "sink_event.h"

struct TimelinePin {
    std::string name;                      // UTF-8
    const std::vector<SinkEvent>* events;  // in arrival order
};

// The SVG document. `run_qpc` is when Run was called (arrival times count from it).
std::string TimelineSvg(const std::vector<TimelinePin>& pins, LONGLONG run_qpc);

#endif
