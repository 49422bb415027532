// Test support for the filter in Wine's real filter graph: the filter made
// through the module's class factory (as COM makes it for an application),
// loaded with a file, each output pin connected to a recording sink, and the
// graph manager's own interfaces to drive it.
#ifndef KELO_TESTS_GRAPH_FILTER_GRAPH_H
#define KELO_TESTS_GRAPH_FILTER_GRAPH_H

#include <windows.h>
#include <dshow.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "com_ptr.h"
#include "recording_sink.h"

// A Unix path as Wine's Z: drive sees it.
std::wstring WindowsPath(const std::string& unix_path);
// A file of the PCM media fixture (KELO_PCM_MEDIA) by name.
std::string PcmMedia(const std::string& name);
std::vector<uint8_t> ReadWholeFile(const std::string& unix_path);
// A file of the tests' own (KELO_SCRATCH), apart from the media that other
// tests read whole folders of.
std::string ScratchFile(const std::string& name);
bool WriteWholeFile(const std::string& unix_path, const std::vector<uint8_t>& bytes);

// A new filter from KeloMervane.ax (KELO_FILTER_MODULE) through its class factory.
HRESULT CreateFilter(IBaseFilter** filter);

struct ConnectedPin {
    std::wstring name;
    RecordingSink* sink = nullptr;  // one reference, released by the graph object
};

// Whose allocator the pins deliver in: the one the filter chooses (none is
// offered, so a memory allocator of the platform's), or the one each sink
// offers, as renderers do.
enum class Allocation { kFilterChooses, kSinksOffer };

class FilterGraph {
public:
    FilterGraph() = default;
    ~FilterGraph();
    FilterGraph(const FilterGraph&) = delete;
    FilterGraph& operator=(const FilterGraph&) = delete;

    // Makes the graph and the filter and loads `unix_path`: the Load result.
    HRESULT Load(const std::string& unix_path);
    // Connects every output pin to a new recording sink that keeps the
    // bytes, and takes the clock away so the graph runs as fast as it can.
    HRESULT ConnectSinks(Allocation allocation = Allocation::kFilterChooses);
    // Load and ConnectSinks.
    HRESULT Open(const std::string& unix_path, Allocation allocation = Allocation::kFilterChooses);

    // Runs and waits for EC_COMPLETE: S_OK, an EC_ERRORABORT's HRESULT, or
    // E_ABORT on time-out.
    HRESULT RunToCompletion(DWORD ms = 30000);
    HRESULT WaitForCompletion(DWORD ms);
    // Waits for an event of `code` from the graph: S_OK with its first
    // parameter, or E_ABORT on time-out. Other events are passed over.
    HRESULT WaitForEvent(long code, DWORD ms, LONG_PTR* param1 = nullptr);
    HRESULT Stop();

    IBaseFilter* Filter() const { return filter_.Get(); }
    IFilterGraph2* Graph() const { return graph_.Get(); }
    IMediaSeeking* Seeking() const { return seeking_.Get(); }
    IMediaControl* Control() const { return control_.Get(); }
    const std::vector<ConnectedPin>& Pins() const { return pins_; }
    RecordingSink* Sink(size_t n = 0) const { return pins_.at(n).sink; }

private:
    HRESULT NextEventOf(std::initializer_list<long> wanted, DWORD ms, long* code, LONG_PTR* param1);

    ComPtr<IFilterGraph2> graph_;
    ComPtr<IMediaSeeking> seeking_;
    ComPtr<IMediaControl> control_;
    ComPtr<IMediaEvent> events_;
    ComPtr<IBaseFilter> filter_;
    std::vector<ConnectedPin> pins_;
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
