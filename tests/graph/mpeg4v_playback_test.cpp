// The MPEG4 Video pin on MPEG-4 Visual (mpeg4v.mp4) and H.263 beside AAC
// (h263_aac.3gp): the VIDEOINFOHEADER format block field by field, every
// stored picture delivered whole at its decode time as ffprobe lists it, a
// seek to a key frame's own instant starting there, and a configuration that
// starts with a VOP start code refused when the pin's type is asked for.
#include <gtest/gtest.h>

#include <algorithm>

#include "test_graph.h"
#include "stream_packets.h"

#include <amvideo.h>

#include "stream_guids.h"

namespace {

constexpr size_t kVideo = 0;  // pins and ffprobe's streams alike

struct FileCase {
    const char* file;
    size_t pins;
    LONG width, height;  // ffprobe's
    DWORD compression;
    bool has_config;
};

const FileCase kFiles[] = {
    {"mpeg4v.mp4", 1, 160, 120, MAKEFOURCC('M', 'P', '4', 'S'), true},
    {"h263_aac.3gp", 2, 176, 144, MAKEFOURCC('s', '2', '6', '3'), false},
};

TEST(Mpeg4Video, TheFormatBlockIsFilledFieldByField) {
    for (const FileCase& c : kFiles) {
        SCOPED_TRACE(c.file);
        std::vector<ProbedStream> streams = LoadStreamPackets(c.file);
        TestGraph graph;
        ASSERT_EQ(graph.Open(CorpusFile(c.file)), S_OK);
        ASSERT_EQ(graph.Pins().size(), c.pins);
        EXPECT_EQ(graph.Pins()[kVideo].name, L"MPEG4 Video");
        const AM_MEDIA_TYPE& type = graph.Sink(kVideo)->ConnectedType();
        EXPECT_EQ(type.majortype, MEDIATYPE_Video);
        EXPECT_EQ(type.subtype, MEDIASUBTYPE_PrivateMPEG4V);
        EXPECT_EQ(type.formattype, FORMAT_VideoInfo);
        EXPECT_TRUE(type.bTemporalCompression);
        EXPECT_FALSE(type.bFixedSizeSamples);
        EXPECT_EQ(type.lSampleSize, 0u);
        const std::vector<uint8_t> config = c.has_config ? streams[kVideo].extradata : std::vector<uint8_t>();
        ASSERT_EQ(type.cbFormat, 90u + config.size());
        const auto* header = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
        const RECT picture = {0, 0, c.width, c.height};
        EXPECT_TRUE(EqualRect(&header->rcSource, &picture));
        EXPECT_TRUE(EqualRect(&header->rcTarget, &picture));
        // The frame time and bit rate: check_video_rates.py, against ffprobe.
        EXPECT_EQ(header->dwBitErrorRate, 0u);
        EXPECT_EQ(header->bmiHeader.biSize, 40u);
        EXPECT_EQ(header->bmiHeader.biWidth, c.width);
        EXPECT_EQ(header->bmiHeader.biHeight, c.height);
        EXPECT_EQ(header->bmiHeader.biPlanes, 1);
        EXPECT_EQ(header->bmiHeader.biBitCount, 24);
        EXPECT_EQ(header->bmiHeader.biCompression, c.compression);
        EXPECT_EQ(header->bmiHeader.biSizeImage, 0u);
        EXPECT_EQ(header->bmiHeader.biXPelsPerMeter, 0);
        EXPECT_EQ(header->bmiHeader.biYPelsPerMeter, 0);
        EXPECT_EQ(header->bmiHeader.biClrUsed, 0u);
        EXPECT_EQ(header->bmiHeader.biClrImportant, 0u);
        std::vector<uint8_t> stored(type.pbFormat + 88, type.pbFormat + 88 + config.size());
        EXPECT_EQ(stored, config) << "the DecoderSpecificInfo as ffprobe's extradata";
        EXPECT_EQ(type.pbFormat[type.cbFormat - 2], 0);
        EXPECT_EQ(type.pbFormat[type.cbFormat - 1], 0);
    }
}

TEST(Mpeg4Video, EveryPictureArrivesWholeAtItsDecodeTime) {
    for (const FileCase& c : kFiles) {
        SCOPED_TRACE(c.file);
        std::vector<ProbedStream> streams = LoadStreamPackets(c.file);
        TestGraph graph;
        ASSERT_EQ(graph.Open(CorpusFile(c.file)), S_OK);
        ASSERT_EQ(graph.RunToCompletion(), S_OK);
        ASSERT_TRUE(graph.Sink(kVideo)->WaitForEndOfStream(5000));
        const ProbedStream& video = streams[kVideo];
        std::vector<Delivered> pictures = DeliveredSamples(graph.Sink(kVideo));
        ASSERT_EQ(pictures.size(), video.packets.size());
        const int64_t first_dts = video.packets[0].dts;
        for (size_t k = 0; k < pictures.size(); ++k) {
            SCOPED_TRACE("picture " + std::to_string(k));
            const ProbedPacket& p = video.packets[k];
            EXPECT_EQ(static_cast<int64_t>(pictures[k].bytes.size()), p.size);
            EXPECT_EQ(Adler32(pictures[k].bytes.data(), pictures[k].bytes.size()), p.adler32);
            EXPECT_EQ(pictures[k].event.start, video.ToMediaTime(p.dts - first_dts));
            EXPECT_EQ(pictures[k].event.stop, video.ToMediaTime(p.dts - first_dts + p.duration));
            EXPECT_EQ(pictures[k].event.discontinuity, k == 0);
        }
    }
}

// A start on the first instant of a key frame begins with that key frame,
// not with the key frame before the picture ahead of it.
TEST(Mpeg4Video, ASeekToAKeyFramesInstantStartsThere) {
    std::vector<ProbedStream> streams = LoadStreamPackets("mpeg4v.mp4");
    const ProbedStream& video = streams[kVideo];
    std::vector<size_t> keys;
    for (size_t k = 0; k < video.packets.size(); ++k)
        if (video.packets[k].key) keys.push_back(k);
    ASSERT_GE(keys.size(), 2u);
    const size_t key = keys[1];
    const int64_t ticks = video.packets[key].dts - video.packets[0].dts;
    LONGLONG position = video.ToMediaTime(ticks);
    ASSERT_EQ(position * video.time_base_den / video.time_base_num / 10000000, ticks) << "an exact instant";

    TestGraph graph;
    ASSERT_EQ(graph.Open(CorpusFile("mpeg4v.mp4")), S_OK);
    ASSERT_EQ(
        graph.Seeking()->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning),
        S_OK);
    ASSERT_EQ(graph.RunToCompletion(), S_OK);
    ASSERT_TRUE(graph.Sink(kVideo)->WaitForEndOfStream(5000));
    std::vector<SinkEvent> events = graph.Sink(kVideo)->Events();
    std::vector<SinkEvent> segments = EventsOfKind(events, SinkEventKind::kNewSegment);
    ASSERT_FALSE(segments.empty());
    EXPECT_EQ(segments.back().start, position);
    // What arrived after the last new segment.
    std::vector<Delivered> all = DeliveredSamples(graph.Sink(kVideo));
    size_t since = 0;
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i].event.discontinuity) since = i;
    ASSERT_EQ(all.size() - since, video.packets.size() - key);
    EXPECT_EQ(Adler32(all[since].bytes.data(), all[since].bytes.size()), video.packets[key].adler32);
    EXPECT_EQ(all[since].event.start, 0) << "stamped at the segment start";
}

TEST(Mpeg4Video, AConfigurationStartingWithAVopIsRefused) {
    std::vector<uint8_t> file = ReadWholeFile(CorpusFile("mpeg4v.mp4"));
    const uint8_t sequence[] = {0x00, 0x00, 0x01, 0xB0};
    auto at = std::search(file.begin(), file.end(), std::begin(sequence), std::end(sequence));
    ASSERT_NE(at, file.end());
    at[3] = 0xB6;  // vop_start_code in place of the visual object sequence
    const std::string path = ScratchFile("mpeg4v_vop_config.mp4");
    ASSERT_TRUE(WriteWholeFile(path, file));

    TestGraph graph;
    ASSERT_EQ(graph.Load(path), S_OK) << "the pin is made; its type is refused when asked for";
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(graph.Filter()->EnumPins(pins.Receive()), S_OK);
    ComPtr<IPin> pin;
    ASSERT_EQ(pins->Next(1, pin.Receive(), nullptr), S_OK);
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(pin->EnumMediaTypes(types.Receive()), S_OK);
    AM_MEDIA_TYPE* type = nullptr;
    EXPECT_NE(types->Next(1, &type, nullptr), S_OK);
    if (type) DeleteMediaType(type);
    EXPECT_TRUE(FAILED(graph.ConnectSinks()));
}

}  // namespace
