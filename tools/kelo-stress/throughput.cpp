// kelo-throughput: how fast a file goes through a source into null sinks with
// no clock, and what it costs: wall time, samples per second, the time from
// Load to the first delivered sample and the process's peak memory. The
// source is the registered Kelo Mervane filter, or Wine's own path for MP4
// (File Source (Async) and its GStreamer parser, which decodes). The sinks,
// one per output pin, are either Wine's stock ones (a Sample Grabber counting
// in its callback, into a Null Renderer) or the test support's sink as a null
// sink (it counts, and offers an allocator that waits without kernel objects).
// Not a test: scripts/bench-filter.sh runs it and prints the table.
#include <windows.h>
#include <dshow.h>
#include <psapi.h>
#include <qedit.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <initguid.h>

#include "com_ptr.h"
#include "first_pin.h"
#include "kelo_guids.h"
#include "recording_sink.h"
#include "text.h"

namespace {

// qedit's classes; mingw-w64's headers declare their interfaces only.
constexpr GUID kSampleGrabber = {0xc1f400a0, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};
constexpr GUID kNullRenderer = {0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};
// Wine's "GStreamer parser using decodebin", the parser it picks for MP4.
constexpr GUID kWineDecodebinParser = {0xf9d8d64e, 0xa144, 0x47dc, {0x8e, 0xe0, 0xf5, 0x34, 0x98, 0x37, 0x2c, 0x29}};

// Counts what reaches one pin's grabber; remembers when the first sample of
// any pin arrived.
class Counter : public ISampleGrabberCB {
public:
    explicit Counter(std::atomic<LONGLONG>* first_arrival) : first_arrival_(first_arrival) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_ISampleGrabberCB) {
            *out = static_cast<ISampleGrabberCB*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives as long as main's vector
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample* sample) override {
        LONGLONG none = 0;
        first_arrival_->compare_exchange_strong(none, QpcNow());
        ++samples_;
        bytes_ += sample->GetActualDataLength();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, LONG) override { return E_NOTIMPL; }
    long long Samples() const { return samples_; }
    long long Bytes() const { return bytes_; }

private:
    std::atomic<LONGLONG>* first_arrival_;
    std::atomic<long long> samples_{0}, bytes_{0};
};

// The sinks of one run and what they counted.
class CountingSinks {
public:
    ~CountingSinks() { Release(); }

    // pin -> Sample Grabber (counting in its callback) -> Null Renderer.
    HRESULT ConnectStock(IGraphBuilder* graph, IPin* pin, const std::wstring& n, std::atomic<LONGLONG>* first) {
        ComPtr<IBaseFilter> grabber_filter, renderer;
        ComPtr<ISampleGrabber> grabber;
        HRESULT hr;
        if (FAILED(hr = CoCreateInstance(kSampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                         grabber_filter.ReceiveVoid())) ||
            FAILED(hr = CoCreateInstance(kNullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                         renderer.ReceiveVoid())) ||
            FAILED(hr = grabber_filter.QueryTo(IID_ISampleGrabber, &grabber)))
            return hr;
        counters_.push_back(std::make_unique<Counter>(first));
        grabber->SetBufferSamples(FALSE);
        grabber->SetCallback(counters_.back().get(), 0);
        if (FAILED(hr = graph->AddFilter(grabber_filter.Get(), (L"Grabber " + n).c_str())) ||
            FAILED(hr = graph->AddFilter(renderer.Get(), (L"Null Renderer " + n).c_str())) ||
            FAILED(hr = graph->ConnectDirect(pin, FirstPin(grabber_filter.Get(), PINDIR_INPUT).Get(), nullptr)))
            return hr;
        return graph->ConnectDirect(FirstPin(grabber_filter.Get(), PINDIR_OUTPUT).Get(),
                                    FirstPin(renderer.Get(), PINDIR_INPUT).Get(), nullptr);
    }

    // pin -> a recording sink that only counts and offers its own allocator.
    HRESULT ConnectNull(IGraphBuilder* graph, IPin* pin, const std::wstring& n) {
        RecordingSink* sink = nullptr;
        HRESULT hr = RecordingSink::Create((L"Null sink " + n).c_str(), &sink);
        if (FAILED(hr)) return hr;
        sinks_.push_back(sink);
        sink->RecordSamples(false);
        sink->OfferOwnAllocator(true);
        if (FAILED(hr = graph->AddFilter(sink, (L"Null sink " + n).c_str()))) return hr;
        return graph->ConnectDirect(pin, sink->InputPin(), nullptr);
    }

    // Sums the counts; `first` becomes the earliest first arrival of any sink.
    void Totals(long long* samples, long long* bytes, std::atomic<LONGLONG>* first) const {
        for (const auto& c : counters_) {
            *samples += c->Samples();
            *bytes += c->Bytes();
        }
        for (RecordingSink* sink : sinks_) {
            *samples += sink->SamplesCounted();
            *bytes += sink->BytesCounted();
            const LONGLONG arrival = sink->FirstSampleQpc();
            if (arrival && (!first->load() || arrival < first->load())) first->store(arrival);
        }
    }

    void Release() {
        for (RecordingSink* sink : sinks_) sink->Release();
        sinks_.clear();
    }

private:
    std::vector<std::unique_ptr<Counter>> counters_;
    std::vector<RecordingSink*> sinks_;  // one reference each, ours
};

struct Options {
    bool wine = false;
    bool stock_sinks = false;
    std::wstring file;
    long long file_samples = 0;
    DWORD timeout_ms = 600000;
};

bool ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--source" && i + 1 < argc) {
            const std::string source = argv[++i];
            if (source != "kelo" && source != "wine") return false;
            options->wine = source == "wine";
        } else if (arg == "--sinks" && i + 1 < argc) {
            const std::string sinks = argv[++i];
            if (sinks != "null" && sinks != "stock") return false;
            options->stock_sinks = sinks == "stock";
        } else if (arg == "--file-samples" && i + 1 < argc) {
            options->file_samples = std::atoll(argv[++i]);
        } else if (arg == "--timeout" && i + 1 < argc) {
            options->timeout_ms = static_cast<DWORD>(std::atof(argv[++i]) * 1000);
        } else if (options->file.empty() && arg[0] != '-') {
            options->file = Wide(argv[i]);
        } else {
            return false;
        }
    }
    return !options->file.empty();
}

std::vector<ComPtr<IPin>> OutputPins(IBaseFilter* filter) {
    std::vector<ComPtr<IPin>> outputs;
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.Receive()))) return outputs;
    for (ComPtr<IPin> pin; pins->Next(1, pin.Receive(), nullptr) == S_OK;) {
        PIN_DIRECTION direction;
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == PINDIR_OUTPUT) outputs.push_back(pin);
    }
    return outputs;
}

int Fail(const char* what, HRESULT hr) {
    std::fprintf(stderr, "kelo-throughput: %s: 0x%08lx\n", what, static_cast<unsigned long>(hr));
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        std::fprintf(stderr,
                     "usage: kelo-throughput [--source kelo|wine] [--sinks null|stock] [--file-samples N] [--timeout SECONDS]\n"
                     "                       FILE\n"
                     "  kelo: the registered Kelo Mervane filter; wine: File Source (Async) + Wine's GStreamer\n"
                     "  parser (decodes). null: each output pin into a sink that counts and offers its own\n"
                     "  allocator; stock: each through a counting Sample Grabber into a Null Renderer.\n");
        return 1;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 2;
    int exit_code = 0;
    {
        ComPtr<IGraphBuilder> graph;
        HRESULT hr =
            CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph.ReceiveVoid());
        if (FAILED(hr)) return Fail("cannot create the filter graph", hr);
        ComPtr<IMediaControl> control;
        ComPtr<IMediaEvent> events;
        ComPtr<IMediaFilter> media_filter;
        if (FAILED(hr = graph.QueryTo(IID_IMediaControl, &control)) ||
            FAILED(hr = graph.QueryTo(IID_IMediaEvent, &events)) ||
            FAILED(hr = graph.QueryTo(IID_IMediaFilter, &media_filter)))
            return Fail("the graph lacks an interface", hr);

        // The sinks' DLLs are loaded before the clock starts: their first load
        // is the cost of this program's null sinks, not of the source.
        for (const GUID& sink_class : {kSampleGrabber, kNullRenderer}) {
            ComPtr<IBaseFilter> warm_up;
            CoCreateInstance(sink_class, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, warm_up.ReceiveVoid());
        }
        // Load to first sample: from the Load call through the connections
        // and Run to the first sample at any pin, as an application sees it.
        std::atomic<LONGLONG> first_arrival{0};
        LONGLONG load_start = 0, load_end = 0;
        ComPtr<IBaseFilter> source;
        ComPtr<IFileSourceFilter> file;
        if (!options.wine) {
            if (FAILED(hr = CoCreateInstance(CLSID_KeloMervane, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                             source.ReceiveVoid())))
                return Fail("cannot create Kelo Mervane (register it with regsvr32)", hr);
            if (FAILED(hr = graph->AddFilter(source.Get(), L"Kelo Mervane"))) return Fail("AddFilter", hr);
            if (FAILED(hr = source.QueryTo(IID_IFileSourceFilter, &file))) return Fail("IFileSourceFilter", hr);
            load_start = QpcNow();
            if (FAILED(hr = file->Load(options.file.c_str(), nullptr))) return Fail("Load", hr);
            load_end = QpcNow();
        } else {
            ComPtr<IBaseFilter> reader;
            if (FAILED(hr = CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                             reader.ReceiveVoid())))
                return Fail("cannot create File Source (Async)", hr);
            if (FAILED(hr = graph->AddFilter(reader.Get(), L"File Source (Async)"))) return Fail("AddFilter", hr);
            if (FAILED(hr = reader.QueryTo(IID_IFileSourceFilter, &file))) return Fail("IFileSourceFilter", hr);
            load_start = QpcNow();
            if (FAILED(hr = file->Load(options.file.c_str(), nullptr))) return Fail("File Source (Async) Load", hr);
            load_end = QpcNow();
            if (FAILED(hr = CoCreateInstance(kWineDecodebinParser, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                             source.ReceiveVoid())))
                return Fail("cannot create Wine's GStreamer parser", hr);
            if (FAILED(hr = graph->AddFilter(source.Get(), L"Parser"))) return Fail("AddFilter", hr);
            const ComPtr<IPin> out = FirstPin(reader.Get(), PINDIR_OUTPUT);
            const ComPtr<IPin> in = FirstPin(source.Get(), PINDIR_INPUT);
            if (!out || !in) return Fail("the reader or the parser has no pin", E_FAIL);
            if (FAILED(hr = graph->ConnectDirect(out.Get(), in.Get(), nullptr))) return Fail("reader to parser", hr);
        }

        CountingSinks sinks;
        size_t pins = 0;
        for (ComPtr<IPin>& pin : OutputPins(source.Get())) {
            const std::wstring n = std::to_wstring(++pins);
            hr = options.stock_sinks ? sinks.ConnectStock(graph.Get(), pin.Get(), n, &first_arrival)
                                     : sinks.ConnectNull(graph.Get(), pin.Get(), n);
            if (FAILED(hr)) return Fail("connecting a pin to its sink", hr);
        }
        if (pins == 0) return Fail("the source has no output pin", E_FAIL);
        if (FAILED(hr = media_filter->SetSyncSource(nullptr))) return Fail("SetSyncSource(NULL)", hr);

        const LONGLONG run_start = QpcNow();
        if (FAILED(hr = control->Run())) return Fail("Run", hr);
        const char* outcome = "timed out";
        for (DWORD waited = 0; waited < options.timeout_ms; waited += 100) {
            long code = 0;
            LONG_PTR first = 0, second = 0;
            if (events->GetEvent(&code, &first, &second, 100) != S_OK) continue;
            events->FreeEventParams(code, first, second);
            if (code == EC_COMPLETE) outcome = "complete";
            if (code == EC_ERRORABORT) outcome = "aborted";
            if (code == EC_COMPLETE || code == EC_ERRORABORT) break;
        }
        const LONGLONG run_end = QpcNow();
        control->Stop();
        long long media_samples = 0, bytes = 0;
        sinks.Totals(&media_samples, &bytes, &first_arrival);
        const double wall = QpcSeconds(run_end - run_start);
        PROCESS_MEMORY_COUNTERS memory = {};
        memory.cb = sizeof(memory);
        GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
        const LONGLONG first = first_arrival.load();
        std::printf("source %s, %s sinks: %s, %zu pins, wall %.3f s, media samples %lld (%.0f/s), bytes %lld",
                    options.wine ? "wine" : "kelo", options.stock_sinks ? "stock" : "null", outcome, pins, wall,
                    media_samples, media_samples / wall, bytes);
        if (options.file_samples)
            std::printf(", file samples %lld (%.0f/s)", options.file_samples, options.file_samples / wall);
        std::printf(", Load %.2f ms, Load to first sample %.2f ms (Run to first sample %.2f ms)",
                    QpcSeconds(load_end - load_start) * 1000, first ? QpcSeconds(first - load_start) * 1000 : -1.0,
                    first ? QpcSeconds(first - run_start) * 1000 : -1.0);
        std::printf(", peak working set %.1f MiB, peak pagefile %.1f MiB\n", memory.PeakWorkingSetSize / 1048576.0,
                    memory.PagefileUsage ? memory.PeakPagefileUsage / 1048576.0 : 0.0);
        if (std::string(outcome) != "complete") exit_code = 3;
        // The sinks go with the graph; the counters outlive them.
        graph->Abort();
        sinks.Release();
        control.Reset();
        events.Reset();
        media_filter.Reset();
        file.Reset();
        source.Reset();
        graph.Reset();
    }
    CoUninitialize();
    return exit_code;
}
