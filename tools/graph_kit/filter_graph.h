// A graph of Wine's (or Windows') filter graph manager around the filter: the filter made through its module's
// class factory, added and loaded with a file, each output pin connected to a recording sink of its own, no clock
// unless kept (the graph then runs as fast as the sinks take samples), and the graph's events waited for and counted.
// kelo-stress, the graph tests and the throughput tool build their graphs with it.
#ifndef KELO_TOOLS_GRAPH_KIT_FILTER_GRAPH_H
#define KELO_TOOLS_GRAPH_KIT_FILTER_GRAPH_H

#include <windows.h>
#include <dshow.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "com_ptr.h"
#include "filter_module.h"
#include "recording_sink.h"

struct ConnectedPin {
    std::wstring name;
    ComPtr<IPin> pin;               // the filter's output pin
    RecordingSink* sink = nullptr;  // one reference, released by the graph object
};

// Whose allocator the pins deliver in: the one the filter chooses (none is offered, so a memory allocator of the
// platform's), or the one each sink offers, as renderers do.
enum class Allocation { kFilterChooses, kSinksOffer };

struct SinkSettings {
    bool keep_bytes = true;
    Allocation allocation = Allocation::kFilterChooses;
    // Pins that refuse to connect are left unconnected, their ConnectDirect results here; null: a refusal fails
    // ConnectSinks.
    std::vector<HRESULT>* refusals = nullptr;
};

class FilterGraph {
public:
    explicit FilterGraph(const FilterModule& module) : module_(module) {}
    // Stops the graph and releases the filter, the sinks and the graph.
    ~FilterGraph();
    FilterGraph(const FilterGraph&) = delete;
    FilterGraph& operator=(const FilterGraph&) = delete;

    // Makes the graph and the filter, adds it and loads `path` (a Windows path): Load's result.
    HRESULT Load(const std::wstring& path);
    // Connects every output pin to a new recording sink and takes the clock away.
    HRESULT ConnectSinks(const SinkSettings& settings = {});
    HRESULT Open(const std::wstring& path, const SinkSettings& settings = {});

    // Runs and waits for the end: S_OK at EC_COMPLETE, an EC_ERRORABORT's HRESULT, E_ABORT on time-out.
    HRESULT RunToCompletion(DWORD ms = 30000);
    HRESULT WaitForCompletion(DWORD ms);
    // Waits for an event of `code`: S_OK with its first parameter, or E_ABORT on time-out. Others are passed over.
    HRESULT WaitForEvent(long code, DWORD ms, LONG_PTR* param1 = nullptr);
    // Takes the graph's events for `ms` (at least those already queued), counting completions and aborts.
    void PumpEvents(DWORD ms);
    HRESULT Stop() { return control_->Stop(); }

    int Completions() const { return completions_; }
    int Aborts() const { return aborts_; }
    HRESULT FirstAbort() const { return first_abort_; }

    IBaseFilter* Filter() const { return filter_.Get(); }
    IFilterGraph2* Graph() const { return graph_.Get(); }
    IMediaSeeking* Seeking() const { return seeking_.Get(); }
    IMediaControl* Control() const { return control_.Get(); }
    size_t OutputPins() const { return output_pins_; }
    const std::vector<ConnectedPin>& Pins() const { return pins_; }
    RecordingSink* Sink(size_t n = 0) const { return pins_.at(n).sink; }
    // The sink of the pin whose media type has this major type, or null.
    RecordingSink* SinkOf(const GUID& major) const;

private:
    // One event within `ms`, counted: true with its code and first parameter.
    bool NextEvent(DWORD ms, long* code, LONG_PTR* param1);
    // The first event that one of `wanted` names, within `ms`: S_OK, or E_ABORT.
    HRESULT NextEventOf(std::initializer_list<long> wanted, DWORD ms, long* code, LONG_PTR* param1);

    const FilterModule& module_;
    ComPtr<IFilterGraph2> graph_;
    ComPtr<IMediaSeeking> seeking_;
    ComPtr<IMediaControl> control_;
    ComPtr<IMediaEvent> events_;
    ComPtr<IBaseFilter> filter_;
    std::vector<ConnectedPin> pins_;
    size_t output_pins_ = 0;
    int completions_ = 0;
    int aborts_ = 0;
    HRESULT first_abort_ = S_OK;
};

// The recorded events of one kind, in order.
std::vector<SinkEvent> EventsOfKind(const std::vector<SinkEvent>& events, SinkEventKind kind);

// A media sample as the sink recorded it, with its bytes.
struct Delivered {
    SinkEvent event;
    std::vector<uint8_t> bytes;
};

// Every sample the sink recorded, in arrival order (the sink keeps bytes).
std::vector<Delivered> DeliveredSamples(RecordingSink* sink);

#endif
