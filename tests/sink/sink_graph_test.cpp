// The recording sink in Wine's real filter graph, fed by Wine's own File
// Source (Async) and WAVE parser: what it records must be what ffmpeg reads
// from the same files.
#include <windows.h>

#include <gtest/gtest.h>

#include <evcode.h>
#include <mmreg.h>
#include <uuids.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "recording_sink.h"
#include "wave_graph.h"

namespace {

constexpr REFERENCE_TIME kSecond = 10000000;
constexpr DWORD kPlayTimeoutMs = 20000;

// A sink made for one test, whose last reference must go with it.
class SinkGraphTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, RecordingSink::Create(L"sink", &sink_)); }
    void TearDown() override {
        graph_.Close();
        if (sink_) {
            EXPECT_EQ(0u, sink_->Release()) << "the sink's references do not balance";
        }
    }
    void Load(const std::string& name) {
        std::string error;
        ASSERT_TRUE(LoadWaveMedia(name, &media_, &error)) << error;
    }
    // Loads, builds the graph and keeps the bytes; no clock unless asked.
    void Open(const std::string& name, bool keep_clock = false) {
        ASSERT_NO_FATAL_FAILURE(Load(name));
        sink_->KeepBytes(true);
        ASSERT_EQ(S_OK, graph_.Open(media_.wav_path, sink_))
            << "Wine 8's WAVE parser is winegstreamer's: without GStreamer's wavparse "
               "(Debian: gstreamer1.0-plugins-good) it cannot connect";
        if (!keep_clock) {
            ASSERT_EQ(S_OK, graph_.DropClock());
        }
    }
    std::vector<SinkEvent> OfKind(SinkEventKind kind) const {
        std::vector<SinkEvent> out;
        for (const SinkEvent& e : sink_->Events())
            if (e.kind == kind) out.push_back(e);
        return out;
    }

    RecordingSink* sink_ = nullptr;
    WaveGraph graph_;
    WaveMedia media_;
};

// Every sample after the last NewSegment, their bytes joined.
std::vector<uint8_t> BytesOfLastSegment(const std::vector<SinkEvent>& events, const std::vector<uint8_t>& log) {
    std::vector<uint8_t> out;
    for (const SinkEvent& e : events) {
        if (e.kind == SinkEventKind::kNewSegment) out.clear();
        if (e.kind == SinkEventKind::kSample)
            out.insert(out.end(), log.begin() + e.byte_offset, log.begin() + e.byte_offset + e.length);
    }
    return out;
}

// --- Every format plays whole ---

class WavePlaybackTest : public SinkGraphTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(WavePlaybackTest, RecordsTheDataChunkInOrderAndCompletes) {
    ASSERT_NO_FATAL_FAILURE(Open(GetParam()));
    ASSERT_TRUE(sink_->IsConnected());

    // The connection's type says what ffprobe says.
    const CMediaType type = sink_->ConnectedType();
    ASSERT_EQ(MEDIATYPE_Audio, type.majortype);
    ASSERT_EQ(FORMAT_WaveFormatEx, type.formattype);
    ASSERT_GE(type.cbFormat, sizeof(WAVEFORMATEX));
    const auto* wfx = reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat);
    EXPECT_EQ(media_.sample_rate, static_cast<int>(wfx->nSamplesPerSec));
    EXPECT_EQ(media_.channels, wfx->nChannels);
    EXPECT_EQ(media_.bits_per_sample, wfx->wBitsPerSample);

    ASSERT_EQ(S_OK, graph_.control->Run());
    ASSERT_TRUE(graph_.WaitForComplete(kPlayTimeoutMs));
    EXPECT_EQ(1, sink_->CompletionsSent());

    // The bytes, in order, are the data chunk.
    const std::vector<uint8_t> bytes = sink_->Bytes();
    EXPECT_EQ(media_.pcm.size(), bytes.size());
    EXPECT_TRUE(bytes == media_.pcm) << "the delivered bytes differ from ffmpeg's data chunk";

    // A new segment from 0, samples, then end of stream; times contiguous, ending
    // at ffprobe's duration.
    const std::vector<SinkEvent> events = sink_->Events();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(SinkEventKind::kNewSegment, events.front().kind);
    EXPECT_EQ(0, events.front().start);
    EXPECT_EQ(SinkEventKind::kEndOfStream, events.back().kind);
    REFERENCE_TIME expected_start = 0;
    int64_t bytes_before = 0;
    for (size_t i = 1; i + 1 < events.size(); ++i) {
        const SinkEvent& e = events[i];
        ASSERT_EQ(SinkEventKind::kSample, e.kind) << "event " << i;
        ASSERT_EQ(S_OK, e.time_result) << "event " << i;
        EXPECT_EQ(bytes_before, static_cast<int64_t>(e.byte_offset));
        EXPECT_EQ(0, e.length % media_.BytesPerFrame()) << "a sample splits a frame";
        EXPECT_NEAR(expected_start, e.start, 1) << "sample " << i;
        EXPECT_LT(e.start, e.stop);
        expected_start = e.stop;
        bytes_before += e.length;
    }
    EXPECT_NEAR(media_.Duration(), expected_start, 1);
}

INSTANTIATE_TEST_SUITE_P(Formats, WavePlaybackTest,
                         ::testing::Values("s16_stereo_44100", "u8_mono_22050", "s24_stereo_48000", "s16_6ch_48000",
                                           "s16_mono_8000"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

// --- As a null sink, and with its own allocator ---

TEST_F(SinkGraphTest, WinesParserDeliversTheSameBytesInTheSinksOwnAllocator) {
    sink_->OfferOwnAllocator(true);
    ASSERT_NO_FATAL_FAILURE(Open("s16_stereo_44100"));
    EXPECT_TRUE(sink_->UsesOwnAllocator()) << "the parser chose another allocator";
    ASSERT_EQ(S_OK, graph_.control->Run());
    ASSERT_TRUE(graph_.WaitForComplete(kPlayTimeoutMs));
    EXPECT_TRUE(sink_->Bytes() == media_.pcm) << "the delivered bytes differ from ffmpeg's data chunk";
}

TEST_F(SinkGraphTest, ANullSinkCountsEverySampleAndRecordsOnlyTheOtherCalls) {
    sink_->RecordSamples(false);
    ASSERT_NO_FATAL_FAILURE(Open("s16_stereo_44100"));
    EXPECT_FALSE(sink_->UsesOwnAllocator());
    const LONGLONG before_run = QpcNow();
    ASSERT_EQ(S_OK, graph_.control->Run());
    ASSERT_TRUE(graph_.WaitForComplete(kPlayTimeoutMs));
    EXPECT_EQ(static_cast<long long>(media_.pcm.size()), sink_->BytesCounted());
    EXPECT_GE(sink_->SamplesCounted(), 1);
    EXPECT_GE(sink_->FirstSampleQpc(), before_run);
    EXPECT_TRUE(OfKind(SinkEventKind::kSample).empty());
    EXPECT_EQ(1u, OfKind(SinkEventKind::kNewSegment).size());
    EXPECT_EQ(1u, OfKind(SinkEventKind::kEndOfStream).size());
    sink_->Clear();
    EXPECT_EQ(0, sink_->SamplesCounted());
    EXPECT_EQ(0, sink_->BytesCounted());
    EXPECT_EQ(0, sink_->FirstSampleQpc());
}

// --- Seeking ---

TEST_F(SinkGraphTest, SeekWhileRunningFlushesAndRestartsAtTheNewPosition) {
    ASSERT_NO_FATAL_FAILURE(Open("s16_stereo_44100"));
    sink_->SetReceiveDelay(10);  // half a second in all: time enough to seek in the middle
    ASSERT_EQ(S_OK, graph_.control->Run());
    ASSERT_TRUE(sink_->WaitForMediaPosition(kSecond / 4, kPlayTimeoutMs));

    LONGLONG target = kSecond;
    ASSERT_EQ(S_OK,
              graph_.seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning));
    ASSERT_TRUE(graph_.WaitForComplete(kPlayTimeoutMs));

    // BeginFlush, EndFlush, then a segment at the new position; nothing between
    // the flushes.
    const std::vector<SinkEvent> events = sink_->Events();
    const auto begin = std::find_if(events.begin(), events.end(),
                                    [](const SinkEvent& e) { return e.kind == SinkEventKind::kBeginFlush; });
    ASSERT_NE(events.end(), begin) << "no BeginFlush";
    ASSERT_LT(begin + 1, events.end());
    EXPECT_EQ(SinkEventKind::kEndFlush, begin[1].kind);
    const auto segment =
        std::find_if(begin, events.end(), [](const SinkEvent& e) { return e.kind == SinkEventKind::kNewSegment; });
    ASSERT_NE(events.end(), segment) << "no NewSegment after the flush";
    EXPECT_EQ(target, segment->start);
    EXPECT_EQ(SinkEventKind::kEndOfStream, events.back().kind);

    // The samples of the new segment start at 0 and carry the file from there.
    const auto first =
        std::find_if(segment, events.end(), [](const SinkEvent& e) { return e.kind == SinkEventKind::kSample; });
    ASSERT_NE(events.end(), first);
    EXPECT_EQ(0, first->start);
    const std::vector<uint8_t> tail(media_.pcm.begin() + media_.ByteOffsetAt(target), media_.pcm.end());
    EXPECT_TRUE(BytesOfLastSegment(events, sink_->Bytes()) == tail);
    EXPECT_EQ(1, sink_->CompletionsSent());
}

TEST_F(SinkGraphTest, StartAndStopSetBeforeRunBoundTheSegment) {
    ASSERT_NO_FATAL_FAILURE(Open("s16_stereo_44100"));
    LONGLONG start = kSecond / 2, stop = 3 * kSecond / 2;
    ASSERT_EQ(S_OK, graph_.seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, &stop,
                                                 AM_SEEKING_AbsolutePositioning));
    ASSERT_EQ(S_OK, graph_.control->Run());
    ASSERT_TRUE(graph_.WaitForComplete(kPlayTimeoutMs));

    const std::vector<SinkEvent> segments = OfKind(SinkEventKind::kNewSegment);
    ASSERT_FALSE(segments.empty());
    EXPECT_EQ(start, segments.back().start);
    EXPECT_EQ(stop, segments.back().stop);
    const std::vector<uint8_t> slice(media_.pcm.begin() + media_.ByteOffsetAt(start),
                                     media_.pcm.begin() + media_.ByteOffsetAt(stop));
    const std::vector<uint8_t> got = BytesOfLastSegment(sink_->Events(), sink_->Bytes());
    EXPECT_EQ(slice.size(), got.size());
    EXPECT_TRUE(got == slice);
}

TEST_F(SinkGraphTest, DurationAndPositionsPassThroughTheSinkToTheParser) {
    ASSERT_NO_FATAL_FAILURE(Open("s16_stereo_44100"));
    ComPtr<IMediaSeeking> upstream;
    ASSERT_EQ(S_OK, graph_.parser_output.QueryTo(IID_IMediaSeeking, &upstream));

    LONGLONG through_sink = 0, from_parser = 0;
    ASSERT_EQ(S_OK, sink_->GetDuration(&through_sink));
    ASSERT_EQ(S_OK, upstream->GetDuration(&from_parser));
    EXPECT_EQ(from_parser, through_sink);
    EXPECT_NEAR(media_.Duration(), through_sink, 1);

    LONGLONG start = kSecond / 3;
    ASSERT_EQ(S_OK, sink_->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning));
    LONGLONG current = -1, stop = -1;
    ASSERT_EQ(S_OK, upstream->GetPositions(&current, &stop));
    EXPECT_EQ(start, current);
    EXPECT_EQ(from_parser, stop);
}

TEST_F(SinkGraphTest, RateSetThroughTheSinkReachesTheSegment) {
    ASSERT_NO_FATAL_FAILURE(Open("u8_mono_22050"));
    ASSERT_EQ(S_OK, sink_->SetRate(2.0));
    double rate = 0;
    ASSERT_EQ(S_OK, sink_->GetRate(&rate));
    EXPECT_EQ(2.0, rate);
    ASSERT_EQ(S_OK, graph_.control->Run());
    ASSERT_TRUE(graph_.WaitForComplete(kPlayTimeoutMs));

    const std::vector<SinkEvent> segments = OfKind(SinkEventKind::kNewSegment);
    ASSERT_FALSE(segments.empty());
    EXPECT_EQ(2.0, segments.back().rate);
    EXPECT_TRUE(sink_->Bytes() == media_.pcm);
}

// --- End of stream and EC_COMPLETE ---

TEST_F(SinkGraphTest, EndOfStreamWhilePausedCompletesOnlyWhenRunComes) {
    ASSERT_NO_FATAL_FAILURE(Open("s16_mono_8000"));
    ASSERT_EQ(S_OK, graph_.control->Pause());
    ASSERT_TRUE(sink_->WaitForEndOfStream(kPlayTimeoutMs));
    long code = 0;
    HRESULT hr;
    do {  // past the graph's own notices, such as EC_CLOCK_CHANGED
        hr = graph_.NextEvent(300, &code);
    } while (hr == S_OK && code != EC_COMPLETE);
    EXPECT_EQ(E_ABORT, hr) << "EC_COMPLETE before Run";
    EXPECT_EQ(0, sink_->CompletionsSent());

    ASSERT_EQ(S_OK, graph_.control->Run());
    EXPECT_TRUE(graph_.WaitForComplete(kPlayTimeoutMs));
    EXPECT_EQ(1, sink_->CompletionsSent());
}

// --- Delivery ---

TEST_F(SinkGraphTest, TheGraphClockPacesDeliveryToTheSampleTimes) {
    ASSERT_NO_FATAL_FAILURE(Open("u8_mono_22050", /*keep_clock=*/true));
    const LONGLONG run_at = QpcNow();
    ASSERT_EQ(S_OK, graph_.control->Run());
    ASSERT_TRUE(graph_.WaitForComplete(kPlayTimeoutMs));
    const double wall = QpcSeconds(QpcNow() - run_at);

    // No sample is taken before its time, so the whole file takes its duration.
    ASSERT_GT(OfKind(SinkEventKind::kSample).size(), 1u);
    EXPECT_GE(wall, 0.9 * media_.Duration() / kSecond);
    EXPECT_TRUE(sink_->Bytes() == media_.pcm);
}

TEST_F(SinkGraphTest, WithoutAClockTheSameFilePlaysFasterThanRealTime) {
    ASSERT_NO_FATAL_FAILURE(Open("s16_stereo_44100"));
    const LONGLONG run_at = QpcNow();
    ASSERT_EQ(S_OK, graph_.control->Run());
    ASSERT_TRUE(graph_.WaitForComplete(kPlayTimeoutMs));
    EXPECT_LT(QpcSeconds(QpcNow() - run_at), 0.75 * media_.Duration() / kSecond);
}

// --- Connection ---

struct MajorTypeCase {
    const char* name;
    const GUID* accepted;
    bool connects;
};

class AcceptedMajorTypeTest : public SinkGraphTest, public ::testing::WithParamInterface<MajorTypeCase> {};

TEST_P(AcceptedMajorTypeTest, OnlyTheAcceptedMajorTypeConnects) {
    ASSERT_NO_FATAL_FAILURE(Load("u8_mono_22050"));
    sink_->AcceptOnlyMajorType(*GetParam().accepted);
    const HRESULT hr = graph_.Open(media_.wav_path, sink_);
    EXPECT_EQ(GetParam().connects, SUCCEEDED(hr)) << std::hex << hr;
    EXPECT_EQ(GetParam().connects, sink_->IsConnected());
    EXPECT_EQ(GetParam().connects, !IsEmptyMediaType(sink_->ConnectedType()));
}

INSTANTIATE_TEST_SUITE_P(Types, AcceptedMajorTypeTest,
                         ::testing::Values(MajorTypeCase{"any", &GUID_NULL, true},
                                           MajorTypeCase{"audio", &MEDIATYPE_Audio, true},
                                           MajorTypeCase{"video", &MEDIATYPE_Video, false}),
                         [](const ::testing::TestParamInfo<MajorTypeCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(SinkGraphTest, ConnectionRulesAndDisconnection) {
    ASSERT_NO_FATAL_FAILURE(Open("u8_mono_22050"));
    IPin* in = sink_->InputPin();
    AM_MEDIA_TYPE mt{};
    ASSERT_EQ(S_OK, in->ConnectionMediaType(&mt));
    FreeMediaType(mt);

    ComPtr<IPin> connected;
    ASSERT_EQ(S_OK, in->ConnectedTo(connected.Receive()));
    EXPECT_EQ(graph_.parser_output.Get(), connected.Get());

    // A second connection, one from an input pin, one while running.
    const ComPtr<IPin> reader_output = FirstPin(graph_.reader.Get(), PINDIR_OUTPUT);
    const CMediaType type = sink_->ConnectedType();
    EXPECT_EQ(VFW_E_ALREADY_CONNECTED, in->ReceiveConnection(reader_output.Get(), &type));
    const ComPtr<IPin> parser_input = FirstPin(graph_.parser.Get(), PINDIR_INPUT);
    EXPECT_EQ(VFW_E_INVALID_DIRECTION, in->ReceiveConnection(parser_input.Get(), &type));
    ASSERT_EQ(S_OK, graph_.control->Pause());
    EXPECT_EQ(VFW_E_NOT_STOPPED, in->Disconnect());
    ASSERT_EQ(S_OK, graph_.control->Stop());

    // Taking the sink out of the graph disconnects it and frees the type.
    ASSERT_EQ(S_OK, graph_.graph->RemoveFilter(sink_));
    EXPECT_FALSE(sink_->IsConnected());
    EXPECT_TRUE(IsEmptyMediaType(sink_->ConnectedType()));
    EXPECT_EQ(VFW_E_NOT_CONNECTED, in->ConnectedTo(connected.Receive()));
    EXPECT_EQ(VFW_E_NOT_CONNECTED, sink_->GetDuration(nullptr));
    EXPECT_EQ(S_FALSE, in->Disconnect());
}

TEST_F(SinkGraphTest, SeekingAnUpstreamPinWithoutIMediaSeekingIsNotImplemented) {
    // File Source (Async)'s output pin serves bytes and has no IMediaSeeking.
    ASSERT_NO_FATAL_FAILURE(Load("u8_mono_22050"));
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                     graph_.graph.ReceiveVoid()));
    ASSERT_EQ(S_OK, graph_.graph.QueryTo(IID_IMediaControl, &graph_.control));
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                     graph_.reader.ReceiveVoid()));
    ASSERT_EQ(S_OK, graph_.graph->AddFilter(graph_.reader.Get(), L"reader"));
    ComPtr<IFileSourceFilter> file;
    ASSERT_EQ(S_OK, graph_.reader.QueryTo(IID_IFileSourceFilter, &file));
    ASSERT_EQ(S_OK, file->Load(media_.wav_path.c_str(), nullptr));
    ASSERT_EQ(S_OK, graph_.graph->AddFilter(sink_, L"sink"));
    const ComPtr<IPin> out = FirstPin(graph_.reader.Get(), PINDIR_OUTPUT);
    ASSERT_EQ(S_OK, graph_.graph->ConnectDirect(out.Get(), sink_->InputPin(), nullptr));
    ComPtr<IMediaSeeking> none;
    ASSERT_EQ(E_NOINTERFACE, out.QueryTo(IID_IMediaSeeking, &none));

    ASSERT_TRUE(sink_->IsConnected());
    EXPECT_EQ(MEDIATYPE_Stream, sink_->ConnectedType().majortype);
    LONGLONG duration = 0;
    EXPECT_EQ(E_NOTIMPL, sink_->GetDuration(&duration));
    EXPECT_EQ(E_NOTIMPL, sink_->SetRate(2.0));
}

// --- Snapshots while streaming ---

TEST_F(SinkGraphTest, SnapshotsTakenWhileStreamingAreEachAPrefixOfTheNext) {
    ASSERT_NO_FATAL_FAILURE(Open("s16_stereo_44100"));
    std::atomic<bool> done{false};
    std::atomic<int> broken{0}, snapshots{0};
    std::thread watcher([&] {
        std::vector<SinkEvent> previous;
        while (!done) {
            const std::vector<SinkEvent> now = sink_->Events();
            const std::vector<uint8_t> bytes = sink_->Bytes();
            bool prefix = now.size() >= previous.size();
            for (size_t i = 0; prefix && i < previous.size(); ++i)
                prefix = now[i].kind == previous[i].kind && now[i].hash == previous[i].hash &&
                         now[i].arrival_qpc == previous[i].arrival_qpc;
            for (const SinkEvent& e : now)
                if (e.kind == SinkEventKind::kSample && e.byte_offset + e.length > bytes.size()) prefix = false;
            if (!prefix) ++broken;
            ++snapshots;
            previous = now;
        }
    });
    const HRESULT run = graph_.control->Run();
    const bool completed = graph_.WaitForComplete(kPlayTimeoutMs);
    done = true;
    watcher.join();
    ASSERT_EQ(S_OK, run);
    ASSERT_TRUE(completed);
    EXPECT_EQ(0, broken.load());
    EXPECT_GT(snapshots.load(), 1);
    EXPECT_TRUE(sink_->Bytes() == media_.pcm);
}

}  // namespace
