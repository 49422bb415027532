#include "play_report.h"

#include <algorithm>
#include <cinttypes>

#include "media_type_words.h"
#include "text.h"

namespace {

std::string Time(bool present, LONGLONG value) { return present ? std::to_string(value) : "null"; }

const char* Bool(bool b) { return b ? "true" : "false"; }

std::string Hex64(uint64_t value) {
    char text[20];
    std::snprintf(text, sizeof text, "%016" PRIx64, value);
    return text;
}

void PrintJsonEvent(FILE* out, const PlayedPin& pin, const SinkEvent& e, LONGLONG run_qpc) {
    std::string line = "{\"pin\":" + JsonString(Utf8(pin.name)) + ",\"kind\":\"" + SinkEventKindName(e.kind) + "\"";
    char arrival[32];
    std::snprintf(arrival, sizeof arrival, "%.6f", QpcSeconds(e.arrival_qpc - run_qpc));
    switch (e.kind) {
        case SinkEventKind::kSample: {
            const bool media_times = SUCCEEDED(e.media_time_result);
            line += ",\"start\":" + Time(e.HasStart(), e.start) + ",\"stop\":" + Time(e.HasStop(), e.stop) +
                    ",\"media_start\":" + Time(media_times, e.media_start) +
                    ",\"media_stop\":" + Time(media_times, e.media_stop) + ",\"sync\":" + Bool(e.sync_point) +
                    ",\"discontinuity\":" + Bool(e.discontinuity) + ",\"preroll\":" + Bool(e.preroll) +
                    ",\"type_change\":" + Bool(e.media_type_changed) + ",\"length\":" + std::to_string(e.length) +
                    ",\"hash\":\"" + Hex64(e.hash) + "\"";
            break;
        }
        case SinkEventKind::kNewSegment: {
            char rate[32];
            std::snprintf(rate, sizeof rate, "%.17g", e.rate);
            line +=
                ",\"start\":" + std::to_string(e.start) + ",\"stop\":" + std::to_string(e.stop) + ",\"rate\":" + rate;
            break;
        }
        case SinkEventKind::kEndOfStream:
            line += std::string(",\"during_flush\":") + Bool(e.during_flush);
            break;
        default:
            break;
    }
    line += std::string(",\"arrival\":") + arrival + "}";
    std::fprintf(out, "%s\n", line.c_str());
}

struct Counts {
    size_t samples = 0, segments = 0, flushes = 0, ends = 0;
    uint64_t bytes = 0;
    const SinkEvent* first = nullptr;
    const SinkEvent* last = nullptr;
};

Counts Count(const std::vector<SinkEvent>& events) {
    Counts c;
    for (const SinkEvent& e : events) {
        switch (e.kind) {
            case SinkEventKind::kSample:
                ++c.samples;
                c.bytes += static_cast<uint64_t>(e.length);
                if (!c.first) c.first = &e;
                c.last = &e;
                break;
            case SinkEventKind::kNewSegment:
                ++c.segments;
                break;
            case SinkEventKind::kBeginFlush:
                ++c.flushes;
                break;
            case SinkEventKind::kEndOfStream:
                c.ends += e.during_flush ? 0 : 1;
                break;
            default:
                break;
        }
    }
    return c;
}

std::string SampleTimes(const SinkEvent& e) {
    if (!e.HasStart()) return "no time";
    char text[64];
    if (e.HasStop()) {
        std::snprintf(text, sizeof text, "%.6f-%.6f s", e.start / 1e7, e.stop / 1e7);
    } else {
        std::snprintf(text, sizeof text, "%.6f s", e.start / 1e7);
    }
    return text;
}

}  // namespace

void PrintJsonReport(FILE* out, const std::vector<PlayedPin>& pins, const PlayResult& result) {
    for (size_t i = 0; i < pins.size(); ++i) {
        const AM_MEDIA_TYPE& mt = pins[i].type;
        // The format block in hexadecimal, for checks of its fields.
        std::string format;
        for (ULONG at = 0; mt.pbFormat && at < mt.cbFormat; ++at) {
            char pair[3];
            std::snprintf(pair, sizeof pair, "%02x", mt.pbFormat[at]);
            format += pair;
        }
        std::fprintf(out,
                     "{\"pin\":%s,\"kind\":\"pin\",\"index\":%zu,\"type\":%s,\"major\":\"%s\",\"subtype\":\"%s\","
                     "\"format_type\":\"%s\",\"format\":\"%s\"}\n",
                     JsonString(Utf8(pins[i].name)).c_str(), i, JsonString(MediaTypeWords(mt)).c_str(),
                     GuidText(mt.majortype).c_str(), GuidText(mt.subtype).c_str(), GuidText(mt.formattype).c_str(),
                     format.c_str());
    }
    // Every pin's events merged by arrival; within a pin they are already in order.
    struct Ref {
        const PlayedPin* pin;
        const SinkEvent* event;
    };
    std::vector<Ref> all;
    for (const PlayedPin& pin : pins)
        for (const SinkEvent& e : pin.events) all.push_back({&pin, &e});
    std::stable_sort(all.begin(), all.end(),
                     [](const Ref& a, const Ref& b) { return a.event->arrival_qpc < b.event->arrival_qpc; });
    for (const Ref& r : all) PrintJsonEvent(out, *r.pin, *r.event, result.run_qpc);
    std::fprintf(out, "{\"kind\":\"result\",\"status\":\"%s\",\"message\":%s,\"seconds\":%.6f,\"type_rounds\":%d}\n",
                 result.status.c_str(), JsonString(result.message).c_str(), result.wall_seconds, result.type_rounds);
}

void PrintSummary(FILE* out, const std::vector<PlayedPin>& pins, const PlayResult& result) {
    for (size_t i = 0; i < pins.size(); ++i) {
        const PlayedPin& pin = pins[i];
        const Counts c = Count(pin.events);
        std::fprintf(out, "pin %zu \"%s\": %s\n", i, Utf8(pin.name).c_str(), MediaTypeWords(pin.type).c_str());
        std::fprintf(out, "  samples %zu, bytes %" PRIu64, c.samples, c.bytes);
        if (c.first) {
            std::fprintf(out, ", first %s, last %s", SampleTimes(*c.first).c_str(), SampleTimes(*c.last).c_str());
        }
        if (result.wall_seconds > 0)
            std::fprintf(out, ", %.1f samples/s of wall time", c.samples / result.wall_seconds);
        std::fprintf(out, "\n  new segments %zu, flushes %zu, end of stream %s\n", c.segments, c.flushes,
                     c.ends ? "yes" : "no");
    }
    std::fprintf(out, "%s in %.3f s%s%s\n", result.status.c_str(), result.wall_seconds,
                 result.message.empty() ? "" : ": ", result.message.c_str());
}
