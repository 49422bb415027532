// Load and Run of every file of a folder of hostile files: Load must answer
// S_OK or 0x800A0141 within 2 s; where it loads, the pins that accept a sink
// are connected and the graph must run to EC_COMPLETE or EC_ERRORABORT
// within 10 s. A crash ends the process, a hang is caught by the log.
#ifndef KELO_TOOLS_KELO_STRESS_HOSTILE_RUN_H
#define KELO_TOOLS_KELO_STRESS_HOSTILE_RUN_H

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "filter_hostile_set.h"
#include "filter_module.h"
#include "operation_log.h"

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

// Plays each of `files`, written into `folder` under their names.
std::vector<HostileOutcome> RunHostileSet(const FilterModule& module, OperationLog* log, const std::wstring& folder,
                                          const std::vector<HostileFile>& files);
void PrintHostileOutcomes(const std::vector<HostileOutcome>& outcomes, FILE* out);

#endif
