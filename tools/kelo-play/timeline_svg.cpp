#include "timeline_svg.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace {

// Layout, in SVG user units (pixels).
constexpr double kWidth = 960;
constexpr double kLeft = 150;  // pin names and axis labels
constexpr double kRight = 20;
constexpr double kTop = 40;
constexpr double kLaneHeight = 64;
constexpr double kLaneGap = 26;
constexpr double kArrivalHeight = 220;
constexpr double kLegendHeight = 56;

// Pin colours for the arrival lines, in pin order.
const char* const kPinColours[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd"};

constexpr double kUnitsPerSecond = 1e7;

struct PlacedSample {
    double media_start;  // seconds
    double media_end;
    double arrival;  // seconds since Run
    long length;
    bool key;
    bool discontinuity;
};

struct PlacedPin {
    std::string name;
    std::vector<PlacedSample> samples;
    std::vector<double> segments;  // media start of each new segment, seconds
    std::vector<double> flushes;   // arrival of each begin-flush, seconds
    long largest = 0;
};

PlacedPin Place(const TimelinePin& pin, LONGLONG run_qpc) {
    PlacedPin placed;
    placed.name = pin.name;
    double segment_start = 0;
    double segment_rate = 1;
    double previous_end = 0;
    for (const SinkEvent& e : *pin.events) {
        const double arrival = QpcSeconds(e.arrival_qpc - run_qpc);
        switch (e.kind) {
            case SinkEventKind::kNewSegment:
                segment_start = double(e.start) / kUnitsPerSecond;
                segment_rate = e.rate > 0 ? e.rate : 1;
                previous_end = segment_start;
                placed.segments.push_back(segment_start);
                break;
            case SinkEventKind::kBeginFlush:
                placed.flushes.push_back(arrival);
                break;
            case SinkEventKind::kSample: {
                PlacedSample s;
                // Stream time runs at the segment's rate against media time.
                s.media_start =
                    e.HasStart() ? segment_start + segment_rate * double(e.start) / kUnitsPerSecond : previous_end;
                s.media_end =
                    e.HasStop() ? segment_start + segment_rate * double(e.stop) / kUnitsPerSecond : s.media_start;
                if (s.media_end < s.media_start) s.media_end = s.media_start;
                s.arrival = arrival;
                s.length = e.length;
                s.key = e.sync_point;
                s.discontinuity = e.discontinuity;
                previous_end = s.media_end;
                placed.largest = std::max(placed.largest, e.length);
                placed.samples.push_back(s);
                break;
            }
            default:
                break;
        }
    }
    return placed;
}

std::string Escape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                // Control characters are not allowed in XML 1.0 text.
                if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') out += c;
        }
    }
    return out;
}

// printf into a string of whatever length the text needs.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    std::string text(length > 0 ? size_t(length) : 0, '\0');
    if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);
    return text;
}

// A step for axis ticks: 1, 2 or 5 times a power of ten, giving about `count` ticks.
double TickStep(double range, int count) {
    if (range <= 0) return 1;
    const double raw = range / count;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0})
        if (m * power >= raw) return m * power;
    return 10 * power;
}

class Scale {
public:
    Scale(double from, double to, double pixel_from, double pixel_to)
        : from_(from), span_(to > from ? to - from : 1), pixel_from_(pixel_from), pixel_span_(pixel_to - pixel_from) {}
    double operator()(double value) const { return pixel_from_ + (value - from_) / span_ * pixel_span_; }

private:
    double from_, span_, pixel_from_, pixel_span_;
};

const char* PinColour(size_t index) { return kPinColours[index % (sizeof kPinColours / sizeof kPinColours[0])]; }

// Where everything goes: the two axes' ranges and the panels' positions.
struct Frame {
    double media_min = 0, media_max = 0;  // seconds of media time
    double wall_min = 0, wall_max = 0;    // seconds since Run
    double arrival_top = 0, arrival_bottom = 0, height = 0;
    Scale x{0, 1, 0, 1};       // media time to x
    Scale wall_y{0, 1, 0, 1};  // arrival to y (later is higher)
};

// A range that grows to hold every value given.
struct Range {
    bool empty = true;
    double low = 0, high = 0;
    void Add(double value) {
        low = empty ? value : std::min(low, value);
        high = empty ? value : std::max(high, value);
        empty = false;
    }
};

Frame Measure(const std::vector<PlacedPin>& pins) {
    Range media, wall;
    for (const PlacedPin& pin : pins) {
        for (const PlacedSample& s : pin.samples) {
            media.Add(s.media_start);
            media.Add(s.media_end);
            wall.Add(s.arrival);
        }
        for (const double g : pin.segments) media.Add(g);
        for (const double f : pin.flushes) wall.Add(f);
    }
    Frame f;
    f.media_min = media.low;
    f.media_max = media.high > media.low ? media.high : media.low + 1;
    f.wall_min = wall.low;
    f.wall_max = wall.high > wall.low ? wall.high : wall.low + 1;
    f.arrival_top = kTop + pins.size() * (kLaneHeight + kLaneGap) + 30;
    f.arrival_bottom = f.arrival_top + kArrivalHeight;
    f.height = f.arrival_bottom + 40 + kLegendHeight;
    f.x = Scale(f.media_min, f.media_max, kLeft, kWidth - kRight);
    f.wall_y = Scale(f.wall_min, f.wall_max, f.arrival_bottom, f.arrival_top);
    return f;
}

void DrawHeader(std::string* svg, const Frame& f) {
    *svg += Format(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" viewBox=\"0 0 %.0f %.0f\" "
        "font-family=\"sans-serif\" font-size=\"11\">\n",
        kWidth, f.height, kWidth, f.height);
    *svg +=
        "<title>kelo-play timeline</title>\n"
        "<style>.sample{fill:#7f9fc7}.key{fill:#e07b00}.discontinuity{fill:#c00000}"
        ".segment{stroke:#2e8b57;stroke-width:1.5;stroke-dasharray:5 3}.flush{stroke:#c00000;stroke-width:1}"
        ".axis{stroke:#444;stroke-width:1}.grid{stroke:#ddd;stroke-width:1}"
        "</style>\n"
        "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    *svg += Format(
        "<text x=\"%.0f\" y=\"22\" font-size=\"14\" font-weight=\"bold\">Delivered samples along media time</text>\n",
        kLeft);
}

// Media-time ticks, shared by the lanes and the arrival plot.
void DrawMediaGrid(std::string* svg, const Frame& f) {
    const double step = TickStep(f.media_max - f.media_min, 10);
    for (double t = std::ceil(f.media_min / step) * step; t <= f.media_max + step * 1e-9; t += step) {
        *svg += Format("<line class=\"grid\" x1=\"%.1f\" y1=\"%.0f\" x2=\"%.1f\" y2=\"%.0f\"/>\n", f.x(t), kTop - 4,
                       f.x(t), f.arrival_bottom);
        *svg += Format("<text x=\"%.1f\" y=\"%.0f\" text-anchor=\"middle\">%g s</text>\n", f.x(t),
                       f.arrival_bottom + 14, t);
    }
    *svg += Format("<text x=\"%.0f\" y=\"%.0f\" text-anchor=\"middle\">media time</text>\n", (kLeft + kWidth) / 2,
                   f.arrival_bottom + 30);
}

// One pin's lane: its bars, discontinuity marks and segment lines.
void DrawLane(std::string* svg, const PlacedPin& pin, size_t index, const Frame& f) {
    const double base = kTop + index * (kLaneHeight + kLaneGap) + kLaneHeight;
    const double label = base - kLaneHeight / 2;
    *svg += "<g class=\"pin\" data-pin=\"" + Escape(pin.name) + "\">\n";
    *svg += Format("<text x=\"8\" y=\"%.0f\">", label) + Escape(pin.name) + "</text>\n";
    *svg += Format("<text x=\"8\" y=\"%.0f\" fill=\"#666\">%lu samples</text>\n", label + 14,
                   static_cast<unsigned long>(pin.samples.size()));
    *svg += Format("<text x=\"8\" y=\"%.0f\" fill=\"#666\">largest %ld bytes</text>\n", label + 28, pin.largest);
    *svg += Format("<line class=\"axis\" x1=\"%.0f\" y1=\"%.1f\" x2=\"%.0f\" y2=\"%.1f\"/>\n", kLeft, base,
                   kWidth - kRight, base);
    for (const PlacedSample& s : pin.samples) {
        const double bar = pin.largest > 0 ? (kLaneHeight - 10) * double(s.length) / double(pin.largest) : 0;
        const double left = f.x(s.media_start);
        const double width = std::max(0.6, f.x(s.media_end) - left);
        *svg += Format("<rect class=\"%s\" x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\"/>\n",
                       s.key ? "sample key" : "sample", left, base - bar, width, bar);
        if (s.discontinuity)
            *svg += Format("<path class=\"discontinuity\" d=\"M%.2f %.1f l-4 -7 h8 z\"/>\n", left, base - kLaneHeight);
    }
    for (const double g : pin.segments)
        *svg += Format("<line class=\"segment\" x1=\"%.2f\" y1=\"%.1f\" x2=\"%.2f\" y2=\"%.1f\"/>\n", f.x(g),
                       base - kLaneHeight, f.x(g), base);
    *svg += "</g>\n";
}

// The second axis: when each sample arrived, and each flush.
void DrawArrivals(std::string* svg, const std::vector<PlacedPin>& pins, const Frame& f) {
    const double middle = (f.arrival_top + f.arrival_bottom) / 2;
    *svg += Format("<text x=\"8\" y=\"%.0f\">arrival</text>\n", middle);
    *svg += Format("<text x=\"8\" y=\"%.0f\" fill=\"#666\">(wall time since Run)</text>\n", middle + 14);
    *svg += Format("<line class=\"axis\" x1=\"%.0f\" y1=\"%.0f\" x2=\"%.0f\" y2=\"%.0f\"/>\n", kLeft, f.arrival_top,
                   kLeft, f.arrival_bottom);
    *svg += Format("<line class=\"axis\" x1=\"%.0f\" y1=\"%.0f\" x2=\"%.0f\" y2=\"%.0f\"/>\n", kLeft, f.arrival_bottom,
                   kWidth - kRight, f.arrival_bottom);
    const double step = TickStep(f.wall_max - f.wall_min, 5);
    for (double t = std::ceil(f.wall_min / step) * step; t <= f.wall_max + step * 1e-9; t += step)
        *svg += Format("<text x=\"%.0f\" y=\"%.1f\" text-anchor=\"end\">%g s</text>\n", kLeft - 4, f.wall_y(t) + 4, t);
    for (size_t p = 0; p < pins.size(); ++p) {
        const PlacedPin& pin = pins[p];
        const std::string name = Escape(pin.name);
        // One dot per sample: with reordered video (B-frames) the media times
        // within a run go back and forth, which a joined line would scribble over.
        *svg += "<g class=\"arrivals\" data-pin=\"" + name + "\" fill=\"" + PinColour(p) + "\">\n";
        for (const PlacedSample& s : pin.samples)
            *svg += Format("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"1.8\"/>\n", f.x(s.media_start), f.wall_y(s.arrival));
        *svg += "</g>\n";
        for (const double t : pin.flushes)
            *svg += "<line class=\"flush\" data-pin=\"" + name +
                    Format("\" x1=\"%.0f\" y1=\"%.1f\" x2=\"%.0f\" y2=\"%.1f\"/>\n", kLeft, f.wall_y(t),
                           kWidth - kRight, f.wall_y(t));
    }
}

void DrawLegend(std::string* svg, const std::vector<PlacedPin>& pins, const Frame& f) {
    double x = kLeft;
    const double y = f.height - kLegendHeight + 20;
    *svg += Format("<rect class=\"sample\" x=\"%.0f\" y=\"%.0f\" width=\"10\" height=\"10\"/>", x, y - 9);
    *svg += Format("<text x=\"%.0f\" y=\"%.0f\">sample (height: size)</text>\n", x + 14, y);
    x += 150;
    *svg += Format("<rect class=\"key\" x=\"%.0f\" y=\"%.0f\" width=\"10\" height=\"10\"/>", x, y - 9);
    *svg += Format("<text x=\"%.0f\" y=\"%.0f\">sync point (key)</text>\n", x + 14, y);
    x += 120;
    *svg += Format("<path class=\"discontinuity\" d=\"M%.0f %.0f l-4 -7 h8 z\"/>", x + 4, y);
    *svg += Format("<text x=\"%.0f\" y=\"%.0f\">discontinuity</text>\n", x + 14, y);
    x += 100;
    *svg += Format("<line class=\"segment\" x1=\"%.0f\" y1=\"%.0f\" x2=\"%.0f\" y2=\"%.0f\"/>", x + 4, y - 10, x + 4,
                   y + 2);
    *svg += Format("<text x=\"%.0f\" y=\"%.0f\">new segment</text>\n", x + 14, y);
    x += 100;
    *svg += Format("<line class=\"flush\" x1=\"%.0f\" y1=\"%.0f\" x2=\"%.0f\" y2=\"%.0f\"/>", x, y - 4, x + 12, y - 4);
    *svg += Format("<text x=\"%.0f\" y=\"%.0f\">flush (seek)</text>\n", x + 16, y);
    x = kLeft;
    for (size_t p = 0; p < pins.size(); ++p) {
        *svg += Format("<circle cx=\"%.0f\" cy=\"%.0f\" r=\"3\" fill=\"%s\"/>", x + 5, y + 16, PinColour(p));
        *svg += Format("<text x=\"%.0f\" y=\"%.0f\">arrival of ", x + 18, y + 20) + Escape(pins[p].name) + "</text>\n";
        x += 220;
    }
}

}  // namespace

std::string TimelineSvg(const std::vector<TimelinePin>& pins, LONGLONG run_qpc) {
    std::vector<PlacedPin> placed;
    for (const TimelinePin& pin : pins) placed.push_back(Place(pin, run_qpc));
    const Frame frame = Measure(placed);

    std::string svg;
    DrawHeader(&svg, frame);
    DrawMediaGrid(&svg, frame);
    for (size_t p = 0; p < placed.size(); ++p) DrawLane(&svg, placed[p], p, frame);
    DrawArrivals(&svg, placed, frame);
    DrawLegend(&svg, placed, frame);
    svg += "</svg>\n";
    return svg;
}
