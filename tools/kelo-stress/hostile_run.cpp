#include "hostile_run.h"

#include "stress_graph.h"

namespace {

constexpr HRESULT kInvalidFileFormat = static_cast<HRESULT>(0x800A0141);
constexpr DWORD kLoadLimitMs = 2000;
constexpr DWORD kRunLimitMs = 10000;

HostileOutcome PlayOne(const FilterModule& module, OperationLog* log, const std::wstring& path) {
    HostileOutcome outcome;
    StressGraph graph(module);
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
        outcome.connected = graph.ConnectSinks(false, &refusals);
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
        outcome.end = FAILED(hr) ? hr : graph.WaitForEnd(kRunLimitMs);
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

std::vector<HostileOutcome> RunHostileSet(const FilterModule& module, OperationLog* log, const std::wstring& folder,
                                          const std::vector<HostileFile>& files) {
    std::vector<HostileOutcome> outcomes;
    for (const HostileFile& file : files) {
        const std::wstring name(file.name.begin(), file.name.end());
        HostileOutcome outcome = PlayOne(module, log, folder + L"\\" + name);
        outcome.name = file.name;
        outcome.as_expected = AsExpected(outcome, file.expect);
        outcome.expectation = ExpectName(file.expect);
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
