// Positions, stops and rates set through the graph manager (rates through a
// renderer's IMediaSeeking, the way they travel upstream) restart the PCM pin
// where ffmpeg's reference says the data lies.
#include <gtest/gtest.h>

#include <algorithm>

#include "test_graph.h"
#include "pcm_reference.h"

namespace {

constexpr char kFile[] = "twos16_stereo_44100";
constexpr REFERENCE_TIME kSecond = 10000000;

// The frame that holds the instant just before `position`: where a start at
// `position` begins delivering.
int64_t FrameBefore(const PcmReference& reference, REFERENCE_TIME position) {
    int64_t frame = 0;
    while (frame + 1 < reference.Frames() && reference.FrameTime(frame + 1) < position) ++frame;
    return frame;
}

std::vector<uint8_t> BytesFrom(const PcmReference& reference, int64_t frame) {
    return std::vector<uint8_t>(reference.bytes.begin() + frame * reference.BlockAlign(), reference.bytes.end());
}

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

TEST_F(Seeking, StartPositionDeliversFromTheFrameBeforeItWithANewSegmentAndDiscontinuity) {
    const REFERENCE_TIME start = 25 * kSecond / 10;
    LONGLONG position = start;
    ASSERT_EQ(
        graph_.Seeking()->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning),
        S_OK);
    ASSERT_EQ(graph_.RunToCompletion(), S_OK);
    std::vector<SinkEvent> events = sink_->Events();
    std::vector<SinkEvent> segments = EventsOfKind(events, SinkEventKind::kNewSegment);
    ASSERT_FALSE(segments.empty());
    EXPECT_EQ(segments.back().start, start);
    std::vector<SinkEvent> samples = EventsOfKind(events, SinkEventKind::kSample);
    ASSERT_FALSE(samples.empty());
    const SinkEvent& first = samples.front();
    EXPECT_TRUE(first.discontinuity);
    EXPECT_LE(first.start, 0) << "the first buffer starts at or before the segment start";
    int64_t frame = FrameBefore(reference_, start);
    EXPECT_NEAR(static_cast<double>(first.media_start), static_cast<double>(reference_.FrameTime(frame)), 1.0);
    EXPECT_EQ(first.media_start, first.start + start);
    EXPECT_TRUE(sink_->Bytes() == BytesFrom(reference_, frame));
    EXPECT_EQ(events.back().kind, SinkEventKind::kEndOfStream);
}

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
        FilterGraph graph;
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

TEST_F(Seeking, SeekWhileRunningFlushesAndRestartsAtTheNewPosition) {
    sink_->SetReceiveDelay(5);  // keep the stream going long enough to seek into it
    ASSERT_EQ(graph_.Control()->Run(), S_OK);
    ASSERT_TRUE(sink_->WaitForMediaPosition(1 * kSecond, 10000));
    const REFERENCE_TIME target = kSecond / 2;
    LONGLONG position = target;
    ASSERT_EQ(
        graph_.Seeking()->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning),
        S_OK);
    ASSERT_EQ(graph_.WaitForCompletion(30000), S_OK);

    std::vector<SinkEvent> events = sink_->Events();
    auto end_flush = std::find_if(events.rbegin(), events.rend(),
                                  [](const SinkEvent& e) { return e.kind == SinkEventKind::kEndFlush; });
    ASSERT_NE(end_flush, events.rend()) << "the seek flushed downstream";
    auto after = end_flush.base();  // the first event after the last EndFlush
    ASSERT_NE(after, events.end());
    EXPECT_EQ(after->kind, SinkEventKind::kNewSegment);
    EXPECT_EQ(after->start, target);
    auto first = std::find_if(after, events.end(), [](const SinkEvent& e) { return e.kind == SinkEventKind::kSample; });
    ASSERT_NE(first, events.end());
    EXPECT_TRUE(first->discontinuity);
    EXPECT_EQ(std::count_if(first + 1, events.end(), [](const SinkEvent& e) { return e.discontinuity; }), 0);
    EXPECT_EQ(events.back().kind, SinkEventKind::kEndOfStream);

    std::vector<uint8_t> all = sink_->Bytes();
    std::vector<uint8_t> since_seek(all.begin() + static_cast<std::ptrdiff_t>(first->byte_offset), all.end());
    EXPECT_TRUE(since_seek == BytesFrom(reference_, FrameBefore(reference_, target)));
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

}  // namespace
