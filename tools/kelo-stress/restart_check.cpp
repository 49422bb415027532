#include "restart_check.h"

#include <algorithm>
#include <sstream>

namespace {

constexpr int kNalTypeSps = 7, kNalTypePps = 8;

// The events after the sink's last end of flush.
std::vector<SinkEvent> SinceLastFlush(const std::vector<SinkEvent>& events) {
    auto last = std::find_if(events.rbegin(), events.rend(),
                             [](const SinkEvent& e) { return e.kind == SinkEventKind::kEndFlush; });
    return std::vector<SinkEvent>(last.base(), events.end());
}

// A segment, then `samples` samples or end of stream.
bool Complete(const std::vector<SinkEvent>& events, size_t samples) {
    size_t seen = 0;
    for (const SinkEvent& e : events) {
        if (e.kind == SinkEventKind::kEndOfStream) return true;
        if (e.kind == SinkEventKind::kSample && ++seen >= samples) return true;
    }
    return false;
}

class Faults {
public:
    explicit Faults(const char* pin) : pin_(pin) {}
    template <class... Parts>
    void Add(const Parts&... parts) {
        std::ostringstream line;
        line << pin_ << ": ";
        (line << ... << parts);
        lines_.push_back(line.str());
    }
    std::vector<std::string>& Lines() { return lines_; }

private:
    const char* pin_;
    std::vector<std::string> lines_;
};

// The segment and the first sample of one pin; `nal_types` are the NAL unit
// types its first samples must have (empty: not looked at).
// The segment and the first samples of one pin: the segment must start at
// one of `starts` (its index + 1 goes to `matched`); `nal_types` are the NAL
// unit types its first samples must have (empty: not looked at).
void CheckPin(const char* name, RecordingSink* sink, const std::vector<REFERENCE_TIME>& starts,
              const RestartExpectation& expected, const std::vector<int>& nal_types, std::vector<std::string>* out,
              size_t* matched = nullptr, REFERENCE_TIME* delivered_start = nullptr) {
    Faults faults(name);
    const std::vector<SinkEvent> events = SinceLastFlush(sink->Events());
    if (events.empty() || events.front().kind != SinkEventKind::kNewSegment) {
        faults.Add("no new segment first after the flush (", events.size(), " events)");
    } else {
        const SinkEvent& segment = events.front();
        auto found = std::find(starts.begin(), starts.end(), segment.start);
        if (found == starts.end()) {
            std::ostringstream accepted;
            for (REFERENCE_TIME t : starts) accepted << " " << t;
            faults.Add("segment starts at ", segment.start, ", expected one of", accepted.str());
        } else if (matched) {
            *matched = static_cast<size_t>(found - starts.begin()) + 1;
        }
        if (delivered_start) *delivered_start = segment.start;
        if (expected.stop_known && segment.stop != expected.stop)
            faults.Add("segment stops at ", segment.stop, ", expected ", expected.stop);
        if (segment.rate != expected.rate) faults.Add("segment rate ", segment.rate, ", expected ", expected.rate);
    }
    std::vector<const SinkEvent*> samples;
    bool ended = false;
    for (const SinkEvent& e : events) {
        if (e.kind == SinkEventKind::kSample) samples.push_back(&e);
        if (e.kind == SinkEventKind::kEndOfStream) ended = true;
    }
    if (samples.empty()) {
        if (!ended) faults.Add("neither a sample nor end of stream");
        if (expected.samples_due) faults.Add("no sample though data lies after the start");
    } else {
        if (!samples.front()->discontinuity) faults.Add("first sample without the discontinuity flag");
        for (size_t i = 1; i < samples.size(); ++i)
            if (samples[i]->discontinuity) faults.Add("sample ", i, " carries the discontinuity flag too");
        if (!nal_types.empty()) {
            const std::vector<uint8_t> bytes = sink->Bytes();
            for (size_t i = 0; i < nal_types.size() && i < samples.size(); ++i) {
                const SinkEvent& s = *samples[i];
                if (s.byte_offset == SinkEvent::kNoBytes || s.length < 1 || s.byte_offset >= bytes.size())
                    faults.Add("sample ", i, " has no bytes");
                else if ((bytes[s.byte_offset] & 0x1F) != nal_types[i])
                    faults.Add("sample ", i, " is NAL unit type ", bytes[s.byte_offset] & 0x1F, ", expected ",
                               nal_types[i]);
            }
            if (samples.size() < nal_types.size() && !ended) faults.Add("the parameter sets did not arrive");
        }
    }
    for (std::string& line : faults.Lines()) out->push_back(std::move(line));
}

}  // namespace

RestartResult CheckRestart(RecordingSink* video, RecordingSink* audio, const RestartExpectation& expected, DWORD ms) {
    const DWORD until = GetTickCount() + ms;
    while (!(Complete(SinceLastFlush(video->Events()), 2) && Complete(SinceLastFlush(audio->Events()), 1)) &&
           static_cast<LONG>(until - GetTickCount()) > 0)
        Sleep(1);
    RestartResult result;
    CheckPin("video", video, expected.video_starts, expected, {kNalTypeSps, kNalTypePps}, &result.faults,
             &result.video_moves, &result.video_start);
    CheckPin("audio", audio, {expected.audio_start}, expected, {}, &result.faults);
    return result;
}
