// kelo-play's command line.
#ifndef KELO_TOOLS_KELO_PLAY_PLAY_OPTIONS_H
#define KELO_TOOLS_KELO_PLAY_PLAY_OPTIONS_H

#include <windows.h>
#include <strmif.h>

#include <optional>
#include <string>
#include <vector>

struct SeekAt {
    REFERENCE_TIME when = 0;    // media position delivered on the first pin
    REFERENCE_TIME target = 0;  // where to seek
};

struct PlayOptions {
    std::wstring file;
    std::wstring module;  // --module: load this .ax instead of asking COM
    CLSID clsid{};        // --clsid, CLSID_KeloMervane by default
    bool parser = false;  // --parser: the filter is fed by File Source (Async)
    std::optional<REFERENCE_TIME> start;
    std::optional<REFERENCE_TIME> stop;
    std::optional<double> rate;
    std::optional<SeekAt> seek_at;
    std::optional<SeekAt> stop_at;  // --stop-at: `target` is the new stop
    int type_rounds = 0;            // --type-rounds: rounds of type questions to every pin while running
    bool realtime = false;
    bool json = false;
    std::wstring dump_dir;
    std::wstring timeline_file;  // --timeline: the SVG picture of the play
    double timeout_seconds = 60;
};

extern const char kUsage[];

// Parses argv (after the program name). False with a message on bad input.
bool ParsePlayOptions(const std::vector<std::wstring>& args, PlayOptions* options, std::string* error);

#endif
