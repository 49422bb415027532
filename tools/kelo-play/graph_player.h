// Plays a file the way an application does: the filter in a filter graph
// (CLSID_FilterGraph), IFileSourceFilter::Load (or, with --parser, File Source
// (Async) loading the file and feeding the filter's input), each output pin
// connected with IGraphBuilder::ConnectDirect to its own RecordingSink, the
// positions and rate set, IMediaControl::Run, then the graph's events until
// EC_COMPLETE, an abort or the time-out.
#ifndef KELO_TOOLS_KELO_PLAY_GRAPH_PLAYER_H
#define KELO_TOOLS_KELO_PLAY_GRAPH_PLAYER_H

#include <windows.h>
#include <control.h>
#include <strmif.h>

#include <optional>
#include <string>
#include <vector>

#include "com_ptr.h"
#include "play_options.h"
#include "play_report.h"
#include "played_pin.h"
#include "source_factory.h"

enum PlayExit { kExitComplete = 0, kExitUsage = 1, kExitSetup = 2, kExitAborted = 3, kExitTimeout = 4, kExitDump = 5 };

class GraphPlayer {
public:
    explicit GraphPlayer(const PlayOptions& options) : options_(options) {}
    GraphPlayer(const GraphPlayer&) = delete;
    GraphPlayer& operator=(const GraphPlayer&) = delete;
    ~GraphPlayer() { Close(); }

    // Builds and connects the graph; kExitComplete or kExitSetup with result->message.
    PlayExit Build(PlayResult* result);
    // Runs it to the end; then takes each sink's record into Pins().
    PlayExit Play(PlayResult* result);
    const std::vector<PlayedPin>& Pins() const { return pins_; }
    // Stops and releases the graph and the filter; then the module may unload.
    void Close();
    bool ModuleCanUnload() const { return factory_.ModuleCanUnload(); }

private:
    PlayExit Fail(PlayResult* result, const std::string& message, HRESULT hr);
    PlayExit LoadFile(PlayResult* result);
    void TakeRecords();
    bool Reposition(const std::optional<SeekAt>& at, bool stop, bool* done, PlayResult* result);
    bool AskPinTypes();
    static bool IsAbort(long code);
    static void SetAborted(long code, LONG_PTR param1, PlayResult* result);

    const PlayOptions& options_;
    SourceFactory factory_;  // first in, last out: the module outlives its objects
    ComPtr<IGraphBuilder> graph_;
    ComPtr<IMediaControl> control_;
    ComPtr<IMediaSeeking> seeking_;
    ComPtr<IMediaEvent> events_;
    ComPtr<IBaseFilter> reader_;  // --parser only
    ComPtr<IBaseFilter> filter_;
    std::vector<PlayedPin> pins_;
};

#endif
