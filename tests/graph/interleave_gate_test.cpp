// The interleave gate with two fake streams on two threads: who waits, for
// how long, and what ends a wait.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "interleave_gate.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr REFERENCE_TIME kLead = InterleaveGate::kMaxLead;

class FakeStream : public CBaseStream {
public:
    bool IsStopRequested() override { return stop_requested; }
    std::atomic<bool> stop_requested{false};
};

StreamSide Partner(StreamSide side) { return side == StreamSide::Video ? StreamSide::Audio : StreamSide::Video; }

struct Paced {
    std::future<bool> result;
    // True when the call returned within `within`.
    bool ReturnsWithin(milliseconds within) { return result.wait_for(within) == std::future_status::ready; }
};

Paced PaceOnAThread(InterleaveGate& gate, StreamSide side, REFERENCE_TIME time, FakeStream& stream) {
    return Paced{
        std::async(std::launch::async, [&gate, side, time, &stream] { return gate.Pace(side, time, &stream); })};
}

class Gate : public ::testing::TestWithParam<StreamSide> {
protected:
    void SetUp() override {
        gate_.SetActive(StreamSide::Video, true);
        gate_.SetActive(StreamSide::Audio, true);
        // The partner has delivered up to one second.
        ASSERT_FALSE(gate_.Pace(Partner(Me()), kPartnerTime, &partner_));
    }
    StreamSide Me() const { return GetParam(); }

    static constexpr REFERENCE_TIME kPartnerTime = 10000000;
    InterleaveGate gate_;
    FakeStream me_, partner_;
};

TEST_P(Gate, MoreThanFiveSecondsAheadWaitsUntilThePartnerCatchesUp) {
    Paced paced = PaceOnAThread(gate_, Me(), kPartnerTime + kLead + 1, me_);
    EXPECT_FALSE(paced.ReturnsWithin(milliseconds(1500))) << "still waiting past one wait period";
    EXPECT_FALSE(gate_.Pace(Partner(Me()), kPartnerTime + 1, &partner_));
    ASSERT_TRUE(paced.ReturnsWithin(milliseconds(500)));
    EXPECT_FALSE(paced.result.get());
}

// Who goes on at once: a stream exactly five seconds ahead, and any stream whose partner has delivered nothing (a
// restart sets its time to 0 again) or has ended.
TEST_P(Gate, NoOneWaitsAtTheLimitOrForAPartnerWithoutTime) {
    const struct {
        const char* why;
        REFERENCE_TIME time;
        void (*partner)(InterleaveGate& gate, StreamSide side);
    } rows[] = {
        {"exactly five seconds ahead", kPartnerTime + kLead, [](InterleaveGate&, StreamSide) {}},
        {"a partner that delivered nothing", 100 * kLead,
         [](InterleaveGate& gate, StreamSide side) { gate.SetActive(side, true); }},
        {"an ended partner", 100 * kLead, [](InterleaveGate& gate, StreamSide side) { gate.SetEnded(side); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        ASSERT_FALSE(gate_.Pace(Partner(Me()), kPartnerTime, &partner_));
        row.partner(gate_, Partner(Me()));
        Paced paced = PaceOnAThread(gate_, Me(), row.time, me_);
        ASSERT_TRUE(paced.ReturnsWithin(milliseconds(200)));
        EXPECT_FALSE(paced.result.get());
        gate_.SetActive(Partner(Me()), true);
    }
}

TEST_P(Gate, AStopRequestEndsTheWaitWithinOnePeriod) {
    Paced paced = PaceOnAThread(gate_, Me(), 100 * kLead, me_);
    EXPECT_FALSE(paced.ReturnsWithin(milliseconds(300)));
    me_.stop_requested = true;
    ASSERT_TRUE(paced.ReturnsWithin(milliseconds(InterleaveGate::kWaitMilliseconds + 500)));
    EXPECT_FALSE(paced.result.get());
}

TEST_P(Gate, ASeekReleasesTheWaitAtOnce) {
    Paced paced = PaceOnAThread(gate_, Me(), 100 * kLead, me_);
    EXPECT_FALSE(paced.ReturnsWithin(milliseconds(300)));
    gate_.ReleasePacing();
    ASSERT_TRUE(paced.ReturnsWithin(milliseconds(200)));
    EXPECT_FALSE(paced.result.get());
    gate_.ClearAfterSeek();
    Paced again = PaceOnAThread(gate_, Me(), 100 * kLead, me_);
    EXPECT_FALSE(again.ReturnsWithin(milliseconds(300))) << "after the seek the gate holds again";
    gate_.SetActive(Partner(Me()), false);  // the partner's thread ends: the waiter must end its stream
    ASSERT_TRUE(again.ReturnsWithin(milliseconds(200)));
    EXPECT_TRUE(again.result.get());
}

INSTANTIATE_TEST_SUITE_P(BothSides, Gate, ::testing::Values(StreamSide::Audio, StreamSide::Video),
                         [](const ::testing::TestParamInfo<StreamSide>& info) {
                             return info.param == StreamSide::Audio ? "Audio" : "Video";
                         });

}  // namespace
