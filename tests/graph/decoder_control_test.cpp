// A decoder downstream of the AVC pin that offers the private control
// interface is set up when the pin connects to it.
#include <gtest/gtest.h>

#include <initguid.h>

#include "avc_decoder_control.h"
#include "test_graph.h"
#include "first_pin.h"
#include "stack_com_object.h"
#include "stream_packets.h"

namespace {

class FakeDecoderControl : public StackComObject<IAVCDecoderControl> {
public:
    FakeDecoderControl() : StackComObject(IID_IAVCDecoderControl) {}
    HRESULT STDMETHODCALLTYPE GetParameters(DWORD* first, DWORD* second) override {
        calls += "get;";
        *first = 7;
        *second = 0x1234;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetParameters(BOOL is_large, DWORD second) override {
        calls += "set " + std::to_string(is_large) + " " + std::to_string(second) + ";";
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetMode(DWORD mode) override {
        calls += "mode " + std::to_string(mode) + ";";
        return S_OK;
    }

    std::string calls;
};

TEST(AvcDecoderControl, ConnectingToADecoderThatOffersItSetsItUp) {
    FakeDecoderControl control;
    {
        TestGraph graph;
        ASSERT_EQ(graph.Load(CorpusFile("h264_aac.mp4")), S_OK);
        RecordingSink* decoder = nullptr;
        ASSERT_EQ(RecordingSink::Create(L"decoder", &decoder), S_OK);
        decoder->OfferInterface(IID_IAVCDecoderControl, &control);
        ASSERT_EQ(graph.Graph()->AddFilter(decoder, L"decoder"), S_OK);
        ComPtr<IPin> video = FirstPin(graph.Filter(), PINDIR_OUTPUT);
        ASSERT_EQ(graph.Graph()->ConnectDirect(video.Get(), decoder->InputPin(), nullptr), S_OK);
        // A 120-line picture is not large; the decoder's second value comes back.
        EXPECT_EQ(control.calls, "get;set 0 4660;mode 2;");
        graph.Graph()->Disconnect(video.Get());
        graph.Graph()->Disconnect(decoder->InputPin());
        graph.Graph()->RemoveFilter(decoder);
        decoder->Release();
    }
    EXPECT_EQ(control.References(), 0) << "every reference the pin and the sink took is given back";
}

}  // namespace
