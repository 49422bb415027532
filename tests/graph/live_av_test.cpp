// Both pins streaming at once while the graph acts on them: seeks under way
// (each reaching the filter once per renderer) and the interleave gate
// holding the pin that runs ahead.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "test_graph.h"

namespace {

constexpr REFERENCE_TIME kSecond = 10000000;
constexpr size_t kVideo = 0, kAudio = 1;

std::string AvMedia(const std::string& name) {
    const char* folder = std::getenv("KELO_AV_MEDIA");
    return std::string(folder ? folder : "") + "/" + name;
}

// The events after the last EndFlush of a sink.
std::vector<SinkEvent> SinceLastFlush(RecordingSink* sink) {
    std::vector<SinkEvent> events = sink->Events();
    auto last = std::find_if(events.rbegin(), events.rend(),
                             [](const SinkEvent& e) { return e.kind == SinkEventKind::kEndFlush; });
    return std::vector<SinkEvent>(last.base(), events.end());
}

class LiveAv : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(graph_.Open(AvMedia("av_12s.mp4")), S_OK);
        ASSERT_EQ(graph_.Pins().size(), 2u);
    }
    HRESULT SeekTo(REFERENCE_TIME target) {
        LONGLONG position = target;
        return graph_.Seeking()->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                              AM_SEEKING_NoPositioning);
    }
    TestGraph graph_;
};

TEST_F(LiveAv, SeeksWhileBothPinsRunRestartBothWhereTheTimeIs) {
    graph_.Sink(kVideo)->SetReceiveDelay(2);
    graph_.Sink(kAudio)->SetReceiveDelay(2);
    ASSERT_EQ(graph_.Control()->Run(), S_OK);
    for (REFERENCE_TIME target : {63 * kSecond / 10, 17 * kSecond / 10, 91 * kSecond / 10}) {
        SCOPED_TRACE(target);
        ASSERT_TRUE(graph_.Sink(kAudio)->WaitForMediaPosition(kSecond / 2, 20000));
        ASSERT_EQ(SeekTo(target), S_OK);
        for (size_t pin : {kVideo, kAudio}) {
            SCOPED_TRACE(pin);
            ASSERT_TRUE(graph_.Sink(pin)->WaitForMediaPosition(target + kSecond / 2, 20000))
                << "the pin delivers after the seek";
            std::vector<SinkEvent> since = SinceLastFlush(graph_.Sink(pin));
            ASSERT_FALSE(since.empty());
            ASSERT_EQ(since.front().kind, SinkEventKind::kNewSegment);
            if (pin == kAudio)
                EXPECT_EQ(since.front().start, target);
            else
                EXPECT_LE(since.front().start, target) << "video starts at the sample holding the time";
            auto first = std::find_if(since.begin(), since.end(),
                                      [](const SinkEvent& e) { return e.kind == SinkEventKind::kSample; });
            ASSERT_NE(first, since.end());
            EXPECT_TRUE(first->discontinuity);
            EXPECT_LE(first->start, 0) << "the first buffer starts at or before the segment start";
        }
    }
    ASSERT_EQ(graph_.WaitForCompletion(60000), S_OK);
    EXPECT_TRUE(graph_.Sink(kVideo)->WaitForEndOfStream(5000));
    EXPECT_TRUE(graph_.Sink(kAudio)->WaitForEndOfStream(5000));
}

// The video renderer is slow; audio, left alone, would reach its end first.
TEST_F(LiveAv, TheGateKeepsAudioWithinFiveSecondsOfASlowVideo) {
    graph_.Sink(kVideo)->SetReceiveDelay(8);
    ASSERT_EQ(graph_.RunToCompletion(60000), S_OK);
    ASSERT_TRUE(graph_.Sink(kVideo)->WaitForEndOfStream(5000));
    ASSERT_TRUE(graph_.Sink(kAudio)->WaitForEndOfStream(5000));

    struct Arrival {
        LONGLONG when;
        size_t pin;
        REFERENCE_TIME stop;
    };
    std::vector<Arrival> arrivals;
    for (size_t pin : {kVideo, kAudio})
        for (const SinkEvent& e : EventsOfKind(graph_.Sink(pin)->Events(), SinkEventKind::kSample))
            arrivals.push_back({e.arrival_qpc, pin, e.stop});
    std::sort(arrivals.begin(), arrivals.end(), [](const Arrival& a, const Arrival& b) { return a.when < b.when; });

    // Until video has delivered twice it has told the gate no time, and the
    // gate holds no one (a partner at time 0 never holds); from then on audio
    // stays within five seconds plus one sample of the video delivered so far.
    // Video stamps carry composition offsets: allow a few frames for them.
    const REFERENCE_TIME allowed = 5 * kSecond + kSecond / 2;
    REFERENCE_TIME video = 0, worst = 0;
    int video_samples = 0;
    size_t audio_checked = 0;
    for (const Arrival& a : arrivals) {
        if (a.pin == kVideo) {
            video = std::max(video, a.stop);
            ++video_samples;
        } else if (video_samples >= 2) {
            worst = std::max(worst, a.stop - video);
            ++audio_checked;
        }
    }
    EXPECT_GT(audio_checked, 100u);
    EXPECT_LE(worst, allowed) << "audio ran " << worst << " ahead of video";
    EXPECT_GE(worst, 4 * kSecond) << "the slow video should have let audio run to the gate";
}

}  // namespace
