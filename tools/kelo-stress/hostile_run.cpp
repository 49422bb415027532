#include "hostile_run.h"

#include <algorithm>
#include <utility>

#include "filter_graph.h"
#include "text.h"

namespace {

constexpr HRESULT kInvalidFileFormat = static_cast<HRESULT>(0x800A0141);
constexpr DWORD kLoadLimitMs = 2000;
constexpr DWORD kRunLimitMs = 10000;

HostileOutcome PlayOne(const FilterModule& module, OperationLog* log, const std::wstring& path) {
    HostileOutcome outcome;
    FilterGraph graph(module);
    {
        auto timed = log->Time("hostile load", kLoadLimitMs);
        outcome.load = graph.Load(path);
    }
    if (outcome.load != S_OK) {
        outcome.acceptable = outcome.load == kInvalidFileFormat;
        return outcome;
    }
    std::vector<HRESULT> refusals;
    {
        auto timed = log->Time("hostile connect");
        graph.ConnectSinks({false, Allocation::kFilterChooses, &refusals});
        outcome.connected = graph.Pins().size();
    }
    outcome.pins = graph.OutputPins();
    outcome.video_connected = graph.SinkOf(MEDIATYPE_Video) != nullptr;
    outcome.audio_connected = graph.SinkOf(MEDIATYPE_Audio) != nullptr;
    // Pins that refuse their format at connection leave nothing to run.
    if (outcome.connected == 0) {
        outcome.acceptable = true;
        return outcome;
    }
    outcome.ran = true;
    {
        auto timed = log->Time("hostile run", kRunLimitMs);
        HRESULT hr = graph.Control()->Run();
        outcome.end = FAILED(hr) ? hr : graph.WaitForCompletion(kRunLimitMs);
    }
    {
        auto timed = log->Time("hostile stop");
        graph.Control()->Stop();
    }
    // A pin that fails sends end of stream before the abort, so the other
    // pin's completion may come first. Stop waits for the streaming threads
    // to leave, after which every event they raise is in the queue.
    if (outcome.end == S_OK) {
        graph.PumpEvents(0);
        if (graph.Aborts()) outcome.end = graph.FirstAbort();
    }
    outcome.acceptable = outcome.end != E_ABORT;
    return outcome;
}

bool AsExpected(const HostileOutcome& o, HostileExpect expect) {
    const bool loaded = o.load == S_OK;
    switch (expect) {
        case HostileExpect::kAny:
            return true;
        case HostileExpect::kRefused:
            return o.load == kInvalidFileFormat;
        case HostileExpect::kComplete:
            return loaded && o.pins == 2 && o.connected == 2 && o.end == S_OK;
        case HostileExpect::kAbort:
            return loaded && o.connected == o.pins && o.ran && o.end == E_FAIL;
        case HostileExpect::kOnlyVideoPlays:
            return loaded && o.pins == 2 && o.video_connected && !o.audio_connected && o.end == S_OK;
        case HostileExpect::kOnlyAudioPlays:
            return loaded && o.pins == 2 && o.audio_connected && !o.video_connected && o.end == S_OK;
    }
    return false;
}

HostileExpect ExpectOf(const std::string& name) {
    static const std::pair<const char*, HostileExpect> kPrefixes[] = {
        {"refused--", HostileExpect::kRefused},        {"complete--", HostileExpect::kComplete},
        {"abort--", HostileExpect::kAbort},            {"only-video--", HostileExpect::kOnlyVideoPlays},
        {"only-audio--", HostileExpect::kOnlyAudioPlays}};
    for (const auto& [prefix, expect] : kPrefixes)
        if (name.rfind(prefix, 0) == 0) return expect;
    return HostileExpect::kAny;
}

std::vector<std::string> Mp4FilesOf(const std::wstring& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*.mp4").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.push_back(Utf8(found.cFileName));
    while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

const char* ExpectName(HostileExpect expect) {
    switch (expect) {
        case HostileExpect::kAny:
            return "";
        case HostileExpect::kRefused:
            return "expected: refused by Load";
        case HostileExpect::kComplete:
            return "expected: both pins to EC_COMPLETE";
        case HostileExpect::kAbort:
            return "expected: EC_ERRORABORT E_FAIL";
        case HostileExpect::kOnlyVideoPlays:
            return "expected: audio refused, video to EC_COMPLETE";
        case HostileExpect::kOnlyAudioPlays:
            return "expected: video refused, audio to EC_COMPLETE";
    }
    return "";
}

}  // namespace

std::vector<HostileOutcome> RunHostileSet(const FilterModule& module, OperationLog* log, const std::wstring& folder) {
    std::vector<HostileOutcome> outcomes;
    for (const std::string& name : Mp4FilesOf(folder)) {
        HostileOutcome outcome = PlayOne(module, log, folder + L"\\" + Wide(name));
        const HostileExpect expect = ExpectOf(name);
        outcome.name = name;
        outcome.as_expected = AsExpected(outcome, expect);
        outcome.expectation = ExpectName(expect);
        outcomes.push_back(outcome);
    }
    return outcomes;
}

void PrintHostileOutcomes(const std::vector<HostileOutcome>& outcomes, FILE* out) {
    for (const HostileOutcome& o : outcomes) {
        std::fprintf(out, "%-4s %-48s load 0x%08lx", o.acceptable && o.as_expected ? "ok" : "BAD", o.name.c_str(),
                     static_cast<unsigned long>(o.load));
        if (o.load == S_OK) std::fprintf(out, "  pins %zu connected %zu", o.pins, o.connected);
        if (o.ran)
            std::fprintf(out, "  end %s 0x%08lx",
                         o.end == S_OK      ? "EC_COMPLETE"
                         : o.end == E_ABORT ? "none"
                                            : "EC_ERRORABORT",
                         static_cast<unsigned long>(o.end));
        if (!o.as_expected) std::fprintf(out, "  (%s)", o.expectation);
        std::fprintf(out, "\n");
    }
}
