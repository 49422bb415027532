// Decoder configurations the pins refuse or cannot stream, made by changing
// a byte or two of a real H.264 + AAC file: the pin refuses its media type
// (the connection fails) or its stream aborts with E_FAIL.
#include <gtest/gtest.h>

#include <evcode.h>

#include <algorithm>

#include "test_graph.h"
#include "stream_packets.h"

namespace {

constexpr char kFile[] = "h264_aac.mp4";
constexpr size_t kVideo = 0, kAudio = 1;

enum class Outcome { kVideoRefused, kAudioRefused, kVideoAborts, kPlays };

struct Patch {
    const char* what;
    // Applied to the file's bytes: the avcC box body, or the AudioSpecificConfig.
    bool in_avcc;
    size_t offset;
    uint8_t value;
    Outcome outcome;
};

class RefusedFormat : public ::testing::TestWithParam<Patch> {};

std::string Patched(const Patch& patch) {
    std::vector<uint8_t> bytes = ReadWholeFile(CorpusFile(kFile));
    std::vector<uint8_t> anchor;
    if (patch.in_avcc) {
        anchor = {'a', 'v', 'c', 'C'};
    } else {
        anchor = LoadStreamPackets(kFile)[kAudio].extradata;  // the stored AudioSpecificConfig
    }
    auto at = std::search(bytes.begin(), bytes.end(), anchor.begin(), anchor.end());
    if (at == bytes.end()) return "";
    size_t base = static_cast<size_t>(at - bytes.begin()) + (patch.in_avcc ? anchor.size() : 0);
    bytes[base + patch.offset] = patch.value;
    std::string path = ScratchFile(std::string("patched_") + std::to_string(base + patch.offset) + "_" +
                                   std::to_string(patch.value) + ".mp4");
    return WriteWholeFile(path, bytes) ? path : "";
}

TEST_P(RefusedFormat, IsRefusedOrAbortsAsTheFormatRulesSay) {
    const Patch& patch = GetParam();
    std::string path = Patched(patch);
    ASSERT_FALSE(path.empty());
    TestGraph graph;
    ASSERT_EQ(graph.Load(path), S_OK) << "both tracks get their pins; the formats are judged at connection";
    HRESULT connected = graph.ConnectSinks();
    switch (patch.outcome) {
        case Outcome::kVideoRefused:
            EXPECT_TRUE(FAILED(connected));
            EXPECT_FALSE(graph.Sink(kVideo)->IsConnected());
            break;
        case Outcome::kAudioRefused:
            EXPECT_TRUE(FAILED(connected));
            ASSERT_EQ(graph.Pins().size(), 2u);
            EXPECT_TRUE(graph.Sink(kVideo)->IsConnected());
            EXPECT_FALSE(graph.Sink(kAudio)->IsConnected());
            break;
        case Outcome::kVideoAborts: {
            ASSERT_EQ(connected, S_OK);
            ASSERT_EQ(graph.Control()->Run(), S_OK);
            LONG_PTR error = 0;
            ASSERT_EQ(graph.WaitForEvent(EC_ERRORABORT, 10000, &error), S_OK);
            EXPECT_EQ(static_cast<HRESULT>(error), E_FAIL);
            EXPECT_TRUE(EventsOfKind(graph.Sink(kVideo)->Events(), SinkEventKind::kSample).empty());
            break;
        }
        case Outcome::kPlays:
            ASSERT_EQ(connected, S_OK);
            EXPECT_EQ(graph.RunToCompletion(), S_OK);
            break;
    }
}

// avcC body: version, profile, compatibility, level, 0xFC | lengthSizeMinusOne.
// AudioSpecificConfig 0x12 0x10: object type 2, 44100 Hz, two channels.
INSTANTIATE_TEST_SUITE_P(Patches, RefusedFormat,
                         ::testing::Values(Patch{"level 8", true, 3, 8, Outcome::kVideoRefused},
                                           Patch{"level 9", true, 3, 9, Outcome::kPlays},
                                           Patch{"three-byte NAL lengths", true, 4, 0xFE, Outcome::kVideoAborts},
                                           Patch{"object type 5 (SBR)", false, 0, 0x2A, Outcome::kAudioRefused},
                                           Patch{"object type 29 (PS)", false, 0, 0xEA, Outcome::kAudioRefused},
                                           Patch{"channel configuration 3", false, 1, 0x18, Outcome::kAudioRefused},
                                           Patch{"channel configuration 1", false, 1, 0x08, Outcome::kPlays}),
                         [](const ::testing::TestParamInfo<Patch>& info) {
                             std::string name = info.param.what;
                             std::replace_if(
                                 name.begin(), name.end(),
                                 [](char c) { return !isalnum(static_cast<unsigned char>(c)); }, '_');
                             return name;
                         });

}  // namespace
