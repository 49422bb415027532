// The stress phases on one H.264 + AAC file, both pins connected to
// recording sinks, no clock: seeks while running (with stop positions and
// rate changes), a run to completion, run/pause/stop cycles with random
// waits and seeks while paused, each operation timed by the log, each
// restart checked, the library's memory sampled after every phase.
#ifndef KELO_TOOLS_KELO_STRESS_STRESS_RUN_H
#define KELO_TOOLS_KELO_STRESS_STRESS_RUN_H

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "filter_module.h"
#include "library_memory.h"
#include "operation_log.h"
#include "restart_check.h"
#include "filter_graph.h"
#include "video_samples.h"

// The stress build's counters of the library's memory; false when the module has none.
bool ReadLibraryMemory(const FilterModule& module, LibraryMemoryUse* use);

struct StressSettings {
    int running_seeks = 1000;
    int cycles = 100;
    int paused_seeks = 100;
    uint32_t seed = 1;
    bool type_questions = false;  // a second thread asks the pins' types during the running seeks
};

class StressRun {
public:
    StressRun(const FilterModule& module, OperationLog* log, const VideoSamples& video, const StressSettings& settings)
        : module_(module), log_(log), video_(video), settings_(settings), random_(settings.seed) {}

    // Every phase on `path`; the faults found are in Faults().
    void Run(const std::wstring& path);
    const std::vector<std::string>& Faults() const { return faults_; }
    // The library's live bytes after Load and after each phase, by name.
    const std::vector<std::pair<std::string, int64_t>>& MemoryAfterPhases() const { return memory_; }
    int RestartsChecked() const { return restarts_checked_; }
    // Rounds of type questions asked during the running seeks.
    int TypeRounds() const { return type_rounds_; }
    // How many restarts' moves the AVC segment start showed, by count:
    // [k] seeks or rate changes whose video segment started k restarts back.
    const std::vector<int>& VideoMoves() const { return video_moves_; }

private:
    bool Open(FilterGraph* graph, const std::wstring& path);
    void RunToCompletion(FilterGraph* graph, const char* phase);
    void RunningSeeks(FilterGraph* graph);
    void Cycles(FilterGraph* graph);
    void PausedSeeks(FilterGraph* graph);

    // A random seek through the graph manager, then the restart checked.
    void Seek(FilterGraph* graph, const char* kind);
    // A random rate through a sink's IMediaSeeking, then the restart checked.
    void ChangeRate(FilterGraph* graph);
    // With `stop` < 0 the stop position is left as it is (AM_SEEKING_NoPositioning).
    HRESULT SetPositions(FilterGraph* graph, REFERENCE_TIME start, REFERENCE_TIME stop, const char* kind);
    // The AVC pin restarts from the start of the sample holding the time
    // before its segment start, and keeps that moved start for the next
    // restart: the starts `fewest` to `most` restarts from `base` leave.
    void ExpectVideoRestarts(REFERENCE_TIME base, int fewest, int most);
    void CheckRestarted(const char* what);
    void SampleMemory(const char* phase);
    void Fault(const std::string& line);
    DWORD RandomMs(DWORD most);

    const FilterModule& module_;
    OperationLog* log_;
    const VideoSamples& video_;
    const StressSettings settings_;
    std::mt19937 random_;
    RecordingSink* video_sink_ = nullptr;
    RecordingSink* audio_sink_ = nullptr;
    REFERENCE_TIME duration_ = 0;
    REFERENCE_TIME start_ = 0, stop_ = 0;  // of the last seek
    bool stop_known_ = false;
    std::vector<REFERENCE_TIME> video_starts_;  // what the next check accepts
    int fewest_moves_ = 0;
    double rate_ = 1.0;
    int restarts_checked_ = 0;
    int type_rounds_ = 0;
    std::vector<int> video_moves_ = std::vector<int>(6, 0);
    std::vector<std::string> faults_;
    std::vector<std::pair<std::string, int64_t>> memory_;
};

#endif
