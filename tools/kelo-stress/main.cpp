// kelo-stress: the filter under load, faults and hostile files, in Wine's
// real filter graph. See usage() for what it does; exit code 0 when every
// check held, 1 when one did not, 2 for bad arguments, 3 for a hang that
// never returned.
#include <windows.h>
#include <objbase.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "filter_module.h"
#include "hostile_run.h"
#include "operation_log.h"
#include "stress_run.h"
#include "video_samples.h"
#include "text.h"

namespace {

// A hung operation is reported after 2 s; after this long the process ends.
constexpr DWORD kGiveUpMs = 30000;

void usage() {
    std::fprintf(stderr,
                 "usage: kelo-stress --module KeloMervaneStress.ax [--file MEDIA --video-samples TABLE]\n"
                 "                   [--hostile DIR] [--seeks N] [--cycles N] [--paused-seeks N] [--seed N]\n"
                 "                   [--latencies FILE.csv] [--type-questions 1]\n"
                 "  --file: an H.264 + AAC file; TABLE is its packet table. Both pins into\n"
                 "          recording sinks, no clock: a run, N seeks while running (one in ten a rate\n"
                 "          change), a run to the end, N run/pause/run/stop cycles, N seeks while paused,\n"
                 "          a run from the start; each restart checked (segment, discontinuity, SPS/PPS).\n"
                 "  --hostile: loads and runs every .mp4 file of DIR (a name's start up to \"--\" says what\n"
                 "          it must do: refused, complete, abort, only-video, only-audio).\n"
                 "  Then: the library's memory back to 0, DllCanUnloadNow S_OK, the threads ended.\n"
                 "  --latencies: every operation's latency, in order, as CSV.\n"
                 "  --type-questions 1: during the seeks while running, a second thread asks every pin\n"
                 "          for its types (EnumMediaTypes, ConnectionMediaType, QueryAccept), round after round.\n"
                 "  Defaults: 1000 seeks, 100 cycles, 100 paused seeks, seed 1.\n");
}

size_t ThreadsOfThisProcess() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    size_t count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    CloseHandle(snapshot);
    return count;
}

struct Options {
    std::wstring module, file, video_samples, hostile, latencies;
    StressSettings settings;
};

bool ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc) return false;
        const char* value = argv[++i];
        if (name == "--module")
            options->module = Wide(value);
        else if (name == "--file")
            options->file = Wide(value);
        else if (name == "--video-samples")
            options->video_samples = Wide(value);
        else if (name == "--hostile")
            options->hostile = Wide(value);
        else if (name == "--latencies")
            options->latencies = Wide(value);
        else if (name == "--seeks")
            options->settings.running_seeks = std::atoi(value);
        else if (name == "--cycles")
            options->settings.cycles = std::atoi(value);
        else if (name == "--paused-seeks")
            options->settings.paused_seeks = std::atoi(value);
        else if (name == "--type-questions")
            options->settings.type_questions = std::atoi(value) != 0;
        else if (name == "--seed")
            options->settings.seed = static_cast<uint32_t>(std::strtoul(value, nullptr, 10));
        else
            return false;
    }
    return !options->module.empty() && (options->file.empty() == options->video_samples.empty()) &&
           (!options->file.empty() || !options->hostile.empty());
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        usage();
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 2;
    int faults = 0;
    const size_t threads_before = ThreadsOfThisProcess();
    {
        OperationLog log(kGiveUpMs);
        const size_t threads_with_log = ThreadsOfThisProcess();
        FilterModule module;
        std::string error;
        if (!module.Load(options.module, &error)) {
            std::fprintf(stderr, "kelo-stress: %s\n", error.c_str());
            return 2;
        }
        LibraryMemoryUse memory;
        const bool counted = ReadLibraryMemory(module, &memory);
        if (!counted) std::printf("the module has no library memory counters (not the stress build)\n");

        if (!options.file.empty()) {
            VideoSamples video;
            if (!video.Read(options.video_samples)) {
                std::fprintf(stderr, "kelo-stress: cannot read the video sample table\n");
                return 2;
            }
            StressRun run(module, &log, video, options.settings);
            run.Run(options.file);
            std::printf(
                "stress: %d seeks while running, %d cycles, %d seeks while paused (seed %u): %d restarts "
                "checked, %zu faults\n",
                options.settings.running_seeks, options.settings.cycles, options.settings.paused_seeks,
                options.settings.seed, run.RestartsChecked(), run.Faults().size());
            if (options.settings.type_questions)
                std::printf("  type questions from a second thread: %d rounds\n", run.TypeRounds());
            std::printf("  AVC segment starts, by the restarts that moved them:");
            for (size_t k = 0; k < run.VideoMoves().size(); ++k)
                if (run.VideoMoves()[k]) std::printf(" %zu: %d", k, run.VideoMoves()[k]);
            std::printf("\n");
            for (const auto& phase : run.MemoryAfterPhases())
                std::printf("  library memory %-24s %lld bytes\n", phase.first.c_str(),
                            static_cast<long long>(phase.second));
            faults += static_cast<int>(run.Faults().size());
        }
        if (!options.hostile.empty()) {
            const std::vector<HostileOutcome> outcomes = RunHostileSet(module, &log, options.hostile);
            PrintHostileOutcomes(outcomes, stdout);
            size_t bad = 0, unexpected = 0;
            for (const HostileOutcome& o : outcomes) {
                bad += o.acceptable ? 0 : 1;
                unexpected += o.as_expected ? 0 : 1;
            }
            std::printf("hostile set: %zu files, %zu outside the rules, %zu not as their row expects\n",
                        outcomes.size(), bad, unexpected);
            faults += static_cast<int>(bad + unexpected);
            if (outcomes.empty()) ++faults;
        }

        // Everything released: the library's blocks, the module's objects, the threads.
        if (counted) {
            ReadLibraryMemory(module, &memory);
            std::printf(
                "library memory at the end: %lld bytes in %lld blocks (peak %lld bytes, %lld blocks "
                "handed out)\n",
                static_cast<long long>(memory.live_bytes), static_cast<long long>(memory.live_blocks),
                static_cast<long long>(memory.peak_bytes), static_cast<long long>(memory.allocations));
            if (memory.live_bytes != 0 || memory.live_blocks != 0) {
                std::printf("fault: the library's memory is not back to 0\n");
                ++faults;
            }
        }
        const HRESULT can_unload = module.CanUnloadNow();
        std::printf("DllCanUnloadNow: %s\n", can_unload == S_OK ? "S_OK" : "S_FALSE");
        if (can_unload != S_OK) ++faults;
        size_t threads_after = ThreadsOfThisProcess();
        for (int i = 0; i < 100 && threads_after > threads_with_log; ++i) {
            Sleep(20);
            threads_after = ThreadsOfThisProcess();
        }
        std::printf("threads: %zu before the first graph, %zu after the last\n", threads_with_log, threads_after);
        if (threads_after > threads_with_log) {
            std::printf("fault: %zu threads still running\n", threads_after - threads_with_log);
            ++faults;
        }

        log.Print(stdout);
        if (!options.latencies.empty()) {
            FILE* csv = _wfopen(options.latencies.c_str(), L"w");
            if (!csv) {
                std::printf("fault: cannot write the latencies\n");
                ++faults;
            } else {
                log.WriteEach(csv);
                std::fclose(csv);
            }
        }
        const int hangs = log.Hangs();
        std::printf("%d operations, %d hangs (over their limit: 2 s, 10 s for a hostile file's run)\n",
                    log.Operations(), hangs);
        faults += hangs;
    }
    (void)threads_before;
    CoUninitialize();
    std::printf("%s\n", faults ? "FAILED" : "passed");
    return faults ? 1 : 0;
}
