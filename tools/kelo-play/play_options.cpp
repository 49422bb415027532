#include "play_options.h"

#include <cmath>
#include <cwchar>

#include "text.h"

const char kUsage[] =
    "usage: kelo-play [options] FILE\n"
    "Plays FILE through the Kelo Mervane source filter in a DirectShow filter graph, each output pin\n"
    "into its own recording sink, and reports what arrived.\n"
    "  --module PATH.ax  make the filter from this module's class factory (no registration needed)\n"
    "  --clsid {GUID}    the filter's class (default: Kelo Mervane's)\n"
    "  --parser          the filter is a parser: File Source (Async) loads FILE and feeds it\n"
    "  --start S         start at S seconds (the graph's IMediaSeeking, before Run)\n"
    "  --stop S          stop at S seconds\n"
    "  --rate R          playback rate, set through the first sink's IMediaSeeking\n"
    "  --seek-at S:T     seek to T seconds once media up to S seconds has arrived on the first pin\n"
    "  --stop-at S:T     set the stop to T seconds once media up to S seconds has arrived on the first pin\n"
    "  --type-rounds N   while running, N rounds of asking every pin for its media types (EnumMediaTypes,\n"
    "                    ConnectionMediaType, QueryAccept), as property viewers do\n"
    "  --realtime        keep the graph's clock (default: no clock, as fast as possible)\n"
    "  --json            one JSON object per line: the pins, every event, the result\n"
    "  --dump DIR        write each pin's stream to DIR as a file ffmpeg reads (PCM: .wav,\n"
    "                    H.264: Annex B .h264, AAC: ADTS .aac, AMR: .amr), every sample delivered\n"
    "                    in order\n"
    "  --timeline F.svg  draw each pin's samples along media time and when they arrived, as SVG\n"
    "  --timeout SECONDS give up and report a hang after this long (default 60)\n"
    "exit status: 0 played to EC_COMPLETE; 1 bad usage; 2 could not set up the graph;\n"
    "             3 playback aborted; 4 timed out (hang); 5 a dump or the timeline could not be written\n";

namespace {

bool ParseSeconds(const std::wstring& text, double* seconds) {
    if (text.empty()) return false;
    wchar_t* end = nullptr;
    const double value = std::wcstod(text.c_str(), &end);
    if (*end != L'\0' || !std::isfinite(value)) return false;
    *seconds = value;
    return true;
}

bool ParseTime(const std::wstring& text, REFERENCE_TIME* time) {
    double seconds;
    if (!ParseSeconds(text, &seconds) || seconds < 0 || seconds > 9e11) return false;
    *time = static_cast<REFERENCE_TIME>(std::llround(seconds * 1e7));
    return true;
}

}  // namespace

bool ParsePlayOptions(const std::vector<std::wstring>& args, PlayOptions* options, std::string* error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        // Options that take a value.
        auto value = [&](std::wstring* out) {
            if (i + 1 >= args.size()) {
                *error = Utf8(arg) + " needs a value";
                return false;
            }
            *out = args[++i];
            return true;
        };
        std::wstring v;
        if (arg == L"--realtime") {
            options->realtime = true;
        } else if (arg == L"--json") {
            options->json = true;
        } else if (arg == L"--parser") {
            options->parser = true;
        } else if (arg == L"--module") {
            if (!value(&options->module)) return false;
        } else if (arg == L"--clsid") {
            if (!value(&v)) return false;
            if (FAILED(CLSIDFromString(v.c_str(), &options->clsid))) {
                *error = "--clsid: not a {GUID}: " + Utf8(v);
                return false;
            }
        } else if (arg == L"--start" || arg == L"--stop") {
            if (!value(&v)) return false;
            REFERENCE_TIME t;
            if (!ParseTime(v, &t)) {
                *error = Utf8(arg) + ": not a time in seconds: " + Utf8(v);
                return false;
            }
            (arg == L"--start" ? options->start : options->stop) = t;
        } else if (arg == L"--rate") {
            if (!value(&v)) return false;
            double rate;
            if (!ParseSeconds(v, &rate) || rate == 0) {
                *error = "--rate: not a non-zero number: " + Utf8(v);
                return false;
            }
            options->rate = rate;
        } else if (arg == L"--seek-at" || arg == L"--stop-at") {
            if (!value(&v)) return false;
            const size_t colon = v.find(L':');
            SeekAt seek;
            if (colon == std::wstring::npos || !ParseTime(v.substr(0, colon), &seek.when) ||
                !ParseTime(v.substr(colon + 1), &seek.target)) {
                *error = Utf8(arg) + ": expected S:T in seconds: " + Utf8(v);
                return false;
            }
            (arg == L"--seek-at" ? options->seek_at : options->stop_at) = seek;
        } else if (arg == L"--type-rounds") {
            if (!value(&v)) return false;
            double rounds;
            if (!ParseSeconds(v, &rounds) || rounds < 0 || rounds > 1e6 || rounds != std::floor(rounds)) {
                *error = "--type-rounds: not a count: " + Utf8(v);
                return false;
            }
            options->type_rounds = static_cast<int>(rounds);
        } else if (arg == L"--dump") {
            if (!value(&options->dump_dir)) return false;
        } else if (arg == L"--timeline") {
            if (!value(&options->timeline_file)) return false;
        } else if (arg == L"--timeout") {
            if (!value(&v)) return false;
            if (!ParseSeconds(v, &options->timeout_seconds) || options->timeout_seconds <= 0 ||
                options->timeout_seconds > 86400) {
                *error = "--timeout: not a number of seconds in (0, 86400]: " + Utf8(v);
                return false;
            }
        } else if (arg.size() > 1 && arg[0] == L'-' && arg != L"-") {
            *error = "unknown option " + Utf8(arg);
            return false;
        } else if (options->file.empty()) {
            options->file = arg;
        } else {
            *error = "more than one FILE: " + Utf8(arg);
            return false;
        }
    }
    if (options->file.empty()) {
        *error = "no FILE given";
        return false;
    }
    if (options->start && options->stop && *options->stop < *options->start) {
        *error = "--stop comes before --start";
        return false;
    }
    return true;
}
