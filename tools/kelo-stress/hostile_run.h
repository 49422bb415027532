// Load and Run of every .mp4 file of a folder of hostile files: Load must answer
// S_OK or 0x800A0141 within 2 s; where it loads, the pins that accept a sink
// are connected and the graph must run to EC_COMPLETE or EC_ERRORABORT
// within 10 s. A crash ends the process, a hang is caught by the log.
#ifndef KELO_TOOLS_KELO_STRESS_HOSTILE_RUN_H
#define KELO_TOOLS_KELO_STRESS_HOSTILE_RUN_H

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "filter_module.h"
#include "operation_log.h"

// What the documented rules make of a file, where they settle it, named by the start of its file name up to "--":
// "refused" (Load's 0x800A0141), "complete" (both pins to the end), "abort" (EC_ERRORABORT with E_FAIL),
// "only-video" / "only-audio" (the other pin refuses its format at connection, this one plays to the end);
// any other name: only the general rules.
enum class HostileExpect { kAny, kRefused, kComplete, kAbort, kOnlyVideoPlays, kOnlyAudioPlays };

struct HostileOutcome {
    std::string name;
    HRESULT load = S_OK;
    size_t pins = 0, connected = 0;
    HRESULT end = S_OK;  // S_OK (EC_COMPLETE), an EC_ERRORABORT's code, E_ABORT (none in time)
    bool video_connected = false, audio_connected = false;
    bool ran = false;
    bool acceptable = false;  // within the general rules
    bool as_expected = true;  // and what the file's expectation says
    const char* expectation = "";
};

// Plays each .mp4 file of `folder`, in name order; none is a fault of the caller's to report.
std::vector<HostileOutcome> RunHostileSet(const FilterModule& module, OperationLog* log, const std::wstring& folder);
void PrintHostileOutcomes(const std::vector<HostileOutcome>& outcomes, FILE* out);

#endif
