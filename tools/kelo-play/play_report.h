// kelo-play's output: a summary per pin, or with --json one JSON object per
// line (the pins, then every event of every pin in arrival order, then the
// result). Times are in 100 ns units as DirectShow gives them; "arrival" is in
// seconds since Run.
#ifndef KELO_TOOLS_KELO_PLAY_PLAY_REPORT_H
#define KELO_TOOLS_KELO_PLAY_PLAY_REPORT_H

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "played_pin.h"

struct PlayResult {
    std::string status;  // "complete", "aborted", "timeout", "setup_failed"
    std::string message;
    double wall_seconds = 0;  // from Run to the end of playback
    int type_rounds = 0;      // --type-rounds: rounds done before the graph completed
    LONGLONG run_qpc = 0;
};

void PrintJsonReport(FILE* out, const std::vector<PlayedPin>& pins, const PlayResult& result);
void PrintSummary(FILE* out, const std::vector<PlayedPin>& pins, const PlayResult& result);

#endif
