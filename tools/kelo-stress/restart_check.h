// What both pins must show after a seek or a rate change: downstream, since
// the last flush, a new segment where the seek asked (the AVC pin's moved to
// the start of the sample holding the time), then a first sample with the
// discontinuity flag (on the AVC pin the SPS, then the PPS) or, when nothing
// lies after the start, end of stream.
#ifndef KELO_TOOLS_KELO_STRESS_RESTART_CHECK_H
#define KELO_TOOLS_KELO_STRESS_RESTART_CHECK_H

#include <windows.h>
#include <strmif.h>

#include <string>
#include <vector>

#include "recording_sink.h"

struct RestartExpectation {
    REFERENCE_TIME video_start = 0;  // the new segments' starts
    REFERENCE_TIME audio_start = 0;
    bool stop_known = true;          // false before the first seek: each pin stops at its own duration
    REFERENCE_TIME stop = 0;         // the new segments' stop
    double rate = 1.0;
    bool samples_due = true;         // data lies between start and stop
};

// Waits up to `ms` for both sinks to show the restart, then checks it: an
// empty list, or one line per fault.
std::vector<std::string> CheckRestart(RecordingSink* video, RecordingSink* audio, const RestartExpectation& expected,
                                      DWORD ms);

#endif
