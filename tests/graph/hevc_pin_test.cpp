// The HEVC pin's media type against the file's own hvcC, the records it
// refuses at connection (made by changing a byte of a real file), and a file
// whose audio no pin plays: its video still plays.
#include <gtest/gtest.h>

#include "test_graph.h"  // windows.h and dshow.h before dvdmedia.h

#include <dvdmedia.h>

#include <algorithm>
#include <cstdlib>

#include "hvcc_units.h"

namespace {

constexpr size_t kVideo = 0, kAudio = 1;
// tests/graph/make_av_media.sh: 170x126 with a 10:11 sample aspect ratio, 3 s at 25 fps.
constexpr char kFile[] = "hevc_hvc1_sar1011_gop10.mp4";
constexpr LONG kWidth = 170, kHeight = 126;
constexpr int kFrames = 75;

std::string AvMediaFile(const std::string& name) {
    const char* folder = std::getenv("KELO_AV_MEDIA");
    return std::string(folder ? folder : "") + "/" + name;
}

// The body of the file's hvcC and where it starts.
std::vector<uint8_t> HvcC(const std::vector<uint8_t>& file, size_t* at) {
    static const uint8_t kType[] = {'h', 'v', 'c', 'C'};
    auto found = std::search(file.begin(), file.end(), std::begin(kType), std::end(kType));
    if (found == file.end() || found - file.begin() < 4) return {};
    *at = static_cast<size_t>(found - file.begin()) + 4;
    const size_t size =
        size_t(file[*at - 8]) << 24 | size_t(file[*at - 7]) << 16 | size_t(file[*at - 6]) << 8 | file[*at - 5];
    return std::vector<uint8_t>(file.begin() + std::ptrdiff_t(*at), file.begin() + std::ptrdiff_t(*at + size - 8));
}

// The VPS, SPS and PPS units, each behind its 2-byte length, in that order.
std::vector<uint8_t> SequenceHeader(const std::vector<uint8_t>& hvcc) {
    std::vector<uint8_t> out;
    for (unsigned type : {32u, 33u, 34u})
        for (const HvccUnit& unit : HvccUnits(hvcc))
            if (unit.type == type)
                out.insert(out.end(), hvcc.begin() + std::ptrdiff_t(unit.length_at),
                           hvcc.begin() + std::ptrdiff_t(unit.length_at + 2 + unit.length));
    return out;
}

TEST(HevcPin, TheFormatBlockCarriesTheFilesRecord) {
    size_t at = 0;
    const std::vector<uint8_t> hvcc = HvcC(ReadWholeFile(AvMediaFile(kFile)), &at);
    ASSERT_GT(hvcc.size(), 23u);
    TestGraph graph;
    ASSERT_EQ(graph.Open(AvMediaFile(kFile)), S_OK);
    ASSERT_EQ(graph.Pins().size(), 2u);
    EXPECT_EQ(graph.Pins()[kVideo].name, L"HEVC Video");
    CMediaType type = graph.Sink(kVideo)->ConnectedType();
    EXPECT_EQ(type.majortype, MEDIATYPE_Video);
    EXPECT_EQ(type.subtype.Data1, MAKEFOURCC('H', 'V', 'C', '1'));
    EXPECT_EQ(type.formattype, FORMAT_MPEG2Video);
    EXPECT_TRUE(type.bTemporalCompression);
    const std::vector<uint8_t> sets = SequenceHeader(hvcc);
    const size_t header_at = offsetof(MPEG2VIDEOINFO, dwSequenceHeader);
    ASSERT_EQ(type.cbFormat, header_at + sets.size());
    const auto* info = reinterpret_cast<const MPEG2VIDEOINFO*>(type.pbFormat);
    const RECT picture = {0, 0, kWidth, kHeight};
    EXPECT_TRUE(EqualRect(&info->hdr.rcSource, &picture));
    EXPECT_EQ(info->hdr.bmiHeader.biWidth, kWidth);
    EXPECT_EQ(info->hdr.bmiHeader.biHeight, kHeight);
    EXPECT_EQ(info->hdr.bmiHeader.biCompression, MAKEFOURCC('H', 'V', 'C', '1'));
    // 170 x 10 : 126 x 11, reduced.
    EXPECT_EQ(info->hdr.dwPictAspectRatioX, 850u);
    EXPECT_EQ(info->hdr.dwPictAspectRatioY, 693u);
    EXPECT_EQ(info->dwProfile, hvcc[1] & 0x1Fu);
    EXPECT_EQ(info->dwLevel, hvcc[12]);
    EXPECT_EQ(info->dwFlags, (hvcc[21] & 3u) + 1);
    EXPECT_EQ(info->cbSequenceHeader, sets.size());
    EXPECT_TRUE(std::equal(sets.begin(), sets.end(), type.pbFormat + header_at));

    // The same block under the other subtype.
    ComPtr<IPin> pin;
    ASSERT_EQ(graph.Sink(kVideo)->InputPin()->ConnectedTo(pin.Receive()), S_OK);
    CMediaType named = type;
    named.subtype.Data1 = MAKEFOURCC('H', 'E', 'V', 'C');
    EXPECT_EQ(pin->QueryAccept(&named), S_OK);
}

// The offset in the hvcC body of the SPS array's type byte (0 if none).
size_t SpsArrayType(const std::vector<uint8_t>& hvcc) {
    for (const HvccUnit& unit : HvccUnits(hvcc))
        if (unit.type == 33) return unit.array_at;
    return 0;
}
size_t LengthSizeByte(const std::vector<uint8_t>&) { return 21; }

struct Refusal {
    const char* what;
    size_t (*offset)(const std::vector<uint8_t>& hvcc);
    uint8_t mask, value;
};

class HevcRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(HevcRefusal, TheVideoPinIsRefusedAtConnection) {
    const Refusal& r = GetParam();
    std::vector<uint8_t> file = ReadWholeFile(AvMediaFile(kFile));
    size_t at = 0;
    const std::vector<uint8_t> hvcc = HvcC(file, &at);
    ASSERT_GT(hvcc.size(), 23u);
    const size_t offset = r.offset(hvcc);
    ASSERT_NE(offset, 0u);
    file[at + offset] = static_cast<uint8_t>((file[at + offset] & ~r.mask) | r.value);
    const std::string path = ScratchFile(std::string("hevc_refused_") + std::to_string(offset) + ".mp4");
    ASSERT_TRUE(WriteWholeFile(path, file));
    TestGraph graph;
    ASSERT_EQ(graph.Load(path), S_OK) << "the pin is made; the record is judged at connection";
    EXPECT_TRUE(FAILED(graph.ConnectSinks()));
    ASSERT_FALSE(graph.Pins().empty());
    EXPECT_EQ(graph.Pins()[kVideo].name, L"HEVC Video");
    EXPECT_FALSE(graph.Sink(kVideo)->IsConnected());
}

INSTANTIATE_TEST_SUITE_P(Records, HevcRefusal,
                         ::testing::Values(Refusal{"NAL length size 3", LengthSizeByte, 0x03, 0x02},
                                           // The SPS array becomes one of SEI units (type 39).
                                           Refusal{"no SPS", SpsArrayType, 0x3F, 39}));

TEST(HevcPin, AnAudioKindNoPinPlaysLeavesTheVideoPlaying) {
    TestGraph graph;
    ASSERT_EQ(graph.Load(PcmMedia("hevc_alac.mov")), S_OK);
    EXPECT_TRUE(FAILED(graph.ConnectSinks()));
    ASSERT_EQ(graph.Pins().size(), 2u);
    ASSERT_TRUE(graph.Sink(kVideo)->IsConnected());
    EXPECT_FALSE(graph.Sink(kAudio)->IsConnected());
    ASSERT_EQ(graph.Control()->Run(), S_OK);
    std::vector<SinkEvent> events;
    for (int waited = 0; waited < 300; ++waited) {
        events = graph.Sink(kVideo)->Events();
        if (!events.empty() && events.back().kind == SinkEventKind::kEndOfStream) break;
        Sleep(100);
    }
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().kind, SinkEventKind::kEndOfStream);
    EXPECT_EQ(EventsOfKind(events, SinkEventKind::kSample).size(), static_cast<size_t>(kFrames));
    EXPECT_EQ(graph.Stop(), S_OK);
}

}  // namespace
