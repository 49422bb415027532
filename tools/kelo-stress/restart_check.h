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
    // The AVC pin's segment start: each restart moves it to the start of the
    // sample holding the time before it; entry k is where k + 1 restarts
    // since the start was set leave it. Any of them is taken.
    std::vector<REFERENCE_TIME> video_starts;
    REFERENCE_TIME audio_start = 0;
    bool stop_known = true;   // false before the first seek: each pin stops at its own duration
    REFERENCE_TIME stop = 0;  // the new segments' stop
    double rate = 1.0;
    bool samples_due = true;  // data lies between start and stop
};

struct RestartResult {
    std::vector<std::string> faults;  // one line per fault
    size_t video_moves = 0;           // 1 + the index of the video start found, 0 if none matched
    REFERENCE_TIME video_start = 0;   // the video segment's start as delivered
};

// Waits up to `ms` for both sinks to show the restart, then checks it.
RestartResult CheckRestart(RecordingSink* video, RecordingSink* audio, const RestartExpectation& expected, DWORD ms);

#endif
