// Both pins streaming at once: the interleave gate holding the pin that runs ahead. (kelo-stress checks seeks while
// both pins run, each reaching the filter once per renderer.)
#include <gtest/gtest.h>

#include <algorithm>

#include "test_graph.h"

namespace {

constexpr REFERENCE_TIME kSecond = 10000000;
constexpr size_t kVideo = 0, kAudio = 1;

// The video renderer is slow; audio, left alone, would reach its end first.
TEST(LiveAv, TheGateKeepsAudioWithinFiveSecondsOfASlowVideo) {
    TestGraph graph;
    ASSERT_EQ(graph.Open(FixtureFile("KELO_AV_MEDIA", "av_12s.mp4")), S_OK);
    ASSERT_EQ(graph.Pins().size(), 2u);
    graph.Sink(kVideo)->SetReceiveDelay(8);
    ASSERT_EQ(graph.RunToCompletion(60000), S_OK);
    ASSERT_TRUE(graph.Sink(kVideo)->WaitForEndOfStream(5000));
    ASSERT_TRUE(graph.Sink(kAudio)->WaitForEndOfStream(5000));

    struct Arrival {
        LONGLONG when;
        size_t pin;
        REFERENCE_TIME stop;
    };
    std::vector<Arrival> arrivals;
    for (size_t pin : {kVideo, kAudio})
        for (const SinkEvent& e : EventsOfKind(graph.Sink(pin)->Events(), SinkEventKind::kSample))
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
