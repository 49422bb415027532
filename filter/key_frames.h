// The key frames of a video track in its pin's stream time: every sync
// sample, of the sample tables and of the movie fragments, found one after
// another by time through the library, so no more than its bounded table
// windows are held at once.
#ifndef KELO_FILTER_KEY_FRAMES_H
#define KELO_FILTER_KEY_FRAMES_H

#include <windows.h>
#include <strmif.h>

#include <cstdint>
#include <functional>

#include "bxf.h"
#include "crit_sec.h"

struct KeyFrameTrack {
    PlayHandle* play;
    CCritSec* library_lock;  // held around each library call
    uint32_t track;
    // Stamps carry composition offsets, less the first sample's (as the AVC
    // pin stamps from the start of the file); otherwise decode times.
    bool presentation_times;
};

// Calls `visit` with each key frame's time (100 ns) in order, until it
// returns false. S_OK, or E_FAIL when the track cannot be read.
HRESULT VisitKeyFrames(const KeyFrameTrack& track, const std::function<bool(REFERENCE_TIME)>& visit);

#endif
