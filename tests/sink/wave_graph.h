// For the sink's tests: a filter graph of Wine's own File Source (Async) and
// WAVE parser playing a WAVE file into a RecordingSink, and the files that
// make_sink_media.sh leaves beside each WAVE file.
#ifndef KELO_TESTS_SINK_WAVE_GRAPH_H
#define KELO_TESTS_SINK_WAVE_GRAPH_H

#include <windows.h>
#include <control.h>
#include <strmif.h>

#include <cstdint>
#include <string>
#include <vector>

#include "com_ptr.h"
#include "first_pin.h"
#include "recording_sink.h"

// {D51BD5A1-7548-11CF-A520-0080C77EF58A} quartz's WAVE parser; mingw's uuids.h lacks it.
inline constexpr GUID CLSID_KeloWaveParser = {
    0xd51bd5a1, 0x7548, 0x11cf, {0xa5, 0x20, 0x00, 0x80, 0xc7, 0x7e, 0xf5, 0x8a}};

// One WAVE file and ffmpeg's view of it.
struct WaveMedia {
    std::string name;
    std::wstring wav_path;
    std::vector<uint8_t> pcm;  // the data chunk as ffmpeg's demuxer reads it
    // ffprobe's values
    int sample_rate = 0;
    int channels = 0;
    int bits_per_sample = 0;
    int64_t frames = 0;  // duration_ts

    int64_t BytesPerFrame() const { return static_cast<int64_t>(channels) * ((bits_per_sample + 7) / 8); }
    REFERENCE_TIME Duration() const { return frames * 10000000 / sample_rate; }
    // Where the frame at media time t starts in pcm.
    size_t ByteOffsetAt(REFERENCE_TIME t) const {
        return static_cast<size_t>(t * sample_rate / 10000000 * BytesPerFrame());
    }
};

// Reads $KELO_SINK_MEDIA/NAME.{wav,pcm,txt}; false with a message if absent.
bool LoadWaveMedia(const std::string& name, WaveMedia* media, std::string* error);
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes);

class WaveGraph {
public:
    ~WaveGraph() { Close(); }
    // reader -> parser -> sink, connected with ConnectDirect and no media type.
    HRESULT Open(const std::wstring& wav_path, RecordingSink* sink);
    // Without a reference clock, the graph plays as fast as the sink takes it.
    HRESULT DropClock();
    // The graph's next event within ms; S_OK and its code, or E_ABORT on time-out.
    HRESULT NextEvent(DWORD ms, long* code, LONG_PTR* param1 = nullptr);
    // Waits for EC_COMPLETE, skipping other events; false on time-out or an error event.
    bool WaitForComplete(DWORD ms);
    // Stops the graph and lets it go: the graph releases every filter in it.
    void Close();

    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaSeeking> seeking;
    ComPtr<IMediaEvent> events;
    ComPtr<IBaseFilter> reader;
    ComPtr<IBaseFilter> parser;
    ComPtr<IPin> parser_output;
};

// The graph's next event within ms: S_OK and its code, or E_ABORT on time-out.
HRESULT NextGraphEvent(IMediaEvent* events, DWORD ms, long* code, LONG_PTR* param1 = nullptr);

#endif
