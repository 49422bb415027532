#include "audio_specific_config.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bit_string.h"

namespace {

using Fields = std::vector<uint32_t>;

AscResult Parse(const std::vector<uint8_t>& bytes, AudioSpecificConfigInfo* info) {
    return ParseExact(ParseAudioSpecificConfig, bytes, info);
}

struct HeaderCase {
    const char* name;
    std::vector<uint8_t> bytes;
    AscResult result;
    uint32_t object_type, frequency, channels;
};

TEST(AudioSpecificConfig, Header) {
    const std::vector<HeaderCase> cases = {
        {"AAC LC 44.1 kHz stereo", {0x12, 0x10}, AscResult::Ok, 2, 44100, 2},
        {"AAC LC 24 kHz stereo, SBR signalled behind", {0x13, 0x10, 0x56, 0xE5, 0x98}, AscResult::Ok, 2, 24000, 2},
        {"AAC LC 48 kHz 5.1", {0x11, 0xB0}, AscResult::Ok, 2, 48000, 6},
        {"AAC LC 96 kHz mono", {0x10, 0x08}, AscResult::Ok, 2, 96000, 1},
        {"AAC LC 7350 Hz", {0x16, 0x10}, AscResult::Ok, 2, 7350, 2},
        {"index 13", BitString().u(5, 2).u(4, 13).u(4, 2).u(3, 0).bytes(), AscResult::Ok, 2, 0, 2},
        {"index 14", BitString().u(5, 2).u(4, 14).u(4, 1).u(3, 0).bytes(), AscResult::Ok, 2, 0, 1},
        {"index 15 with 50000", BitString().u(5, 2).u(4, 15).u(24, 50000).u(4, 2).u(3, 0).bytes(), AscResult::Ok, 2,
         50000, 2},
        {"explicit SBR, type 5", {0x2B, 0x92, 0x08, 0x00}, AscResult::UnsupportedObjectType, 5, 22050, 2},
        {"CELP, type 8", BitString().u(5, 8).u(4, 3).u(4, 1).u(3, 0).bytes(), AscResult::UnsupportedObjectType, 8,
         48000, 1},
        {"one byte", {0x12}, AscResult::Truncated, 2, 44100, 0},
        {"coreCoderDelay missing", BitString().u(5, 2).u(4, 4).u(4, 2).u(1, 0).u(1, 1).u(1, 0).bytes(),
         AscResult::Truncated, 2, 44100, 2},
    };
    for (const HeaderCase& c : cases) {
        AudioSpecificConfigInfo info;
        EXPECT_EQ(Parse(c.bytes, &info), c.result) << c.name;
        EXPECT_EQ(info.audioObjectType, c.object_type) << c.name;
        EXPECT_EQ(info.samplingFrequency, c.frequency) << c.name;
        EXPECT_EQ(info.channelConfiguration, c.channels) << c.name;
    }
}

TEST(AudioSpecificConfig, NoInput) {
    AudioSpecificConfigInfo info;
    info.samplingFrequency = 5;
    EXPECT_EQ(ParseAudioSpecificConfig(nullptr, 2, &info), AscResult::NoInput);
    EXPECT_EQ(info.samplingFrequency, 0u) << "the record is reset";
    const uint8_t bytes[] = {0x12, 0x10};
    EXPECT_EQ(ParseAudioSpecificConfig(bytes, 0, &info), AscResult::NoInput);
    EXPECT_EQ(ParseAudioSpecificConfig(bytes, 2, nullptr), AscResult::NoInput);
}

TEST(AudioSpecificConfig, GaFields) {
    // frameLengthFlag, dependsOnCoreCoder with its 14-bit delay, extensionFlag.
    AudioSpecificConfigInfo info;
    ASSERT_EQ(Parse(BitString().u(5, 2).u(4, 3).u(4, 2).flag(true).flag(true).u(14, 0x2345).flag(false).bytes(), &info),
              AscResult::Ok);
    EXPECT_EQ(info.frameLengthFlag, 1u);
    EXPECT_EQ(info.dependsOnCoreCoder, 1u);
    EXPECT_EQ(info.coreCoderDelay, 0x2345u);
    EXPECT_EQ(info.extensionFlag, 0u);

    // Type 6 (scalable) reads layerNr.
    ASSERT_EQ(Parse(BitString().u(5, 6).u(4, 3).u(4, 1).u(3, 0).u(3, 5).bytes(), &info), AscResult::Ok);
    EXPECT_EQ(info.layerNr, 5u);

    // Type 22 with extensionFlag: numOfSubFrame, layer_length, extensionFlag3.
    ASSERT_EQ(
        Parse(BitString().u(5, 22).u(4, 3).u(4, 1).u(2, 0).flag(true).u(5, 17).u(11, 1234).flag(true).bytes(), &info),
        AscResult::Ok);
    EXPECT_EQ(info.numOfSubFrame, 17u);
    EXPECT_EQ(info.layer_length, 1234u);
    EXPECT_EQ(info.extensionFlag3, 1u);
    EXPECT_EQ(info.aacSectionDataResilienceFlag, 0u);

    // Type 20 with extensionFlag: layerNr, then the three resilience flags.
    ASSERT_EQ(
        Parse(BitString().u(5, 20).u(4, 3).u(4, 1).u(2, 0).flag(true).u(3, 2).text("101").flag(false).bytes(), &info),
        AscResult::Ok);
    EXPECT_EQ(info.layerNr, 2u);
    EXPECT_EQ(info.aacSectionDataResilienceFlag, 1u);
    EXPECT_EQ(info.aacScalefactorDataResilienceFlag, 0u);
    EXPECT_EQ(info.aacSpectralDataResilienceFlag, 1u);
    EXPECT_EQ(info.extensionFlag3, 0u);

    // Type 17 with extensionFlag: the resilience flags too; cut before them.
    const BitString type17 = BitString().u(5, 17).u(4, 3).u(4, 1).u(2, 0).flag(true);
    EXPECT_EQ(Parse(type17.bytes(), &info), AscResult::Truncated);
    ASSERT_EQ(Parse(BitString(type17).text("011").flag(true).bytes(), &info), AscResult::Ok);
    EXPECT_EQ((Fields{info.aacSectionDataResilienceFlag, info.aacScalefactorDataResilienceFlag,
                      info.aacSpectralDataResilienceFlag, info.extensionFlag3}),
              (Fields{0, 1, 1, 1}));
}

// AAC LC at 48 kHz, channelConfiguration 0, then the program_config_element
// that `pce` writes.
template <class Pce>
std::vector<uint8_t> WithPce(Pce pce) {
    BitString b;
    b.u(5, 2).u(4, 3).u(4, 0).u(3, 0);
    pce(b);
    return b.bytes();
}

TEST(AudioSpecificConfig, ProgramConfigFivePointOneWithMixdownsAndComment) {
    const std::vector<uint8_t> bytes = WithPce([](BitString& b) {
        b.u(4, 0).u(2, 1).u(4, 3).u(4, 2).u(4, 1).u(4, 1).u(2, 1).u(3, 1).u(4, 1);
        b.flag(true).u(4, 9).flag(true).u(4, 10).flag(true).u(2, 3).flag(true);  // mixdowns
        b.flag(false).u(4, 0).flag(true).u(4, 1);                                // front: SCE, CPE
        b.flag(true).u(4, 2);                                                    // side: CPE
        b.flag(true).u(4, 3);                                                    // back: CPE
        b.u(4, 4);                                                               // LFE
        b.u(4, 5);                                                               // associated data
        b.flag(true).u(4, 6);                                                    // coupling
        b.byte_align().u(8, 3).text("01100001 01100010 01100011");               // "abc"
    });
    AudioSpecificConfigInfo info;
    ASSERT_EQ(Parse(bytes, &info), AscResult::Ok);
    const ProgramConfigElement& p = info.program_config_element;
    // The mixdowns, then each element kind's fields, in syntax order.
    EXPECT_EQ((Fields{p.mono_mixdown_element_number, p.stereo_mixdown_element_number, p.matrix_mixdown_idx,
                      p.pseudo_surround_enable}),
              (Fields{9, 10, 3, 1}));
    EXPECT_EQ((Fields{p.front_element_is_cpe[0], p.front_element_tag_select[0], p.front_element_is_cpe[1],
                      p.front_element_tag_select[1], p.side_element_is_cpe[0], p.side_element_tag_select[0],
                      p.back_element_is_cpe[0], p.back_element_tag_select[0], p.lfe_element_tag_select[0],
                      p.assoc_data_element_tag_select[0], p.cc_element_is_ind_sw[0], p.valid_cc_element_tag_select[0]}),
              (Fields{0, 0, 1, 1, 1, 2, 1, 3, 4, 5, 1, 6}));
    ASSERT_EQ(p.comment_field_bytes, 3u);
    EXPECT_EQ(std::string(p.comment_field_data, p.comment_field_data + 3), "abc");
    for (size_t length = 1; length < bytes.size(); ++length) {
        const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + std::ptrdiff_t(length));
        EXPECT_EQ(Parse(cut, &info), AscResult::Truncated) << length;
    }
}

TEST(AudioSpecificConfig, ProgramConfigLimits) {
    // Fifteen elements of each kind the counts allow, a 255-byte comment,
    // and a frequency index of 15 with its 24-bit frequency behind it.
    const std::vector<uint8_t> bytes = WithPce([](BitString& b) {
        b.u(4, 15).u(2, 3).u(4, 15).u(24, 50000).u(4, 15).u(4, 15).u(4, 15).u(2, 3).u(3, 7).u(4, 15).text("000");
        for (int i = 0; i < 45; ++i) b.flag(true).u(4, 15);
        for (int i = 0; i < 3 + 7; ++i) b.u(4, 14);
        for (int i = 0; i < 15; ++i) b.flag(true).u(4, 13);
        b.byte_align().u(8, 255);
        for (int i = 0; i < 255; ++i) b.u(8, uint64_t(i));
    });
    AudioSpecificConfigInfo info;
    ASSERT_EQ(Parse(bytes, &info), AscResult::Ok);
    const ProgramConfigElement& p = info.program_config_element;
    EXPECT_EQ(p.sampling_frequency, 50000u);
    EXPECT_EQ(p.back_element_tag_select[14], 15u);
    EXPECT_EQ(p.lfe_element_tag_select[2], 14u);
    EXPECT_EQ(p.assoc_data_element_tag_select[6], 14u);
    EXPECT_EQ(p.valid_cc_element_tag_select[14], 13u);
    ASSERT_EQ(p.comment_field_bytes, 255u);
    EXPECT_EQ(p.comment_field_data[254], 254u);
    // One comment byte short.
    const std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 1);
    EXPECT_EQ(Parse(cut, &info), AscResult::Truncated);
}

}  // namespace
