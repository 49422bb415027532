// Every twos file plays through Wine's graph into a recording sink exactly as
// ffmpeg decodes it: the same bytes, buffers of 1024 frames with a partial
// last one, stamps at the times ffprobe's packets give, then end of stream.
#include <gtest/gtest.h>

#include "test_graph.h"  // windows.h before mmreg.h

#include <mmreg.h>

#include <algorithm>

#include "pcm_reference.h"

namespace {

class PcmPlayback : public ::testing::TestWithParam<const char*> {};

TEST_P(PcmPlayback, DeliversFfmpegsBytesInStampedBuffersOf1024Frames) {
    const std::string name = GetParam();
    PcmReference reference = PcmReference::Load(name);
    TestGraph graph;
    ASSERT_EQ(graph.Open(PcmMedia(name + ".mov")), S_OK);
    ASSERT_EQ(graph.Pins().size(), 1u);
    EXPECT_EQ(graph.Pins()[0].name, L"LPCM");
    RecordingSink* sink = graph.Sink();

    const CMediaType type = sink->ConnectedType();
    const AM_MEDIA_TYPE& mt = type;
    EXPECT_EQ(mt.majortype, MEDIATYPE_Audio);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_PCM);
    EXPECT_EQ(mt.formattype, FORMAT_WaveFormatEx);
    ASSERT_GE(mt.cbFormat, sizeof(WAVEFORMATEX));
    const auto* format = reinterpret_cast<const WAVEFORMATEX*>(mt.pbFormat);
    // Beyond 16 bits WAVE wants the extensible format (its valid bits say the rest).
    const bool extensible = reference.bits > 16 || reference.channels > 2;
    EXPECT_EQ(format->wFormatTag, extensible ? WAVE_FORMAT_EXTENSIBLE : WAVE_FORMAT_PCM);
    EXPECT_EQ(format->nChannels, reference.channels);
    EXPECT_EQ(format->nSamplesPerSec, reference.rate);
    EXPECT_EQ(format->wBitsPerSample, reference.bits);
    EXPECT_EQ(format->nBlockAlign, reference.BlockAlign());
    EXPECT_EQ(format->nAvgBytesPerSec, reference.BlockAlign() * reference.rate);
    EXPECT_EQ(format->cbSize, extensible ? sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX) : 0);

    LONGLONG duration = 0;
    ASSERT_EQ(graph.Seeking()->GetDuration(&duration), S_OK);
    EXPECT_EQ(duration, reference.FrameTime(reference.Frames()));

    ASSERT_EQ(graph.RunToCompletion(), S_OK);
    std::vector<SinkEvent> events = sink->Events();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front().kind, SinkEventKind::kNewSegment);
    EXPECT_EQ(events.front().start, 0);
    EXPECT_EQ(events.front().stop, duration);
    EXPECT_EQ(events.front().rate, 1.0);
    EXPECT_EQ(events.back().kind, SinkEventKind::kEndOfStream);

    EXPECT_TRUE(sink->Bytes() == reference.bytes) << "the delivered PCM differs from ffmpeg's decode";

    std::vector<SinkEvent> samples = EventsOfKind(events, SinkEventKind::kSample);
    const int64_t frames = reference.Frames();
    const int64_t buffers = (frames + kFramesPerBuffer - 1) / kFramesPerBuffer;
    ASSERT_EQ(static_cast<int64_t>(samples.size()), buffers);
    for (int64_t k = 0; k < buffers; ++k) {
        const SinkEvent& s = samples[static_cast<size_t>(k)];
        int64_t first = k * kFramesPerBuffer;
        int64_t end = std::min(first + kFramesPerBuffer, frames);
        SCOPED_TRACE("buffer " + std::to_string(k));
        EXPECT_EQ(s.length, (end - first) * reference.BlockAlign());
        ASSERT_EQ(s.time_result, S_OK);
        EXPECT_EQ(s.start, reference.FrameTime(first));
        EXPECT_EQ(s.stop, reference.FrameTime(end));
        ASSERT_EQ(s.media_time_result, S_OK);
        EXPECT_EQ(s.media_start, s.start);
        EXPECT_EQ(s.media_stop, s.stop);
        EXPECT_TRUE(s.sync_point);
        EXPECT_EQ(s.discontinuity, k == 0);
    }
    EXPECT_LT(samples.back().length, kFramesPerBuffer * static_cast<long>(reference.BlockAlign()))
        << "every file ends with a partial buffer";
}

INSTANTIATE_TEST_SUITE_P(TwosFiles, PcmPlayback,
                         ::testing::Values("twos8_mono_44100", "twos8_stereo_48000", "twos16_mono_48000",
                                           "twos16_stereo_44100", "twos24_mono_44100", "twos24_stereo_48000",
                                           "twos16_stereo_48000_timescale2x", "twos_two_tracks"));

}  // namespace
