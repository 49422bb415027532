// The pins' rules that no row of the pin table can express: stops, starts below one frame and rates on the PCM
// pin, and the seeking answers; AMR samples that last no time; the HEVC records refused at connection.
#include <gtest/gtest.h>

#include <algorithm>

#include "hvcc_units.h"
#include "pcm_reference.h"
#include "stream_packets.h"
#include "test_graph.h"

namespace {

constexpr REFERENCE_TIME kSecond = 10000000;

// ---- PCM: stops, starts below one frame, rates, seeking answers ----

constexpr char kFile[] = "twos16_stereo_44100";

class Seeking : public ::testing::Test {
protected:
    void SetUp() override {
        reference_ = PcmReference::Load(kFile);
        ASSERT_EQ(graph_.Open(PcmMedia(std::string(kFile) + ".mov")), S_OK);
        ASSERT_EQ(graph_.Pins().size(), 1u);
        sink_ = graph_.Sink();
    }

    PcmReference reference_;
    TestGraph graph_;
    RecordingSink* sink_ = nullptr;
};

TEST_F(Seeking, StopPositionEndsWithTheLastFrameBeforeIt) {
    LONGLONG start = 0, stop = 1 * kSecond;
    ASSERT_EQ(
        graph_.Seeking()->SetPositions(&start, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_AbsolutePositioning),
        S_OK);
    LONGLONG reported = 0;
    ASSERT_EQ(graph_.Seeking()->GetStopPosition(&reported), S_OK);
    EXPECT_EQ(reported, stop);
    ASSERT_EQ(graph_.RunToCompletion(), S_OK);
    std::vector<SinkEvent> samples = EventsOfKind(sink_->Events(), SinkEventKind::kSample);
    // Every frame that starts before the stop, none after: the last buffer is cut at it.
    int64_t frames = 0;
    while (reference_.FrameTime(frames) < stop) ++frames;
    ASSERT_EQ(samples.size(), static_cast<size_t>((frames + kFramesPerBuffer - 1) / kFramesPerBuffer));
    EXPECT_EQ(samples.back().stop, reference_.FrameTime(frames));
    EXPECT_TRUE(sink_->Bytes() == std::vector<uint8_t>(reference_.bytes.begin(),
                                                       reference_.bytes.begin() + frames * reference_.BlockAlign()));
    EXPECT_EQ(sink_->Events().back().kind, SinkEventKind::kEndOfStream);
}

// A start before the first frame's end that no frame holds the instant
// before: delivery begins with the first frame, stamped where it lies from
// the segment start, which the track's units cannot express.
TEST_F(Seeking, StartsBelowOneFrameOrNegativeBeginWithTheFirstFrameStampedFromTheStart) {
    for (REFERENCE_TIME start : {REFERENCE_TIME{100}, -kSecond / 2}) {
        SCOPED_TRACE(start);
        TestGraph graph;
        ASSERT_EQ(graph.Open(PcmMedia(std::string(kFile) + ".mov")), S_OK);
        LONGLONG position = start;
        ASSERT_EQ(
            graph.Seeking()->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning),
            S_OK);
        ASSERT_EQ(graph.RunToCompletion(), S_OK);
        std::vector<SinkEvent> samples = EventsOfKind(graph.Sink()->Events(), SinkEventKind::kSample);
        ASSERT_FALSE(samples.empty());
        EXPECT_EQ(samples.front().start, -start);
        EXPECT_EQ(samples.front().media_start, 0);
        EXPECT_TRUE(graph.Sink()->Bytes() == reference_.bytes);
    }
}

TEST_F(Seeking, RateTwoHalvesTheStampsButNotTheData) {
    ASSERT_EQ(sink_->SetRate(2.0), S_OK);
    double rate = 0;
    ASSERT_EQ(sink_->GetRate(&rate), S_OK);
    EXPECT_EQ(rate, 2.0);
    ASSERT_EQ(graph_.RunToCompletion(), S_OK);
    std::vector<SinkEvent> events = sink_->Events();
    std::vector<SinkEvent> segments = EventsOfKind(events, SinkEventKind::kNewSegment);
    ASSERT_FALSE(segments.empty());
    EXPECT_EQ(segments.back().rate, 2.0);
    std::vector<SinkEvent> samples = EventsOfKind(events, SinkEventKind::kSample);
    ASSERT_FALSE(samples.empty());
    for (size_t k = 0; k < samples.size(); ++k) {
        int64_t first = static_cast<int64_t>(k) * kFramesPerBuffer;
        int64_t end = std::min(first + kFramesPerBuffer, reference_.Frames());
        SCOPED_TRACE("buffer " + std::to_string(k));
        EXPECT_EQ(samples[k].start, reference_.FrameTime(first) / 2);
        EXPECT_EQ(samples[k].stop, reference_.FrameTime(end) / 2);
        EXPECT_EQ(samples[k].media_start, samples[k].start);
    }
    EXPECT_TRUE(sink_->Bytes() == reference_.bytes);
}

TEST_F(Seeking, RatesOfZeroOrBelowAreRefusedAndLeaveRateOne) {
    for (double bad : {0.0, -1.0}) {
        SCOPED_TRACE(bad);
        ASSERT_EQ(sink_->SetRate(2.0), S_OK);
        EXPECT_EQ(sink_->SetRate(bad), E_FAIL);
        double rate = 0;
        ASSERT_EQ(sink_->GetRate(&rate), S_OK);
        EXPECT_EQ(rate, 1.0);
    }
}

TEST_F(Seeking, GraphQueriesAnswerFromThePin) {
    const LONGLONG duration = reference_.FrameTime(reference_.Frames());
    LONGLONG value = 0;
    ASSERT_EQ(graph_.Seeking()->GetDuration(&value), S_OK);
    EXPECT_EQ(value, duration);
    ASSERT_EQ(graph_.Seeking()->GetStopPosition(&value), S_OK);
    EXPECT_EQ(value, duration);
    LONGLONG current = -1, stop = -1;
    ASSERT_EQ(sink_->GetPositions(&current, &stop), S_OK);
    EXPECT_EQ(current, 0);
    EXPECT_EQ(stop, duration);
    LONGLONG earliest = -1, latest = -1;
    ASSERT_EQ(sink_->GetAvailable(&earliest, &latest), S_OK);
    EXPECT_EQ(earliest, 0);
    EXPECT_EQ(latest, duration);
    double rate = 0;
    ASSERT_EQ(graph_.Seeking()->GetRate(&rate), S_OK);
    EXPECT_EQ(rate, 1.0);
    DWORD capabilities = 0;
    ASSERT_EQ(sink_->GetCapabilities(&capabilities), S_OK);
    EXPECT_EQ(capabilities,
              static_cast<DWORD>(AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards | AM_SEEKING_CanSeekBackwards |
                                 AM_SEEKING_CanGetStopPos | AM_SEEKING_CanGetDuration));
    capabilities = 0;
    ASSERT_EQ(graph_.Seeking()->GetCapabilities(&capabilities), S_OK);
    EXPECT_NE(capabilities & AM_SEEKING_CanSeekAbsolute, 0u);

    LONGLONG converted = 0;
    EXPECT_EQ(sink_->ConvertTimeFormat(&converted, nullptr, 1234, nullptr), S_OK);
    EXPECT_EQ(converted, 1234);
    EXPECT_EQ(sink_->ConvertTimeFormat(&converted, &TIME_FORMAT_MEDIA_TIME, 77, &TIME_FORMAT_MEDIA_TIME), S_OK);
    EXPECT_EQ(converted, 77);
    EXPECT_EQ(sink_->ConvertTimeFormat(&converted, &TIME_FORMAT_FRAME, 5, nullptr), E_INVALIDARG);
    EXPECT_EQ(sink_->ConvertTimeFormat(&converted, nullptr, 5, &TIME_FORMAT_SAMPLE), E_INVALIDARG);
    EXPECT_EQ(sink_->ConvertTimeFormat(nullptr, nullptr, 5, nullptr), E_POINTER);
    EXPECT_EQ(sink_->IsFormatSupported(&TIME_FORMAT_MEDIA_TIME), S_OK);
    EXPECT_EQ(sink_->IsFormatSupported(&TIME_FORMAT_FRAME), S_FALSE);
    EXPECT_EQ(sink_->SetTimeFormat(&TIME_FORMAT_FRAME), E_INVALIDARG);
    EXPECT_EQ(sink_->GetCurrentPosition(&value), E_NOTIMPL);
    EXPECT_EQ(sink_->GetPreroll(&value), S_OK);
    EXPECT_EQ(value, 0);
}

// ---- AMR ----

// The pin walks the samples in order, so samples that last no time are delivered too, each once, all at 0: the
// stream ends after the last one rather than repeating its first sample for ever.
TEST(AmrStream, ATrackOfSamplesWithoutDurationPlaysEachOnce) {
    // The delta of the file's one run of equal durations set to 0.
    const std::string path = PatchedCopy(CorpusFile("amrnb.3gp"), "no_duration_amrnb.3gp", "stts", 16, {0, 0, 0, 0});
    ASSERT_FALSE(path.empty());
    TestGraph graph;
    ASSERT_EQ(graph.Open(path), S_OK);
    ASSERT_EQ(graph.RunToCompletion(5000), S_OK);
    ASSERT_TRUE(graph.Sink()->WaitForEndOfStream(5000));
    std::vector<SinkEvent> events = graph.Sink()->Events();
    std::vector<SinkEvent> samples = EventsOfKind(events, SinkEventKind::kSample);
    EXPECT_EQ(samples.size(), LoadStreamPacketsOf(CorpusFile("amrnb.3gp"))[0].packets.size());
    EXPECT_TRUE(
        std::all_of(samples.begin(), samples.end(), [](const SinkEvent& e) { return e.start == 0 && e.stop == 0; }));
    EXPECT_EQ(EventsOfKind(events, SinkEventKind::kEndOfStream).size(), 1u);
    LONGLONG duration = -1;
    ASSERT_EQ(graph.Seeking()->GetDuration(&duration), S_OK);
    EXPECT_EQ(duration, 0) << "the sum of the durations, not the media header's 5 s";
}

// ---- HEVC ----

constexpr size_t kVideo = 0;
constexpr char kHevcFile[] = "hevc_hvc1_sar1011_gop10.mp4";

// The offset in the hvcC body of the SPS array's type byte (0 if none).
size_t SpsArrayType(const std::vector<uint8_t>& hvcc) {
    for (const HvccUnit& unit : HvccUnits(hvcc))
        if (unit.type == 33) return unit.array_at;
    return 0;
}
size_t LengthSizeByte(const std::vector<uint8_t>&) { return 21; }

struct Refusal {
    const char* what;
    size_t (*offset)(const std::vector<uint8_t>& hvcc);
    uint8_t mask, value;
};

class HevcRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(HevcRefusal, TheVideoPinIsRefusedAtConnection) {
    const Refusal& r = GetParam();
    std::vector<uint8_t> file = ReadWholeFile(FixtureFile("KELO_AV_MEDIA", kHevcFile));
    size_t at = 0;
    const std::vector<uint8_t> hvcc = BoxBody(file, "hvcC", &at);
    ASSERT_GT(hvcc.size(), 23u);
    const size_t offset = r.offset(hvcc);
    ASSERT_NE(offset, 0u);
    file[at + offset] = static_cast<uint8_t>((file[at + offset] & ~r.mask) | r.value);
    const std::string path = ScratchFile(std::string("hevc_refused_") + std::to_string(offset) + ".mp4");
    ASSERT_TRUE(WriteWholeFile(path, file));
    TestGraph graph;
    ASSERT_EQ(graph.Load(path), S_OK) << "the pin is made; the record is judged at connection";
    EXPECT_TRUE(FAILED(graph.ConnectSinks()));
    ASSERT_FALSE(graph.Pins().empty());
    EXPECT_EQ(graph.Pins()[kVideo].name, L"HEVC Video");
    EXPECT_FALSE(graph.Sink(kVideo)->IsConnected());
}

INSTANTIATE_TEST_SUITE_P(Records, HevcRefusal,
                         ::testing::Values(Refusal{"NAL length size 3", LengthSizeByte, 0x03, 0x02},
                                           // The SPS array becomes one of SEI units (type 39).
                                           Refusal{"no SPS", SpsArrayType, 0x3F, 39}));

}  // namespace
