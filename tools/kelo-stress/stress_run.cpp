#include "stress_run.h"

#include <algorithm>
#include <sstream>

#include "type_questions.h"

bool ReadLibraryMemory(const FilterModule& module, LibraryMemoryUse* use) {
    const auto read = module.Export<LibraryMemoryFunction>(kLibraryMemoryExport);
    if (read) read(use);
    return read != nullptr;
}

namespace {

constexpr REFERENCE_TIME kSecond = 10000000;
constexpr DWORD kRestartWaitMs = 2000;
// A run that never ends is the fault; on a loaded machine under Wine a whole run
// can take several seconds, so the bound is generous.
constexpr DWORD kCompletionMs = 30000;
// The video sink takes a millisecond per sample while seeks run, so a run
// lasts long enough for seeks to land in it and audio reaches the
// interleave gate's five-second lead.
constexpr DWORD kVideoReceiveDelayMs = 1;

std::string Hex(HRESULT hr) {
    std::ostringstream text;
    text << "0x" << std::hex << static_cast<unsigned long>(hr);
    return text.str();
}

}  // namespace

void StressRun::Fault(const std::string& line) {
    if (faults_.size() < 200) std::fprintf(stderr, "fault: %s\n", line.c_str());
    faults_.push_back(line);
}

DWORD StressRun::RandomMs(DWORD most) { return std::uniform_int_distribution<DWORD>(0, most)(random_); }

// After Load the library holds the movie and track records; the first run
// adds the table windows, within their fixed budget. From then on every phase
// must leave the use where the first run left it: a seek, a cycle or a
// restart that kept a block would show here.
void StressRun::SampleMemory(const char* phase) {
    LibraryMemoryUse use;
    if (!ReadLibraryMemory(module_, &use)) return;
    memory_.emplace_back(phase, use.live_bytes);
    if (memory_.size() < 3) return;
    const int64_t settled = memory_[1].second;
    if (use.live_bytes != settled)
        Fault(std::string("library memory ") + phase + ": " + std::to_string(use.live_bytes) +
              " bytes, after the first run " + std::to_string(settled));
}

bool StressRun::Open(FilterGraph* graph, const std::wstring& path) {
    HRESULT hr;
    {
        auto timed = log_->Time("load");
        hr = graph->Load(path);
    }
    if (hr != S_OK) {
        Fault("Load: " + Hex(hr));
        return false;
    }
    std::vector<HRESULT> refusals;
    {
        auto timed = log_->Time("connect");
        graph->ConnectSinks({true, Allocation::kFilterChooses, &refusals});
    }
    video_sink_ = graph->SinkOf(MEDIATYPE_Video);
    audio_sink_ = graph->SinkOf(MEDIATYPE_Audio);
    if (!video_sink_ || !audio_sink_ || !refusals.empty()) {
        Fault("the file must give a connected video and audio pin");
        return false;
    }
    if (FAILED(graph->Seeking()->GetDuration(&duration_)) || duration_ < 4 * kSecond) {
        Fault("the file must last at least 4 s");
        return false;
    }
    SampleMemory("after Load");
    return true;
}

HRESULT StressRun::SetPositions(FilterGraph* graph, REFERENCE_TIME start, REFERENCE_TIME stop, const char* kind) {
    video_sink_->Clear();
    audio_sink_->Clear();
    const bool with_stop = stop >= 0;
    LONGLONG current = start, end = with_stop ? stop : 0;
    HRESULT hr;
    {
        auto timed = log_->Time(kind);
        hr = graph->Seeking()->SetPositions(&current, AM_SEEKING_AbsolutePositioning, &end,
                                            with_stop ? AM_SEEKING_AbsolutePositioning : AM_SEEKING_NoPositioning);
    }
    if (FAILED(hr)) Fault(std::string(kind) + " to " + std::to_string(start) + ": " + Hex(hr));
    start_ = start;
    if (with_stop) {
        stop_ = stop;
        stop_known_ = true;
    }
    // The graph manager passes the seek to each of the two renderers, and
    // both pass it to the filter: each call sets the start anew and restarts
    // the pins, once for the start and, with a stop beyond the one a pin
    // already ended at, once before for the stop. However many restarts, the
    // AVC start moves once from the asked start. A seek while stopped restarts nothing until the graph runs.
    OAFilterState state = State_Stopped;
    graph->Control()->GetState(0, &state);
    if (state == State_Stopped)
        ExpectVideoRestarts(start, 0, 1);
    else
        ExpectVideoRestarts(start, 1, 1);
    return hr;
}

void StressRun::ExpectVideoRestarts(REFERENCE_TIME base, int fewest, int most) {
    video_starts_.clear();
    fewest_moves_ = fewest;
    REFERENCE_TIME start = base;
    for (int k = 0; k <= most; ++k) {
        if (k >= fewest) video_starts_.push_back(start);
        start = video_.SegmentStart(start);
    }
}

void StressRun::CheckRestarted(const char* what) {
    RestartExpectation expected;
    expected.video_starts = video_starts_;
    expected.stop_known = stop_known_;
    expected.audio_start = start_;
    expected.stop = stop_;
    expected.rate = rate_;
    // Well inside both tracks, whose lengths differ by a frame or two.
    expected.samples_due = start_ + kSecond / 2 < duration_ && (!stop_known_ || stop_ > start_);
    ++restarts_checked_;
    const RestartResult result = CheckRestart(video_sink_, audio_sink_, expected, kRestartWaitMs);
    for (const std::string& line : result.faults) {
        std::ostringstream context;
        context << what << " to " << start_ << " (stop " << stop_ << ", rate " << rate_ << "): " << line;
        Fault(context.str());
    }
    if (result.video_moves) {
        const size_t moves = static_cast<size_t>(fewest_moves_) + result.video_moves - 1;
        ++video_moves_[std::min(moves, video_moves_.size() - 1)];
    }
}

// Targets anywhere, with the places where a pin has nothing or little left
// drawn more often: 0, the end, past the end; a third with a stop position.
void StressRun::Seek(FilterGraph* graph, const char* kind) {
    const int where = std::uniform_int_distribution<int>(0, 19)(random_);
    REFERENCE_TIME start;
    if (where == 0)
        start = 0;
    else if (where == 1)
        start = duration_;
    else if (where == 2)
        start = duration_ + std::uniform_int_distribution<REFERENCE_TIME>(1, 3 * kSecond)(random_);
    else
        start = std::uniform_int_distribution<REFERENCE_TIME>(0, duration_ - 1)(random_);
    // A third set a stop a little after the start; the others play to the
    // end, leaving the stop alone when it is there already.
    REFERENCE_TIME stop = duration_;
    if (std::uniform_int_distribution<int>(0, 2)(random_) == 0)
        stop = start + std::uniform_int_distribution<REFERENCE_TIME>(kSecond / 5, 4 * kSecond)(random_);
    else if (stop_known_ && stop_ == duration_)
        stop = -1;
    if (SUCCEEDED(SetPositions(graph, start, stop, kind))) CheckRestarted(kind);
}

void StressRun::ChangeRate(FilterGraph*) {
    static const double kRates[] = {0.5, 1.0, 1.25, 2.0, 4.0};
    const double rate = kRates[std::uniform_int_distribution<size_t>(0, 4)(random_)];
    video_sink_->Clear();
    audio_sink_->Clear();
    HRESULT hr;
    {
        auto timed = log_->Time("rate change");
        hr = audio_sink_->SetRate(rate);
    }
    if (FAILED(hr)) {
        Fault("SetRate " + std::to_string(rate) + ": " + Hex(hr));
        return;
    }
    rate_ = rate;
    // The restart repositions from the asked start: the AVC start stays put.
    ExpectVideoRestarts(start_, 1, 1);
    CheckRestarted("rate change");
}

void StressRun::RunToCompletion(FilterGraph* graph, const char* phase) {
    graph->PumpEvents(0);
    HRESULT hr;
    {
        auto timed = log_->Time("run to completion", kCompletionMs);
        hr = graph->WaitForCompletion(kCompletionMs);
    }
    if (hr != S_OK) Fault(std::string(phase) + ": the run ends with " + Hex(hr) + " instead of EC_COMPLETE");
    if (!video_sink_->WaitForEndOfStream(kRestartWaitMs)) Fault(std::string(phase) + ": no end of stream on video");
    if (!audio_sink_->WaitForEndOfStream(kRestartWaitMs)) Fault(std::string(phase) + ": no end of stream on audio");
}

void StressRun::RunningSeeks(FilterGraph* graph) {
    video_sink_->SetReceiveDelay(kVideoReceiveDelayMs);
    {
        auto timed = log_->Time("run");
        if (FAILED(graph->Control()->Run())) Fault("Run before the seeks failed");
    }
    TypeQuestions questions;
    if (settings_.type_questions && !questions.Start(graph->Filter())) Fault("the type questions' thread failed");
    for (int i = 0; i < settings_.running_seeks; ++i) {
        // About one operation in ten changes the rate instead.
        if (std::uniform_int_distribution<int>(0, 9)(random_) == 0)
            ChangeRate(graph);
        else
            Seek(graph, "seek while running");
        graph->PumpEvents(0);
        Sleep(RandomMs(5));
    }
    questions.Stop();
    type_rounds_ = questions.Rounds();
    if (questions.WrongRounds())
        Fault(std::to_string(questions.WrongRounds()) + " of " + std::to_string(type_rounds_) +
              " rounds of type questions got a wrong answer");
    if (settings_.type_questions && type_rounds_ < settings_.running_seeks)
        Fault("only " + std::to_string(type_rounds_) + " rounds of type questions during the seeks");
    // Back to rate 1, then from two seconds before the end to the end.
    video_sink_->SetReceiveDelay(0);
    if (FAILED(audio_sink_->SetRate(1.0))) Fault("SetRate 1.0 after the seeks failed");
    rate_ = 1.0;
    graph->PumpEvents(0);
    if (SUCCEEDED(SetPositions(graph, duration_ - 2 * kSecond, duration_, "seek while running")))
        CheckRestarted("the last seek");
    RunToCompletion(graph, "after the seeks");
    SampleMemory("after the running seeks");
}

void StressRun::Cycles(FilterGraph* graph) {
    IMediaControl* control = graph->Control();
    for (int i = 0; i < settings_.cycles; ++i) {
        struct Step {
            const char* kind;
            HRESULT (STDMETHODCALLTYPE IMediaControl::*call)();
        };
        static const Step kSteps[] = {{"cycle run", &IMediaControl::Run},
                                      {"cycle pause", &IMediaControl::Pause},
                                      {"cycle run", &IMediaControl::Run},
                                      {"cycle stop", &IMediaControl::Stop}};
        for (const Step& step : kSteps) {
            HRESULT hr;
            {
                auto timed = log_->Time(step.kind);
                hr = (control->*step.call)();
            }
            if (FAILED(hr)) Fault(std::string(step.kind) + ": " + Hex(hr));
            Sleep(RandomMs(20));
        }
        graph->PumpEvents(0);
    }
    SampleMemory("after the cycles");
}

void StressRun::PausedSeeks(FilterGraph* graph) {
    {
        auto timed = log_->Time("pause");
        if (FAILED(graph->Control()->Pause())) Fault("Pause before the paused seeks failed");
    }
    for (int i = 0; i < settings_.paused_seeks; ++i) {
        Seek(graph, "seek while paused");
        graph->PumpEvents(0);
    }
    {
        auto timed = log_->Time("stop");
        graph->Control()->Stop();
    }
    SampleMemory("after the paused seeks");
    // And the graph still plays the file whole from the start.
    if (SUCCEEDED(SetPositions(graph, 0, duration_, "seek while stopped"))) {
        {
            auto timed = log_->Time("run");
            if (FAILED(graph->Control()->Run())) Fault("Run after the paused seeks failed");
        }
        ExpectVideoRestarts(0, 1, 1);
        CheckRestarted("run from the start");
        RunToCompletion(graph, "the last run");
    }
    {
        auto timed = log_->Time("stop");
        graph->Control()->Stop();
    }
    SampleMemory("after the last run");
}

void StressRun::Run(const std::wstring& path) {
    FilterGraph graph(module_);
    if (!Open(&graph, path)) return;
    {
        auto timed = log_->Time("run");
        if (FAILED(graph.Control()->Run())) Fault("the first Run failed");
    }
    ExpectVideoRestarts(0, 1, 1);
    CheckRestarted("the first run");
    RunToCompletion(&graph, "the first run");
    SampleMemory("after the first run");
    RunningSeeks(&graph);
    {
        auto timed = log_->Time("stop");
        graph.Control()->Stop();
    }
    Cycles(&graph);
    PausedSeeks(&graph);
    graph.PumpEvents(50);
    if (graph.Aborts())
        Fault("EC_ERRORABORT " + std::to_string(graph.Aborts()) + " times, first " + Hex(graph.FirstAbort()));
}
