#include "interleave_gate.h"

#include <initializer_list>

InterleaveGate::InterleaveGate() {
    video_.advanced = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    audio_.advanced = CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

InterleaveGate::~InterleaveGate() {
    if (video_.advanced) CloseHandle(video_.advanced);
    if (audio_.advanced) CloseHandle(audio_.advanced);
}

bool InterleaveGate::Pace(StreamSide side, REFERENCE_TIME time, CBaseStream* stream) {
    Side& self = Of(side);
    Side& partner = PartnerOf(side);
    if (time > 0) {
        // A partner that has delivered nothing yet (time 0) holds no one back.
        while (partner.pace_time >= 1 && partner.pace_time + kMaxLead < time) {
            if (stream->IsStopRequested() || partner.ended) break;
            if (!SpinWhileAhead(self, partner, time)) {
                // Announce the wait, then look again: an advance made before
                // the announcement shows in the second look, one made after it
                // signals.
                partner.waiters.fetch_add(1);
                if (partner.pace_time + kMaxLead < time) WaitForSingleObject(partner.advanced, kWaitMilliseconds);
                partner.waiters.fetch_sub(1);
            }
            if (partner.active != 1) return true;
            if (self.release) return false;
        }
    }
    if (self.pace_time == time) return false;
    self.pace_time = time;
    if (self.waiters.load() > 0) SetEvent(self.advanced);
    return false;
}

// A stream held at the lead is usually let go within microseconds, as the
// partner's thread delivers its next buffer: watching the partner's fields a
// short while spares the blocking wait and the partner's signal, each a round
// trip to the server under Wine. True when the wait is over.
bool InterleaveGate::SpinWhileAhead(const Side& self, const Side& partner, REFERENCE_TIME time) {
    for (int spin = 1; spin <= kSpins; ++spin) {
        if (partner.pace_time + kMaxLead >= time || partner.active != 1 || partner.ended || self.release) return true;
        if (spin % kSpinsPerYield == 0) {
            SwitchToThread();  // lets the partner run when both share a processor
        } else {
            YieldProcessor();
        }
    }
    return false;
}

void InterleaveGate::SetActive(StreamSide side, bool active) {
    Side& self = Of(side);
    self.active = active ? 1 : 0;
    self.pace_time = 0;
    SetEvent(self.advanced);
}

void InterleaveGate::SetEnded(StreamSide side) { Of(side).ended = 1; }

// A waiting audio stream waits on the video event, and the other way round.
void InterleaveGate::ReleasePacing() {
    audio_.release = 1;
    SetEvent(video_.advanced);
    video_.release = 1;
    SetEvent(audio_.advanced);
}

void InterleaveGate::ClearAfterSeek() {
    audio_.release = 0;
    video_.release = 0;
    video_.ended = 0;
    audio_.ended = 0;
}

void InterleaveGate::Reset() {
    for (Side* side : {&video_, &audio_}) {
        side->pace_time = 0;
        side->active = 0;
        side->release = 0;
        side->ended = 0;
    }
}
