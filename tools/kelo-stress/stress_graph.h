// One filter graph of Wine's filter graph manager around the filter: the
// filter made through its module, loaded with a file, each output pin
// connected to a recording sink, no clock (it runs as fast as it can), and
// the graph's events counted as they come.
#ifndef KELO_TOOLS_KELO_STRESS_STRESS_GRAPH_H
#define KELO_TOOLS_KELO_STRESS_STRESS_GRAPH_H

#include <windows.h>
#include <dshow.h>

#include <string>
#include <vector>

#include "com_ptr.h"
#include "filter_module.h"
#include "recording_sink.h"

class StressGraph {
public:
    explicit StressGraph(const FilterModule& module) : module_(module) {}
    // Stops the graph and releases the filter, the sinks and the graph.
    ~StressGraph();
    StressGraph(const StressGraph&) = delete;
    StressGraph& operator=(const StressGraph&) = delete;

    // Makes the graph and the filter, adds it and loads `path`: Load's result.
    HRESULT Load(const std::wstring& path);
    // Connects each output pin to a new sink (keeping bytes if asked) and
    // takes the clock away; a pin that refuses is left unconnected and its
    // ConnectDirect result added to `refusals`. The number connected.
    size_t ConnectSinks(bool keep_bytes, std::vector<HRESULT>* refusals);
    size_t OutputPins() const { return output_pins_; }

    // Takes the graph's events for `ms`, counting completions and aborts.
    void PumpEvents(DWORD ms);
    // Until EC_COMPLETE (S_OK) or EC_ERRORABORT (its HRESULT) comes; E_ABORT
    // after `ms`.
    HRESULT WaitForEnd(DWORD ms);

    int Completions() const { return completions_; }
    int Aborts() const { return aborts_; }
    HRESULT FirstAbort() const { return first_abort_; }

    IMediaControl* Control() const { return control_.Get(); }
    IBaseFilter* Filter() const { return filter_.Get(); }
    IMediaSeeking* Seeking() const { return seeking_.Get(); }
    const std::vector<RecordingSink*>& Sinks() const { return sinks_; }
    // The sink of the pin whose media type has this major type, or null.
    RecordingSink* SinkOf(const GUID& major) const;

private:
    // One event within `ms`: true with its code and first parameter.
    bool NextEvent(DWORD ms, long* code, LONG_PTR* param1);

    const FilterModule& module_;
    ComPtr<IFilterGraph2> graph_;
    ComPtr<IMediaControl> control_;
    ComPtr<IMediaSeeking> seeking_;
    ComPtr<IMediaEvent> events_;
    ComPtr<IBaseFilter> filter_;
    std::vector<RecordingSink*> sinks_;  // one reference each, ours
    size_t output_pins_ = 0;
    int completions_ = 0;
    int aborts_ = 0;
    HRESULT first_abort_ = S_OK;
};

#endif
