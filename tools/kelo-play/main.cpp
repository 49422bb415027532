// kelo-play: plays a file through the Kelo Mervane source filter in a real
// DirectShow filter graph and reports what each output pin delivered. See
// play_options.cpp for the command line and exit status.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <cwctype>
#include <string>
#include <thread>
#include <vector>

#include <initguid.h>  // the filter's identifiers, defined once here

#include "graph_player.h"
#include "key_frame_info.h"
#include "kelo_guids.h"
#include "output_file.h"
#include "play_options.h"
#include "play_report.h"
#include "stream_choices.h"
#include "stream_dump.h"
#include "text.h"
#include "timeline_svg.h"

namespace {

// After the time-out the player stops the graph itself; if even that hangs
// (a filter deadlocked in Stop), this ends the process a little later.
void StartWatchdog(double timeout_seconds) {
    std::thread([timeout_seconds] {
        Sleep(static_cast<DWORD>((timeout_seconds + 15) * 1000));
        std::fprintf(stderr, "kelo-play: hang: the graph did not stop %g s after the time-out\n", 15.0);
        std::fflush(nullptr);
        TerminateProcess(GetCurrentProcess(), kExitTimeout);
    }).detach();
}

std::wstring DumpName(size_t index, const std::wstring& pin, const char* extension) {
    std::wstring name = std::to_wstring(index) + L"-";
    for (const wchar_t c : pin) name += (iswalnum(c) || c == L'.' || c == L'-') ? c : L'_';
    return name + L"." + std::wstring(extension, extension + strlen(extension));
}

// Writes each pin's stream into dir; false if one could not be written.
bool DumpStreams(const std::wstring& dir, const std::vector<PlayedPin>& pins) {
    if (!CreateDirectoryW(dir.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        std::fprintf(stderr, "kelo-play: --dump: cannot create %s\n", Utf8(dir).c_str());
        return false;
    }
    bool ok = true;
    for (size_t i = 0; i < pins.size(); ++i) {
        const PlayedPin& pin = pins[i];
        const StreamDumpWriter* writer = FindStreamDumpWriter(pin.type);
        if (!writer) {
            std::fprintf(stderr, "kelo-play: --dump: no writer for pin %zu \"%s\" (%s); not written\n", i,
                         Utf8(pin.name).c_str(), GuidText(pin.type.subtype).c_str());
            continue;
        }
        const std::wstring path = dir + L"/" + DumpName(i, pin.name, writer->extension);
        std::string error;
        if (!writer->write({&pin.type, &pin.bytes, &pin.events}, path, &error)) {
            std::fprintf(stderr, "kelo-play: --dump: %s: %s\n", Utf8(path).c_str(), error.c_str());
            ok = false;
        }
    }
    return ok;
}

// Draws every pin's events into path; false with a message if it could not be written.
bool WriteTimeline(const std::wstring& path, const std::vector<PlayedPin>& pins, LONGLONG run_qpc) {
    std::vector<TimelinePin> timeline;
    for (const PlayedPin& pin : pins) timeline.push_back({Utf8(pin.name), &pin.events});
    const std::string svg = TimelineSvg(timeline, run_qpc);
    std::string error;
    if (WriteOutputFile(path, std::vector<uint8_t>(svg.begin(), svg.end()), &error)) return true;
    std::fprintf(stderr, "kelo-play: --timeline: %s: %s\n", Utf8(path).c_str(), error.c_str());
    return false;
}

// --list-streams and --key-frames: the filter's answers instead of a play.
PlayExit Ask(const PlayOptions& options, IBaseFilter* filter, PlayResult* result) {
    std::string error;
    if ((options.list_streams && !ListStreams(filter, stdout, &error)) ||
        (options.key_frames && !PrintKeyFrames(filter, stdout, &error))) {
        result->message = error;
        return kExitSetup;
    }
    return kExitComplete;
}

int Main(const std::vector<std::wstring>& args) {
    PlayOptions options;
    options.clsid = CLSID_KeloMervane;
    std::string error;
    if (!ParsePlayOptions(args, &options, &error)) {
        std::fprintf(stderr, "kelo-play: %s\n%s", error.c_str(), kUsage);
        return kExitUsage;
    }
    StartWatchdog(options.timeout_seconds);

    PlayResult result;
    PlayExit exit;
    bool module_can_unload;
    {
        GraphPlayer player(options);
        exit = player.Build(&result);
        const bool asks_only = options.list_streams || options.key_frames;
        if (exit == kExitComplete && asks_only) exit = Ask(options, player.Filter(), &result);
        if (exit == kExitComplete && !asks_only) exit = player.Play(&result);
        if (!asks_only && options.json) {
            PrintJsonReport(stdout, player.Pins(), result);
        } else if (!asks_only && exit != kExitSetup) {
            PrintSummary(stdout, player.Pins(), result);
        }
        if (exit != kExitComplete) std::fprintf(stderr, "kelo-play: %s\n", result.message.c_str());
        if (exit == kExitComplete && !options.dump_dir.empty() && !DumpStreams(options.dump_dir, player.Pins())) {
            exit = kExitDump;
        }
        // An aborted play is drawn too: the picture shows how far it came.
        if (exit != kExitSetup && !options.timeline_file.empty() &&
            !WriteTimeline(options.timeline_file, player.Pins(), result.run_qpc) && exit == kExitComplete) {
            exit = kExitDump;
        }
        player.Close();
        module_can_unload = player.ModuleCanUnload();
    }
    if (!module_can_unload) {
        std::fprintf(stderr,
                     "kelo-play: warning: the module still holds objects after the graph is gone "
                     "(DllCanUnloadNow answers S_FALSE)\n");
    }
    return exit;
}

}  // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return kExitUsage;
    const std::vector<std::wstring> args(argv + 1, argv + argc);
    LocalFree(argv);

    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        std::fprintf(stderr, "kelo-play: CoInitializeEx failed\n");
        return kExitSetup;
    }
    const int exit = Main(args);
    std::fflush(nullptr);
    CoUninitialize();
    return exit;
}
