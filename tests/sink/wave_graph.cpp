#include "wave_graph.h"

#include <evcode.h>
#include <uuids.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool LoadWaveMedia(const std::string& name, WaveMedia* media, std::string* error) {
    const char* dir = std::getenv("KELO_SINK_MEDIA");
    if (!dir) {
        *error = "KELO_SINK_MEDIA is not set (CTest sets it; make_sink_media.sh makes the files)";
        return false;
    }
    const std::string base = std::string(dir) + "/" + name;
    media->name = name;
    media->wav_path = std::wstring(base.begin(), base.end()) + L".wav";
    if (!ReadWholeFile(base + ".pcm", &media->pcm)) {
        *error = "cannot read " + base + ".pcm";
        return false;
    }
    std::ifstream probe(base + ".txt");
    std::string line;
    while (std::getline(probe, line)) {
        const auto equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = line.substr(0, equals);
        const long long value = std::atoll(line.c_str() + equals + 1);
        if (key == "sample_rate") media->sample_rate = static_cast<int>(value);
        if (key == "channels") media->channels = static_cast<int>(value);
        if (key == "bits_per_sample") media->bits_per_sample = static_cast<int>(value);
        if (key == "duration_ts") media->frames = value;
    }
    if (media->sample_rate <= 0 || media->channels <= 0 || media->bits_per_sample <= 0 || media->frames <= 0) {
        *error = "incomplete ffprobe values in " + base + ".txt";
        return false;
    }
    return true;
}

HRESULT WaveGraph::Open(const std::wstring& wav_path, RecordingSink* sink) {
    HRESULT hr =
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph.ReceiveVoid());
    if (FAILED(hr)) return hr;
    if (FAILED(hr = graph.QueryTo(IID_IMediaControl, &control))) return hr;
    if (FAILED(hr = graph.QueryTo(IID_IMediaSeeking, &seeking))) return hr;
    if (FAILED(hr = graph.QueryTo(IID_IMediaEvent, &events))) return hr;

    hr = CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, reader.ReceiveVoid());
    if (FAILED(hr)) return hr;
    if (FAILED(hr = graph->AddFilter(reader.Get(), L"File Source (Async)"))) return hr;
    ComPtr<IFileSourceFilter> file;
    if (FAILED(hr = reader.QueryTo(IID_IFileSourceFilter, &file))) return hr;
    if (FAILED(hr = file->Load(wav_path.c_str(), nullptr))) return hr;

    hr = CoCreateInstance(CLSID_KeloWaveParser, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, parser.ReceiveVoid());
    if (FAILED(hr)) return hr;
    if (FAILED(hr = graph->AddFilter(parser.Get(), L"Wave Parser"))) return hr;
    const ComPtr<IPin> reader_output = FirstPin(reader.Get(), PINDIR_OUTPUT);
    const ComPtr<IPin> parser_input = FirstPin(parser.Get(), PINDIR_INPUT);
    if (!reader_output || !parser_input) return E_UNEXPECTED;
    if (FAILED(hr = graph->ConnectDirect(reader_output.Get(), parser_input.Get(), nullptr))) return hr;
    parser_output = FirstPin(parser.Get(), PINDIR_OUTPUT);
    if (!parser_output) return E_UNEXPECTED;

    if (FAILED(hr = graph->AddFilter(sink, L"Recording Sink"))) return hr;
    return graph->ConnectDirect(parser_output.Get(), sink->InputPin(), nullptr);
}

HRESULT WaveGraph::DropClock() {
    ComPtr<IMediaFilter> filter;
    const HRESULT hr = graph.QueryTo(IID_IMediaFilter, &filter);
    return FAILED(hr) ? hr : filter->SetSyncSource(nullptr);
}

HRESULT NextGraphEvent(IMediaEvent* events, DWORD ms, long* code, LONG_PTR* param1) {
    // Wine's GetEvent may answer E_ABORT early, when its event handle was set
    // for an event another call took: ask again until the time is up.
    const DWORD begin = GetTickCount();
    for (;;) {
        const DWORD spent = GetTickCount() - begin;
        LONG_PTR p1 = 0, p2 = 0;
        const HRESULT hr = events->GetEvent(code, &p1, &p2, spent >= ms ? 0 : ms - spent);
        if (hr == S_OK) {
            events->FreeEventParams(*code, p1, p2);
            if (param1) *param1 = p1;
            return S_OK;
        }
        if (hr != E_ABORT || GetTickCount() - begin >= ms) return hr;
        Sleep(1);
    }
}

HRESULT WaveGraph::NextEvent(DWORD ms, long* code, LONG_PTR* param1) {
    return NextGraphEvent(events.Get(), ms, code, param1);
}

bool WaveGraph::WaitForComplete(DWORD ms) {
    const DWORD begin = GetTickCount();
    for (;;) {
        const DWORD spent = GetTickCount() - begin;
        long code = 0;
        LONG_PTR param1 = 0;
        const HRESULT hr = NextEvent(spent >= ms ? 0 : ms - spent, &code, &param1);
        if (hr != S_OK) {
            std::fprintf(stderr, "no EC_COMPLETE within %lu ms (GetEvent: 0x%lx)\n", ms, hr);
            return false;
        }
        if (code == EC_COMPLETE) return true;
        if (code == EC_ERRORABORT || code == EC_USERABORT) {
            std::fprintf(stderr, "graph event 0x%lx (0x%llx) instead of EC_COMPLETE\n", code,
                         static_cast<unsigned long long>(param1));
            return false;
        }
    }
}

void WaveGraph::Close() {
    if (control) control->Stop();
    parser_output.Reset();
    parser.Reset();
    reader.Reset();
    events.Reset();
    seeking.Reset();
    control.Reset();
    graph.Reset();
}
