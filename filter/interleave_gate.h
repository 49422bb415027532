// Keeps the audio and the video stream within five seconds of media time of
// each other: a stream strictly more than five seconds ahead of its partner
// waits, a second at most per wait, until the partner catches up, ends,
// stops, or a seek releases it.
//
// Each side's fields are written by its own streaming thread and read by the
// other's; the two auto-reset events carry the wake-ups. A side signals its
// new time only while the partner announces a wait, and a side held back
// watches its partner a short while before it announces one: most buffers
// pass the gate without a kernel call, even when one stream leads by the
// whole five seconds and the two advance in step.
#ifndef KELO_FILTER_INTERLEAVE_GATE_H
#define KELO_FILTER_INTERLEAVE_GATE_H

#include <windows.h>
#include <strmif.h>

#include <atomic>
#include <cstdint>

#include "stream_host.h"

class InterleaveGate {
public:
    static constexpr REFERENCE_TIME kMaxLead = 50000000;  // 5 s
    static constexpr DWORD kWaitMilliseconds = 1000;

    InterleaveGate();
    ~InterleaveGate();
    InterleaveGate(const InterleaveGate&) = delete;
    InterleaveGate& operator=(const InterleaveGate&) = delete;

    // Records `time` for `side`, after waiting while it is too far ahead;
    // true when the stream must end because its partner went away.
    bool Pace(StreamSide side, REFERENCE_TIME time, CBaseStream* stream);
    // A streaming thread starts (true) or ends (false); wakes the partner.
    void SetActive(StreamSide side, bool active);
    void SetEnded(StreamSide side);
    // Ends every wait at once, before the streams are repositioned.
    void ReleasePacing();
    // After a seek: no side is released or ended any more.
    void ClearAfterSeek();
    // Every time and flag back to 0, as a new file starts.
    void Reset();

private:
    struct Side {
        std::atomic<REFERENCE_TIME> pace_time{0};
        std::atomic<uint32_t> active{0};
        std::atomic<uint32_t> release{0};
        std::atomic<uint32_t> ended{0};
        std::atomic<uint32_t> waiters{0};  // threads waiting for this side to advance
        HANDLE advanced = nullptr;  // set when this side records a new time
    };

    // Before a blocking wait: how long a stream held back watches its partner.
    static constexpr int kSpins = 4096;
    static constexpr int kSpinsPerYield = 64;
    static bool SpinWhileAhead(const Side& self, const Side& partner, REFERENCE_TIME time);

    Side& Of(StreamSide side) { return side == StreamSide::Video ? video_ : audio_; }
    Side& PartnerOf(StreamSide side) { return side == StreamSide::Video ? audio_ : video_; }

    Side video_;
    Side audio_;
};

#endif
