// Pin code we did not write talks to ours: Wine's Sample Grabber and Null
// Renderer take the PCM pin's stream to completion.
#include <gtest/gtest.h>

#include <qedit.h>

#include <mutex>

#include "test_graph.h"
#include "first_pin.h"
#include "pcm_reference.h"
#include "stack_com_object.h"

namespace {

// qedit's classes; mingw-w64's headers declare their interfaces only.
constexpr GUID kSampleGrabber = {0xc1f400a0, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};
constexpr GUID kNullRenderer = {0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};

class ByteCollector : public StackComObject<ISampleGrabberCB> {
public:
    ByteCollector() : StackComObject(IID_ISampleGrabberCB) {}
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE* buffer, LONG length) override {
        std::lock_guard<std::mutex> lock(mutex_);
        bytes_.insert(bytes_.end(), buffer, buffer + length);
        return S_OK;
    }
    std::vector<uint8_t> Bytes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return bytes_;
    }

private:
    std::mutex mutex_;
    std::vector<uint8_t> bytes_;
};

TEST(StockFilters, SampleGrabberAndNullRendererReceiveFfmpegsPcm) {
    const char* name = "twos24_stereo_48000";
    PcmReference reference = PcmReference::Load(name);
    TestGraph graph;
    ASSERT_EQ(graph.Load(PcmMedia(std::string(name) + ".mov")), S_OK);

    ComPtr<IBaseFilter> grabber_filter, renderer;
    ASSERT_EQ(
        CoCreateInstance(kSampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, grabber_filter.ReceiveVoid()),
        S_OK);
    ASSERT_EQ(CoCreateInstance(kNullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, renderer.ReceiveVoid()),
              S_OK);
    ComPtr<ISampleGrabber> grabber;
    ASSERT_EQ(grabber_filter.QueryTo(IID_ISampleGrabber, &grabber), S_OK);
    AM_MEDIA_TYPE wanted = {};
    wanted.majortype = MEDIATYPE_Audio;
    wanted.subtype = MEDIASUBTYPE_PCM;
    ASSERT_EQ(grabber->SetMediaType(&wanted), S_OK);
    ByteCollector collector;
    ASSERT_EQ(grabber->SetCallback(&collector, 1), S_OK);

    ASSERT_EQ(graph.Graph()->AddFilter(grabber_filter.Get(), L"Sample Grabber"), S_OK);
    ASSERT_EQ(graph.Graph()->AddFilter(renderer.Get(), L"Null Renderer"), S_OK);
    ComPtr<IPin> output = FirstPin(graph.Filter(), PINDIR_OUTPUT);
    ComPtr<IPin> grabber_in = FirstPin(grabber_filter.Get(), PINDIR_INPUT);
    ComPtr<IPin> grabber_out = FirstPin(grabber_filter.Get(), PINDIR_OUTPUT);
    ComPtr<IPin> renderer_in = FirstPin(renderer.Get(), PINDIR_INPUT);
    ASSERT_EQ(graph.Graph()->ConnectDirect(output.Get(), grabber_in.Get(), nullptr), S_OK);
    ASSERT_EQ(graph.Graph()->ConnectDirect(grabber_out.Get(), renderer_in.Get(), nullptr), S_OK);
    ComPtr<IMediaFilter> media_filter;
    ASSERT_EQ(ComPtr<IFilterGraph2>(graph.Graph()).QueryTo(IID_IMediaFilter, &media_filter), S_OK);
    ASSERT_EQ(media_filter->SetSyncSource(nullptr), S_OK);

    ASSERT_EQ(graph.RunToCompletion(), S_OK);
    EXPECT_TRUE(collector.Bytes() == reference.bytes);
    ASSERT_EQ(graph.Stop(), S_OK);
    grabber->SetCallback(nullptr, 1);
    graph.Graph()->RemoveFilter(grabber_filter.Get());
    graph.Graph()->RemoveFilter(renderer.Get());
}

}  // namespace
