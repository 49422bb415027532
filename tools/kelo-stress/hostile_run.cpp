#include "hostile_run.h"

#include <algorithm>

#include "stress_graph.h"

namespace {

constexpr HRESULT kInvalidFileFormat = static_cast<HRESULT>(0x800A0141);
constexpr DWORD kLoadLimitMs = 2000;
constexpr DWORD kRunLimitMs = 10000;

std::vector<std::wstring> FilesOf(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

std::string Narrow(const std::wstring& wide) { return std::string(wide.begin(), wide.end()); }

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
    // A pin that fails sends end of stream before the abort, so the other
    // pin's completion may come first: a moment more shows the abort too.
    if (outcome.end == S_OK) {
        graph.PumpEvents(50);
        if (graph.Aborts()) outcome.end = graph.FirstAbort();
    }
    {
        auto timed = log->Time("hostile stop");
        graph.Control()->Stop();
    }
    outcome.acceptable = outcome.end != E_ABORT;
    return outcome;
}

}  // namespace

std::vector<HostileOutcome> RunHostileSet(const FilterModule& module, OperationLog* log, const std::wstring& folder) {
    std::vector<HostileOutcome> outcomes;
    for (const std::wstring& name : FilesOf(folder)) {
        HostileOutcome outcome = PlayOne(module, log, folder + L"\\" + name);
        outcome.name = Narrow(name);
        outcomes.push_back(outcome);
    }
    return outcomes;
}

void PrintHostileOutcomes(const std::vector<HostileOutcome>& outcomes, FILE* out) {
    for (const HostileOutcome& o : outcomes) {
        std::fprintf(out, "%-4s %-48s load 0x%08lx", o.acceptable ? "ok" : "BAD", o.name.c_str(),
                     static_cast<unsigned long>(o.load));
        if (o.load == S_OK) std::fprintf(out, "  pins %zu connected %zu", o.pins, o.connected);
        if (o.ran)
            std::fprintf(out, "  end %s 0x%08lx", o.end == S_OK ? "EC_COMPLETE" : o.end == E_ABORT ? "none" : "EC_ERRORABORT",
                         static_cast<unsigned long>(o.end));
        std::fprintf(out, "\n");
    }
}
