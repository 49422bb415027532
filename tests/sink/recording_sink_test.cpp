// The recording sink on its own: what it answers as a filter and a pin, and
// how it records, driven directly with samples from Wine's own memory
// allocator. (sink_graph_test.cpp runs it in Wine's filter graph.)
#include <windows.h>

#include <gtest/gtest.h>

#include <control.h>
#include <evcode.h>
#include <uuids.h>

#include <chrono>
#include <cstring>
#include <future>
#include <functional>
#include <string>

#include "fnv1a.h"
#include "recording_sink.h"
#include "wave_graph.h"

namespace {

// --- The hash ---

struct HashCase {
    const char* text;
    uint64_t hash;  // published FNV-1a 64-bit test vectors
};

class Fnv1aTest : public ::testing::TestWithParam<HashCase> {};

TEST_P(Fnv1aTest, MatchesThePublishedVector) {
    const std::string text = GetParam().text;
    EXPECT_EQ(GetParam().hash, Fnv1a(text.data(), text.size()));
    // Hashing in two parts gives the same.
    const size_t half = text.size() / 2;
    EXPECT_EQ(GetParam().hash, Fnv1a(text.data() + half, text.size() - half, Fnv1a(text.data(), half)));
}

INSTANTIATE_TEST_SUITE_P(Vectors, Fnv1aTest,
                         ::testing::Values(HashCase{"", 0xcbf29ce484222325ull}, HashCase{"a", 0xaf63dc4c8601ec8cull},
                                           HashCase{"foobar", 0x85944171f73967e8ull}));

// --- A sink with a pin and an allocator of Wine's ---

class SinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, RecordingSink::Create(L"sink", &sink_));
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                         allocator_.ReceiveVoid()));
        ALLOCATOR_PROPERTIES want{8, 64, 1, 0}, got{};  // more than any test holds at once
        ASSERT_EQ(S_OK, allocator_->SetProperties(&want, &got));
        ASSERT_EQ(S_OK, allocator_->Commit());
        ASSERT_EQ(S_OK, sink_->InputPin()->QueryInterface(IID_IMemInputPin, input_.ReceiveVoid()));
    }
    void TearDown() override {
        input_.Reset();
        if (allocator_) allocator_->Decommit();
        allocator_.Reset();
        if (sink_) {
            EXPECT_EQ(0u, sink_->Release()) << "the sink's references do not balance";
        }
    }
    // A sample holding `text`, with times [start, stop) unless start < 0.
    ComPtr<IMediaSample> Sample(const std::string& text, REFERENCE_TIME start = 0, REFERENCE_TIME stop = 10) {
        ComPtr<IMediaSample> sample;
        EXPECT_EQ(S_OK, allocator_->GetBuffer(sample.Receive(), nullptr, nullptr, 0));
        if (!sample) return sample;
        BYTE* data = nullptr;
        EXPECT_EQ(S_OK, sample->GetPointer(&data));
        std::memcpy(data, text.data(), text.size());
        EXPECT_EQ(S_OK, sample->SetActualDataLength(static_cast<long>(text.size())));
        EXPECT_EQ(S_OK, start < 0 ? sample->SetTime(nullptr, nullptr) : sample->SetTime(&start, &stop));
        return sample;
    }

    RecordingSink* sink_ = nullptr;
    ComPtr<IMemAllocator> allocator_;
    ComPtr<IMemInputPin> input_;
};

TEST_F(SinkTest, AnswersAsARendererFilter) {
    ComPtr<IAMFilterMiscFlags> flags;
    ASSERT_EQ(S_OK, sink_->QueryInterface(IID_IAMFilterMiscFlags, flags.ReceiveVoid()));
    EXPECT_EQ(static_cast<ULONG>(AM_FILTER_MISC_FLAGS_IS_RENDERER), flags->GetMiscFlags());

    // One identity whatever interface it is reached through.
    ComPtr<IUnknown> a, b;
    ComPtr<IMediaSeeking> seeking;
    ASSERT_EQ(S_OK, sink_->QueryInterface(IID_IMediaSeeking, seeking.ReceiveVoid()));
    ASSERT_EQ(S_OK, seeking->QueryInterface(IID_IUnknown, a.ReceiveVoid()));
    ASSERT_EQ(S_OK, flags->QueryInterface(IID_IUnknown, b.ReceiveVoid()));
    EXPECT_EQ(a.Get(), b.Get());
    ComPtr<IUnknown> none;
    EXPECT_EQ(E_NOINTERFACE, sink_->QueryInterface(IID_IMemInputPin, none.ReceiveVoid()));

    CLSID clsid;
    ASSERT_EQ(S_OK, sink_->GetClassID(&clsid));
    EXPECT_EQ(CLSID_KeloRecordingSink, clsid);

    FILTER_INFO info{};
    ASSERT_EQ(S_OK, sink_->QueryFilterInfo(&info));
    EXPECT_STREQ(L"sink", info.achName);
    EXPECT_EQ(nullptr, info.pGraph);

    // State changes answer at once.
    FILTER_STATE state;
    for (auto change : {std::function<HRESULT()>([&] { return sink_->Pause(); }),
                        std::function<HRESULT()>([&] { return sink_->Run(0); }),
                        std::function<HRESULT()>([&] { return sink_->Stop(); })}) {
        EXPECT_EQ(S_OK, change());
        EXPECT_EQ(S_OK, sink_->GetState(0, &state));
    }
    EXPECT_EQ(State_Stopped, state);
}

TEST_F(SinkTest, HasOneInputPinNamedIn) {
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(S_OK, sink_->EnumPins(pins.Receive()));
    IPin* got[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, pins->Next(2, got, &fetched));
    ASSERT_EQ(1u, fetched);
    const ComPtr<IPin> pin = ComPtr<IPin>::Attach(got[0]);
    EXPECT_EQ(sink_->InputPin(), pin.Get());
    EXPECT_EQ(S_FALSE, pins->Next(1, got, nullptr));
    EXPECT_EQ(E_INVALIDARG, pins->Next(2, got, nullptr));
    ASSERT_EQ(S_OK, pins->Reset());
    ComPtr<IEnumPins> clone;
    ASSERT_EQ(S_OK, pins->Clone(clone.Receive()));
    EXPECT_EQ(S_OK, pins->Skip(1));
    EXPECT_EQ(S_FALSE, pins->Skip(1));
    ComPtr<IPin> from_clone;
    EXPECT_EQ(S_OK, clone->Next(1, from_clone.Receive(), nullptr));  // the clone kept its own place

    ComPtr<IPin> found;
    EXPECT_EQ(S_OK, sink_->FindPin(L"In", found.Receive()));
    EXPECT_EQ(pin.Get(), found.Get());
    EXPECT_EQ(VFW_E_NOT_FOUND, sink_->FindPin(L"Out", found.Receive()));

    PIN_INFO info{};
    ASSERT_EQ(S_OK, pin->QueryPinInfo(&info));
    ComPtr<IBaseFilter> owner = ComPtr<IBaseFilter>::Attach(info.pFilter);
    EXPECT_EQ(static_cast<IBaseFilter*>(sink_), owner.Get());
    EXPECT_EQ(PINDIR_INPUT, info.dir);
    EXPECT_STREQ(L"In", info.achName);
    LPWSTR id = nullptr;
    ASSERT_EQ(S_OK, pin->QueryId(&id));
    EXPECT_STREQ(L"In", id);
    CoTaskMemFree(id);

    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(S_OK, pin->EnumMediaTypes(types.Receive()));
    AM_MEDIA_TYPE* type = nullptr;
    EXPECT_EQ(S_FALSE, types->Next(1, &type, &fetched));
    EXPECT_EQ(0u, fetched);
}

// The answers that do not depend on any stream, one row each.
struct FixedAnswer {
    const char* name;
    std::function<HRESULT(RecordingSink*, IMemInputPin*)> call;
    HRESULT expected;
};

class UnconnectedSinkTest : public SinkTest, public ::testing::WithParamInterface<FixedAnswer> {};

TEST_P(UnconnectedSinkTest, Answers) { EXPECT_EQ(GetParam().expected, GetParam().call(sink_, input_.Get())); }

INSTANTIATE_TEST_SUITE_P(
    Calls, UnconnectedSinkTest,
    ::testing::Values(
        FixedAnswer{"GetAllocator",
                    [](RecordingSink*, IMemInputPin* in) {
                        IMemAllocator* a = reinterpret_cast<IMemAllocator*>(1);
                        const HRESULT hr = in->GetAllocator(&a);
                        return a == nullptr ? hr : E_FAIL;
                    },
                    VFW_E_NO_ALLOCATOR},
        FixedAnswer{"GetAllocatorRequirements",
                    [](RecordingSink*, IMemInputPin* in) {
                        ALLOCATOR_PROPERTIES p;
                        return in->GetAllocatorRequirements(&p);
                    },
                    E_NOTIMPL},
        FixedAnswer{"ReceiveCanBlock", [](RecordingSink*, IMemInputPin* in) { return in->ReceiveCanBlock(); }, S_FALSE},
        FixedAnswer{"Connect", [](RecordingSink* s, IMemInputPin*) { return s->InputPin()->Connect(nullptr, nullptr); },
                    E_UNEXPECTED},
        FixedAnswer{"ConnectedTo",
                    [](RecordingSink* s, IMemInputPin*) {
                        IPin* p = reinterpret_cast<IPin*>(1);
                        const HRESULT hr = s->InputPin()->ConnectedTo(&p);
                        return p == nullptr ? hr : E_FAIL;
                    },
                    VFW_E_NOT_CONNECTED},
        FixedAnswer{"ConnectionMediaType",
                    [](RecordingSink* s, IMemInputPin*) {
                        AM_MEDIA_TYPE mt;
                        return s->InputPin()->ConnectionMediaType(&mt);
                    },
                    VFW_E_NOT_CONNECTED},
        FixedAnswer{"Disconnect", [](RecordingSink* s, IMemInputPin*) { return s->InputPin()->Disconnect(); }, S_FALSE},
        FixedAnswer{"GetDuration",
                    [](RecordingSink* s, IMemInputPin*) {
                        LONGLONG d;
                        return s->GetDuration(&d);
                    },
                    VFW_E_NOT_CONNECTED},
        FixedAnswer{"SetPositions",
                    [](RecordingSink* s, IMemInputPin*) {
                        LONGLONG t = 0;
                        return s->SetPositions(&t, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
                    },
                    VFW_E_NOT_CONNECTED},
        FixedAnswer{"SetRate", [](RecordingSink* s, IMemInputPin*) { return s->SetRate(2.0); }, VFW_E_NOT_CONNECTED},
        FixedAnswer{"ReceiveNull", [](RecordingSink*, IMemInputPin* in) { return in->Receive(nullptr); }, E_POINTER}),
    [](const ::testing::TestParamInfo<FixedAnswer>& info) { return std::string(info.param.name); });

// --- Recording ---

TEST_F(SinkTest, RecordsEverySampleFieldAndTheBytes) {
    sink_->KeepBytes(true);
    ASSERT_EQ(S_OK, sink_->Pause());
    ASSERT_EQ(S_OK, sink_->InputPin()->NewSegment(100, 900, 1.5));

    ComPtr<IMediaSample> first = Sample("first", 10, 20);
    LONGLONG media_start = 7, media_stop = 9;
    ASSERT_EQ(S_OK, first->SetMediaTime(&media_start, &media_stop));
    ASSERT_EQ(S_OK, first->SetSyncPoint(TRUE));
    ASSERT_EQ(S_OK, first->SetDiscontinuity(TRUE));
    ASSERT_EQ(S_OK, first->SetPreroll(TRUE));
    ASSERT_EQ(S_OK, input_->Receive(first.Get()));

    ComPtr<IMediaSample> second = Sample("second!", -1);
    ASSERT_EQ(S_OK, second->SetSyncPoint(FALSE));
    ASSERT_EQ(S_OK, input_->Receive(second.Get()));

    ComPtr<IMediaSample> third = Sample("", 30, 30);
    ASSERT_EQ(S_OK, input_->Receive(third.Get()));

    const std::vector<SinkEvent> events = sink_->Events();
    ASSERT_EQ(4u, events.size());
    EXPECT_EQ(SinkEventKind::kNewSegment, events[0].kind);
    EXPECT_EQ(100, events[0].start);
    EXPECT_EQ(900, events[0].stop);
    EXPECT_EQ(1.5, events[0].rate);

    const SinkEvent& a = events[1];
    EXPECT_EQ(SinkEventKind::kSample, a.kind);
    EXPECT_EQ(S_OK, a.time_result);
    EXPECT_EQ(10, a.start);
    EXPECT_EQ(20, a.stop);
    EXPECT_EQ(S_OK, a.media_time_result);
    EXPECT_EQ(7, a.media_start);
    EXPECT_EQ(9, a.media_stop);
    EXPECT_TRUE(a.sync_point);
    EXPECT_TRUE(a.discontinuity);
    EXPECT_TRUE(a.preroll);
    EXPECT_EQ(5, a.length);
    EXPECT_EQ(Fnv1a("first", 5), a.hash);
    EXPECT_EQ(0u, a.byte_offset);
    EXPECT_EQ(GetCurrentThreadId(), a.thread_id);

    const SinkEvent& b = events[2];
    EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, b.time_result);
    EXPECT_FALSE(b.HasStart());
    EXPECT_EQ(VFW_E_MEDIA_TIME_NOT_SET, b.media_time_result);
    EXPECT_FALSE(b.sync_point);
    EXPECT_FALSE(b.discontinuity);
    EXPECT_FALSE(b.preroll);
    EXPECT_EQ(5u, b.byte_offset);
    EXPECT_EQ(Fnv1a("second!", 7), b.hash);

    const SinkEvent& c = events[3];
    EXPECT_EQ(0, c.length);
    EXPECT_EQ(kFnv1aOffsetBasis, c.hash);
    EXPECT_EQ(12u, c.byte_offset);
    EXPECT_LE(a.arrival_qpc, b.arrival_qpc);
    EXPECT_LE(b.arrival_qpc, c.arrival_qpc);

    const std::vector<uint8_t> bytes = sink_->Bytes();
    EXPECT_EQ("firstsecond!", std::string(bytes.begin(), bytes.end()));

    // The media position: the segment's start plus the stop time times the rate.
    REFERENCE_TIME position = 0;
    ASSERT_TRUE(sink_->MediaPosition(&position));
    EXPECT_EQ(100 + 45, position);
    EXPECT_TRUE(sink_->WaitForMediaPosition(145, 0));
    EXPECT_FALSE(sink_->WaitForMediaPosition(146, 10));

    sink_->Clear();
    EXPECT_EQ(0u, sink_->EventCount());
    EXPECT_TRUE(sink_->Bytes().empty());
    EXPECT_FALSE(sink_->MediaPosition(&position));
}

TEST_F(SinkTest, WithoutKeepBytesOnlyHashesAreKept) {
    ASSERT_EQ(S_OK, sink_->Pause());
    ASSERT_EQ(S_OK, input_->Receive(Sample("abc").Get()));
    const std::vector<SinkEvent> events = sink_->Events();
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(SinkEvent::kNoBytes, events[0].byte_offset);
    EXPECT_EQ(Fnv1a("abc", 3), events[0].hash);
    EXPECT_TRUE(sink_->Bytes().empty());
}

TEST_F(SinkTest, FlushingRefusesSamplesAndIgnoresEndOfStream) {
    IPin* in = sink_->InputPin();
    ASSERT_EQ(S_OK, sink_->Pause());
    ASSERT_EQ(S_OK, in->BeginFlush());
    EXPECT_EQ(S_FALSE, input_->Receive(Sample("dropped").Get()));
    IMediaSample* batch[2] = {Sample("x").Detach(), Sample("y").Detach()};
    long processed = -1;
    EXPECT_EQ(S_FALSE, input_->ReceiveMultiple(batch, 2, &processed));
    EXPECT_EQ(0, processed);
    for (IMediaSample* s : batch) s->Release();
    ASSERT_EQ(S_OK, in->EndOfStream());
    EXPECT_FALSE(sink_->WaitForEndOfStream(0));
    ASSERT_EQ(S_OK, in->EndFlush());
    ASSERT_EQ(S_OK, input_->Receive(Sample("kept").Get()));

    const std::vector<SinkEvent> events = sink_->Events();
    ASSERT_EQ(4u, events.size());
    EXPECT_EQ(SinkEventKind::kBeginFlush, events[0].kind);
    EXPECT_EQ(SinkEventKind::kEndOfStream, events[1].kind);
    EXPECT_TRUE(events[1].during_flush);
    EXPECT_EQ(SinkEventKind::kEndFlush, events[2].kind);
    EXPECT_EQ(SinkEventKind::kSample, events[3].kind);
    EXPECT_EQ(Fnv1a("kept", 4), events[3].hash);
}

TEST_F(SinkTest, ReceiveWhileStoppedIsRefusedUnrecorded) {
    EXPECT_EQ(VFW_E_WRONG_STATE, input_->Receive(Sample("late").Get()));
    EXPECT_EQ(0u, sink_->EventCount());
}

TEST_F(SinkTest, ReceiveMultipleTakesEachInTurnAndStopsAtAFailure) {
    ASSERT_EQ(S_OK, sink_->Pause());
    IMediaSample* batch[2] = {Sample("one").Detach(), Sample("two").Detach()};
    long processed = -1;
    EXPECT_EQ(S_OK, input_->ReceiveMultiple(batch, 2, &processed));
    EXPECT_EQ(2, processed);
    sink_->SetReceiveResult(E_FAIL);
    EXPECT_EQ(E_FAIL, input_->ReceiveMultiple(batch, 2, &processed));
    EXPECT_EQ(0, processed);
    for (IMediaSample* s : batch) s->Release();
    const std::vector<SinkEvent> events = sink_->Events();
    ASSERT_EQ(3u, events.size());  // the failing one is recorded, then refused
    EXPECT_EQ(Fnv1a("one", 3), events[0].hash);
    EXPECT_EQ(Fnv1a("two", 3), events[1].hash);
    EXPECT_EQ(Fnv1a("one", 3), events[2].hash);
}

TEST_F(SinkTest, ADelayedReceiveEndsAtOnceWhenAFlushBegins) {
    ASSERT_EQ(S_OK, sink_->Pause());
    sink_->SetReceiveDelay(60000);
    ComPtr<IMediaSample> sample = Sample("held");
    IMemInputPin* input = input_.Get();
    std::future<HRESULT> receive = std::async(std::launch::async, [&] { return input->Receive(sample.Get()); });
    EXPECT_EQ(std::future_status::timeout, receive.wait_for(std::chrono::milliseconds(200))) << "no delay was kept";
    ASSERT_EQ(S_OK, sink_->InputPin()->BeginFlush());
    ASSERT_EQ(std::future_status::ready, receive.wait_for(std::chrono::seconds(5)));
    EXPECT_EQ(S_FALSE, receive.get());
    EXPECT_EQ(1u, sink_->EventCount());  // the BeginFlush alone
}

// --- EC_COMPLETE, in a graph holding only the sink ---

struct CompletionCase {
    const char* name;
    // Steps: 'P' pause, 'R' run, 'S' stop, 'E' end of stream, 'B' begin and 'N' end a flush.
    const char* steps;
    int completions;  // EC_COMPLETE the sink must have sent
};

class CompletionTest : public ::testing::TestWithParam<CompletionCase> {};

TEST_P(CompletionTest, SendsEcCompleteOnlyWhenRunningAtEndOfStream) {
    RecordingSink* sink = nullptr;
    ASSERT_EQ(S_OK, RecordingSink::Create(L"sink", &sink));
    {
        ComPtr<IGraphBuilder> graph;
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                         graph.ReceiveVoid()));
        ComPtr<IMediaControl> control;
        ComPtr<IMediaEvent> events;
        ASSERT_EQ(S_OK, graph.QueryTo(IID_IMediaControl, &control));
        ASSERT_EQ(S_OK, graph.QueryTo(IID_IMediaEvent, &events));
        ASSERT_EQ(S_OK, graph->AddFilter(sink, L"sink"));
        IPin* in = sink->InputPin();
        for (const char* step = GetParam().steps; *step; ++step) {
            switch (*step) {
                case 'P':
                    ASSERT_EQ(S_OK, control->Pause());
                    break;
                case 'R':
                    ASSERT_EQ(S_OK, control->Run());
                    break;
                case 'S':
                    ASSERT_EQ(S_OK, control->Stop());
                    break;
                case 'E':
                    ASSERT_EQ(S_OK, in->EndOfStream());
                    break;
                case 'B':
                    ASSERT_EQ(S_OK, in->BeginFlush());
                    break;
                case 'N':
                    ASSERT_EQ(S_OK, in->EndFlush());
                    break;
            }
        }
        EXPECT_EQ(GetParam().completions, sink->CompletionsSent());
        // The graph passes the renderer's EC_COMPLETE on to the application.
        long code = 0;
        HRESULT hr;
        do {  // past the graph's own notices, such as EC_CLOCK_CHANGED
            hr = NextGraphEvent(events.Get(), GetParam().completions ? 5000 : 300, &code);
        } while (hr == S_OK && code != EC_COMPLETE);
        EXPECT_EQ(GetParam().completions > 0, hr == S_OK && code == EC_COMPLETE) << std::hex << hr << " " << code;
        control->Stop();
    }
    EXPECT_EQ(0u, sink->Release());
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, CompletionTest,
    ::testing::Values(CompletionCase{"EndWhileRunning", "PRE", 1}, CompletionCase{"EndWhilePausedThenRun", "PER", 1},
                      CompletionCase{"EndWhilePausedOnly", "PE", 0}, CompletionCase{"StopCancelsIt", "PESR", 0},
                      CompletionCase{"FlushCancelsIt", "PEBNR", 0},
                      CompletionCase{"EndDuringFlushIsIgnored", "PRBEN", 0},
                      CompletionCase{"RunAgainAtEndSendsItAgain", "PREPR", 2}),
    [](const ::testing::TestParamInfo<CompletionCase>& info) { return std::string(info.param.name); });

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 2;
    const int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
