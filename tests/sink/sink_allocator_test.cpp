// The sink's own allocator on its own, and Wine's WAVE parser delivering in it.
#include <windows.h>

#include <gtest/gtest.h>

#include <uuids.h>
#include <vfwmsgs.h>

#include <chrono>
#include <future>
#include <memory>
#include <vector>

#include "com_ptr.h"
#include "media_type.h"
#include "sink_allocator.h"

namespace {

// Samples held by a test, released on every path.
using HeldSamples = std::vector<ComPtr<IMediaSample>>;

ComPtr<IMemAllocator> NewAllocator() {
    ComPtr<IMemAllocator> allocator;
    EXPECT_EQ(S_OK, SinkAllocator::Create(allocator.Receive()));
    return allocator;
}

struct PropertiesCase {
    const char* name;
    ALLOCATOR_PROPERTIES request;
    HRESULT result;
    ALLOCATOR_PROPERTIES granted;  // when S_OK
};

class SetPropertiesTest : public ::testing::TestWithParam<PropertiesCase> {};

TEST_P(SetPropertiesTest, GrantsOrRefuses) {
    const PropertiesCase& c = GetParam();
    ComPtr<IMemAllocator> allocator = NewAllocator();
    ALLOCATOR_PROPERTIES request = c.request, granted = {};
    ASSERT_EQ(c.result, allocator->SetProperties(&request, &granted));
    if (c.result != S_OK) {
        EXPECT_EQ(VFW_E_SIZENOTSET, allocator->Commit()) << "a refused request sets nothing";
        return;
    }
    EXPECT_EQ(c.granted.cBuffers, granted.cBuffers);
    EXPECT_EQ(c.granted.cbBuffer, granted.cbBuffer);
    EXPECT_EQ(c.granted.cbAlign, granted.cbAlign);
    EXPECT_EQ(c.granted.cbPrefix, granted.cbPrefix);

    // Every buffer is as large and as aligned as granted, with its prefix before it.
    ASSERT_EQ(S_OK, allocator->Commit());
    HeldSamples held(granted.cBuffers);
    for (ComPtr<IMediaSample>& sample : held) {
        ASSERT_EQ(S_OK, allocator->GetBuffer(sample.Receive(), nullptr, nullptr, AM_GBF_NOWAIT));
        BYTE* data = nullptr;
        ASSERT_EQ(S_OK, sample->GetPointer(&data));
        EXPECT_EQ(granted.cbBuffer, sample->GetSize());
        EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(data) % static_cast<uintptr_t>(granted.cbAlign));
        data[-granted.cbPrefix] = 0xA5;  // the prefix is writable memory (ASan-free build: a fault would crash)
        data[granted.cbBuffer - 1] = 0x5A;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Requests, SetPropertiesTest,
    ::testing::Values(PropertiesCase{"AsAsked", {3, 1000, 1, 0}, S_OK, {3, 1000, 1, 0}},
                      PropertiesCase{"RoundedToTheAlignment", {2, 1000, 64, 0}, S_OK, {2, 1024, 64, 0}},
                      PropertiesCase{"PrefixCountsInTheRounding", {2, 1000, 64, 24}, S_OK, {2, 1000, 64, 24}},
                      PropertiesCase{"PastThePageAlignment", {2, 100, 8192, 0}, S_OK, {2, 8192, 8192, 0}},
                      PropertiesCase{"NoCountOrSizeBecomesOne", {0, 0, 1, 0}, S_OK, {1, 1, 1, 0}},
                      PropertiesCase{"AlignmentZero", {1, 100, 0, 0}, VFW_E_BADALIGN, {}},
                      PropertiesCase{"AlignmentNotAPowerOfTwo", {1, 100, 48, 0}, VFW_E_BADALIGN, {}},
                      PropertiesCase{"SizeOverflowsWithItsPrefix", {1, 0x7FFFFFF0, 1, 0x20}, E_INVALIDARG, {}},
                      PropertiesCase{"SizeOverflowsWhenRounded", {1, 0x7FFFFFF0, 64, 0}, E_INVALIDARG, {}}),
    [](const ::testing::TestParamInfo<PropertiesCase>& info) { return std::string(info.param.name); });

class SinkAllocatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        allocator_ = NewAllocator();
        ALLOCATOR_PROPERTIES request{2, 256, 1, 0}, granted{};
        ASSERT_EQ(S_OK, allocator_->SetProperties(&request, &granted));
    }
    HRESULT Take(ComPtr<IMediaSample>* sample, DWORD flags = AM_GBF_NOWAIT) {
        return allocator_->GetBuffer(sample->Receive(), nullptr, nullptr, flags);
    }

    ComPtr<IMemAllocator> allocator_;
};

TEST_F(SinkAllocatorTest, HandsOutEachBufferOnceUntilItComesBack) {
    ComPtr<IMediaSample> a, b, c;
    EXPECT_EQ(VFW_E_NOT_COMMITTED, Take(&a));
    ASSERT_EQ(S_OK, allocator_->Commit());
    ASSERT_EQ(S_OK, Take(&a));
    ASSERT_EQ(S_OK, Take(&b));
    EXPECT_NE(a.Get(), b.Get());
    EXPECT_EQ(VFW_E_TIMEOUT, Take(&c)) << "both buffers are out";
    EXPECT_EQ(nullptr, c.Get());

    ALLOCATOR_PROPERTIES request{4, 64, 1, 0}, granted{};
    EXPECT_EQ(VFW_E_ALREADY_COMMITTED, allocator_->SetProperties(&request, &granted));
    ASSERT_EQ(S_OK, allocator_->Decommit());
    EXPECT_EQ(VFW_E_BUFFERS_OUTSTANDING, allocator_->SetProperties(&request, &granted));

    IMediaSample* returned = a.Get();
    a.Reset();
    ASSERT_EQ(S_OK, allocator_->Commit());
    ASSERT_EQ(S_OK, Take(&c));
    EXPECT_EQ(returned, c.Get()) << "the released buffer is the free one";
}

TEST_F(SinkAllocatorTest, AWaitingGetBufferTakesTheNextReleasedBuffer) {
    ASSERT_EQ(S_OK, allocator_->Commit());
    ComPtr<IMediaSample> a, b;
    ASSERT_EQ(S_OK, Take(&a));
    ASSERT_EQ(S_OK, Take(&b));
    IMediaSample* first = a.Get();
    auto waiting = std::async(std::launch::async, [this] {
        ComPtr<IMediaSample> sample;
        const HRESULT hr = Take(&sample, 0);
        return std::make_pair(hr, sample.Get());  // the pointer only: compared, not used
    });
    EXPECT_EQ(std::future_status::timeout, waiting.wait_for(std::chrono::milliseconds(100)));
    a.Reset();
    ASSERT_EQ(std::future_status::ready, waiting.wait_for(std::chrono::seconds(5)));
    const auto [hr, sample] = waiting.get();
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(first, sample);
}

TEST_F(SinkAllocatorTest, DecommitWakesAWaitingGetBufferEmptyHanded) {
    ASSERT_EQ(S_OK, allocator_->Commit());
    ComPtr<IMediaSample> a, b;
    ASSERT_EQ(S_OK, Take(&a));
    ASSERT_EQ(S_OK, Take(&b));
    auto waiting = std::async(std::launch::async, [this] {
        ComPtr<IMediaSample> sample;
        return Take(&sample, 0);
    });
    EXPECT_EQ(std::future_status::timeout, waiting.wait_for(std::chrono::milliseconds(100)));
    ASSERT_EQ(S_OK, allocator_->Decommit());
    ASSERT_EQ(std::future_status::ready, waiting.wait_for(std::chrono::seconds(5)));
    EXPECT_EQ(VFW_E_NOT_COMMITTED, waiting.get());
}

TEST_F(SinkAllocatorTest, ASampleOutKeepsTheAllocatorAlive) {
    ASSERT_EQ(S_OK, allocator_->Commit());
    ComPtr<IMediaSample> sample;
    ASSERT_EQ(S_OK, Take(&sample));
    allocator_->Decommit();
    allocator_.Reset();  // the sample's reference is the last
    BYTE* data = nullptr;
    ASSERT_EQ(S_OK, sample->GetPointer(&data));
    data[0] = 1;
    sample.Reset();  // gives the buffer back, then the allocator goes
}

// --- A sample's fields ---

TEST_F(SinkAllocatorTest, ASampleKeepsItsFieldsUntilItIsHandedOutAgain) {
    ALLOCATOR_PROPERTIES request{1, 256, 1, 0}, granted{};
    ASSERT_EQ(S_OK, allocator_->SetProperties(&request, &granted));
    ASSERT_EQ(S_OK, allocator_->Commit());
    ComPtr<IMediaSample> sample;
    ASSERT_EQ(S_OK, Take(&sample));
    REFERENCE_TIME start = 0, stop = 0;
    EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, sample->GetTime(&start, &stop));
    EXPECT_EQ(VFW_E_MEDIA_TIME_NOT_SET, sample->GetMediaTime(&start, &stop));
    EXPECT_EQ(256, sample->GetActualDataLength());

    REFERENCE_TIME set_start = 100, set_stop = 300;
    ASSERT_EQ(S_OK, sample->SetTime(&set_start, nullptr));
    EXPECT_EQ(VFW_S_NO_STOP_TIME, sample->GetTime(&start, &stop));
    EXPECT_EQ(100, start);
    EXPECT_EQ(101, stop);
    ASSERT_EQ(S_OK, sample->SetTime(&set_start, &set_stop));
    EXPECT_EQ(S_OK, sample->GetTime(&start, &stop));
    EXPECT_EQ(300, stop);
    LONGLONG media_start = 7, media_stop = 9;
    ASSERT_EQ(S_OK, sample->SetMediaTime(&media_start, &media_stop));
    EXPECT_EQ(S_OK, sample->GetMediaTime(&start, &stop));
    EXPECT_EQ(7, start);

    EXPECT_EQ(VFW_E_BUFFER_OVERFLOW, sample->SetActualDataLength(257));
    EXPECT_EQ(VFW_E_BUFFER_OVERFLOW, sample->SetActualDataLength(-1));
    ASSERT_EQ(S_OK, sample->SetActualDataLength(10));
    EXPECT_EQ(10, sample->GetActualDataLength());

    for (auto [set, is] : {std::make_pair(&IMediaSample::SetSyncPoint, &IMediaSample::IsSyncPoint),
                           std::make_pair(&IMediaSample::SetPreroll, &IMediaSample::IsPreroll),
                           std::make_pair(&IMediaSample::SetDiscontinuity, &IMediaSample::IsDiscontinuity)}) {
        EXPECT_EQ(S_FALSE, (sample.Get()->*is)());
        ASSERT_EQ(S_OK, (sample.Get()->*set)(TRUE));
        EXPECT_EQ(S_OK, (sample.Get()->*is)());
    }

    AM_MEDIA_TYPE* type = nullptr;
    EXPECT_EQ(S_FALSE, sample->GetMediaType(&type));
    CMediaType audio;
    audio.SetType(MEDIATYPE_Audio);
    ASSERT_EQ(S_OK, sample->SetMediaType(&audio));
    ASSERT_EQ(S_OK, sample->GetMediaType(&type));
    ASSERT_NE(nullptr, type);
    EXPECT_EQ(MEDIATYPE_Audio, type->majortype);
    DeleteMediaType(type);

    // Back and out again: as new.
    IMediaSample* same = sample.Get();
    sample.Reset();
    ASSERT_EQ(S_OK, Take(&sample));
    ASSERT_EQ(same, sample.Get());
    EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, sample->GetTime(&start, &stop));
    EXPECT_EQ(VFW_E_MEDIA_TIME_NOT_SET, sample->GetMediaTime(&start, &stop));
    EXPECT_EQ(256, sample->GetActualDataLength());
    EXPECT_EQ(S_FALSE, sample->IsSyncPoint());
    EXPECT_EQ(S_FALSE, sample->IsPreroll());
    EXPECT_EQ(S_FALSE, sample->IsDiscontinuity());
    EXPECT_EQ(S_FALSE, sample->GetMediaType(&type));
}

}  // namespace
