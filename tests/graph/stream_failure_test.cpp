// How a stream ends when the file or downstream fails, and that stopping and
// running again starts the data over.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <string>

#include "test_graph.h"

#include <evcode.h>
#include "pcm_reference.h"

namespace {

constexpr char kFile[] = "twos16_stereo_44100";

TEST(StreamFailure, AnUnreadableSampleEndsTheStreamAndAbortsTheGraph) {
    // The first chunk offset (after stco's version, flags and count) far past the end of the file.
    const std::string path =
        PatchedCopy(PcmMedia(std::string(kFile) + ".mov"), "chunk_past_end.mov", "stco", 12, {0x70});
    ASSERT_FALSE(path.empty());
    TestGraph graph;
    ASSERT_EQ(graph.Open(path), S_OK);
    ASSERT_EQ(graph.Control()->Run(), S_OK);
    LONG_PTR error = 0;
    ASSERT_EQ(graph.WaitForEvent(EC_ERRORABORT, 5000, &error), S_OK);
    EXPECT_EQ(static_cast<HRESULT>(error), E_FAIL);
    ASSERT_TRUE(graph.Sink()->WaitForEndOfStream(5000));
    std::vector<SinkEvent> events = graph.Sink()->Events();
    EXPECT_EQ(EventsOfKind(events, SinkEventKind::kSample).size(), 0u);
    EXPECT_EQ(EventsOfKind(events, SinkEventKind::kEndOfStream).size(), 1u);
}

TEST(StreamFailure, DownstreamRefusingASampleStopsTheStreamQuietly) {
    TestGraph graph;
    ASSERT_EQ(graph.Open(PcmMedia(std::string(kFile) + ".mov")), S_OK);
    graph.Sink()->SetReceiveResult(E_FAIL);
    ASSERT_EQ(graph.Control()->Run(), S_OK);
    EXPECT_EQ(graph.WaitForCompletion(1000), E_ABORT) << "no completion and no abort";
    std::vector<SinkEvent> events = graph.Sink()->Events();
    EXPECT_EQ(EventsOfKind(events, SinkEventKind::kSample).size(), 1u);
    EXPECT_EQ(EventsOfKind(events, SinkEventKind::kEndOfStream).size(), 0u);
    EXPECT_EQ(graph.Stop(), S_OK);
}

// A renderer may call back into the source from the streaming thread that
// delivers the end of stream; a Stop meanwhile must still end.
TEST(StreamFailure, StopEndsWhileDownstreamCallsBackAtEndOfStream) {
    TestGraph graph;
    ASSERT_EQ(graph.Open(PcmMedia(std::string(kFile) + ".mov")), S_OK);
    graph.Sink()->AskStopPositionAtEndOfStream(500);
    ASSERT_EQ(graph.Control()->Run(), S_OK);
    ASSERT_TRUE(graph.Sink()->WaitForEndOfStream(10000));
    std::future<HRESULT> stopped = std::async(std::launch::async, [&graph] { return graph.Stop(); });
    if (stopped.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "Stop did not return: the filter deadlocked with its streaming thread";
        std::fflush(stdout);
        TerminateProcess(GetCurrentProcess(), 3);
    }
    EXPECT_EQ(stopped.get(), S_OK);
}

// The pin delivers while paused; the graph completes only once it runs. Each run after a stop starts the data over.
TEST(StreamFailure, AStreamThatEndsWhilePausedCompletesOnRunAndEachRunAfterAStopDeliversTheWholeTrack) {
    PcmReference reference = PcmReference::Load(kFile);
    TestGraph graph;
    ASSERT_EQ(graph.Open(PcmMedia(std::string(kFile) + ".mov")), S_OK);
    ASSERT_TRUE(SUCCEEDED(graph.Control()->Pause()));
    ASSERT_TRUE(graph.Sink()->WaitForEndOfStream(10000));
    EXPECT_EQ(graph.WaitForCompletion(300), E_ABORT) << "EC_COMPLETE while paused";
    ASSERT_EQ(graph.Control()->Run(), S_OK);
    for (int run = 0; run < 4; ++run) {
        SCOPED_TRACE(run);
        if (run > 0) graph.Sink()->Clear();
        ASSERT_EQ(run == 0 ? graph.WaitForCompletion(5000) : graph.RunToCompletion(), S_OK);
        EXPECT_TRUE(graph.Sink()->Bytes() == reference.bytes);
        EXPECT_TRUE(graph.Sink()->Events().front().kind == SinkEventKind::kNewSegment);
        ASSERT_EQ(graph.Stop(), S_OK);
    }
}

}  // namespace
