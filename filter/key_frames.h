// The key frames of a video track in its pin's stream time: every sync
// sample, of the sample tables and of the movie fragments, found one after
// another by sample number through the library, so no more than its bounded
// table windows are held at once.
#ifndef KELO_FILTER_KEY_FRAMES_H
#define KELO_FILTER_KEY_FRAMES_H

#include <windows.h>
#include <strmif.h>

#include <cstdint>

#include "bxf.h"
#include "crit_sec.h"

struct KeyFrameTrack {
    PlayHandle* play;
    CCritSec* library_lock;  // held around each library call
    uint32_t track;
    // The pin stamps presentation times from the start of the file: each
    // composition offset applied, less the first sample's (the AVC pin).
    // Otherwise decode times.
    bool presentation_times;
};

// How many key frames the track has; S_OK, or E_FAIL when it cannot be read.
HRESULT CountKeyFrames(const KeyFrameTrack& track, LONG* count);

// The first `capacity` key frames' times (100 ns) into `times`, in order;
// `written` of them. S_OK, S_FALSE when more key frames follow, E_FAIL.
HRESULT KeyFrameTimes(const KeyFrameTrack& track, REFERENCE_TIME* times, LONG capacity, LONG* written);

#endif
