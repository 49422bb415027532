// ffmpeg's own avcC records and ES descriptors against what ffprobe reports
// for the same streams (tests/bitstream/make_reference.py writes both).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "aspect_ratio.h"
#include "audio_specific_config.h"
#include "avc_config_writer.h"
#include "bit_string.h"
#include "es_descriptor.h"
#include "hevc_sps_parser.h"
#include "hvcc_units.h"
#include "sps_parser.h"
#include "video_object_layer.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes FromHex(const std::string& hex) {
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

struct Line {
    std::string kind, name;
    Bytes bytes;
    std::vector<uint32_t> values;
};

// The lines of one kind, each with `value_count` values; at least `min_lines`.
std::vector<Line> ReadReference(const char* kind, size_t min_lines, size_t value_count) {
    const char* dir = std::getenv("KELO_BITSTREAM_REFERENCE_DIR");
    if (dir == nullptr) {
        ADD_FAILURE() << "KELO_BITSTREAM_REFERENCE_DIR is not set: run tests/bitstream/make_reference.py DIR";
        return {};
    }
    std::ifstream in(std::string(dir) + "/reference.tsv");
    EXPECT_TRUE(in) << dir << "/reference.tsv";
    std::vector<Line> lines;
    std::string text;
    while (std::getline(in, text)) {
        std::istringstream fields(text);
        Line line;
        std::string hex;
        fields >> line.kind >> line.name >> hex;
        line.bytes = FromHex(hex);
        uint32_t v = 0;
        while (fields >> v) line.values.push_back(v);
        if (line.kind != kind) continue;
        EXPECT_EQ(line.values.size(), value_count) << line.name;
        if (line.values.size() == value_count) lines.push_back(line);
    }
    EXPECT_GE(lines.size(), min_lines) << kind;
    return lines;
}

// The avcC fields this test reads itself (ISO/IEC 14496-15), to feed the
// library from ffmpeg's record.
struct AvcC {
    uint8_t profile, compatibility, level, length_size_minus_one;
    std::vector<Bytes> sps, pps;
    size_t parameter_sets_end;
};

AvcC SplitAvcC(const Bytes& b) {
    AvcC c{b.at(1), b.at(2), b.at(3), uint8_t(b.at(4) & 3), {}, {}, 0};
    size_t pos = 5;
    const auto take = [&](std::vector<Bytes>* out, unsigned count) {
        for (unsigned i = 0; i < count; ++i) {
            const size_t length = size_t(b.at(pos)) << 8 | b.at(pos + 1);
            out->emplace_back(b.begin() + std::ptrdiff_t(pos + 2), b.begin() + std::ptrdiff_t(pos + 2 + length));
            pos += 2 + length;
        }
    };
    take(&c.sps, b.at(pos++) & 0x1F);
    take(&c.pps, b.at(pos++));
    c.parameter_sets_end = pos;
    return c;
}

// A ratio in lowest terms, as ffprobe prints it.
std::vector<uint32_t> Reduced(uint32_t x, uint32_t y) { return {x / std::gcd(x, y), y / std::gcd(x, y)}; }

TEST(RealMedia, AvcConfigurationsMatchFfprobe) {
    const std::vector<Line> lines = ReadReference("avc", 10, 6);
    for (const Line& line : lines) {
        SCOPED_TRACE(line.name);
        const uint32_t width = line.values[0], height = line.values[1];
        const AvcC avcc = SplitAvcC(line.bytes);
        ASSERT_EQ(avcc.sps.size(), 1u);
        const Bytes& unit = avcc.sps[0];
        AvcSpsInfo s;
        ASSERT_TRUE(ParseExact(ParseSequenceParameterSet, unit, &s));
        EXPECT_EQ(s.profile_idc, avcc.profile);
        EXPECT_EQ(s.level_idc, avcc.level);

        // Picture size from macroblocks and cropping (7.4.2.1.1).
        const uint32_t sub_width = s.chroma_format_idc == 3 ? 1 : 2;
        const uint32_t sub_height = s.chroma_format_idc == 1 ? 2 : 1;
        const uint32_t crop_x = s.chroma_format_idc == 0 ? 1 : sub_width;
        const uint32_t crop_y = (s.chroma_format_idc == 0 ? 1 : sub_height) * (2 - s.frame_mbs_only_flag);
        EXPECT_EQ(
            (s.pic_width_in_mbs_minus1 + 1) * 16 - crop_x * (s.frame_crop_left_offset + s.frame_crop_right_offset),
            width);
        EXPECT_EQ((2 - s.frame_mbs_only_flag) * (s.pic_height_in_map_units_minus1 + 1) * 16 -
                      crop_y * (s.frame_crop_top_offset + s.frame_crop_bottom_offset),
                  height);

        uint32_t sar_x = 0, sar_y = 0;
        GetSampleAspectRatio(s, &sar_x, &sar_y);
        EXPECT_EQ(Reduced(sar_x, sar_y), (std::vector<uint32_t>{line.values[2], line.values[3]}));

        // ffprobe's display ratio uses the whole width; ours the width cut to
        // a multiple of 32, which is the same for these widths only.
        if (width % 32 == 0) {
            uint32_t dar_x = 0, dar_y = 0;
            ComputeDisplayAspectRatio(width, height, sar_x, sar_y, &dar_x, &dar_y);
            EXPECT_EQ(dar_x, line.values[4]);
            EXPECT_EQ(dar_y, line.values[5]);
        }

        // The record rebuilt from its parameter sets, byte for byte.
        AvcConfigWriter w;
        ASSERT_TRUE(w.WriteHeader(avcc.profile, avcc.compatibility, avcc.level, avcc.length_size_minus_one));
        for (const Bytes& sps : avcc.sps) ASSERT_TRUE(w.AddSps(sps.data(), uint32_t(sps.size())));
        for (const Bytes& pps : avcc.pps) ASSERT_TRUE(w.AddPps(pps.data(), uint32_t(pps.size())));
        Bytes record;
        ASSERT_TRUE(w.Finish(&record));
        // ffmpeg appends the profile extension fields for the high profiles;
        // the writer stops after the picture parameter sets.
        EXPECT_EQ(record, Bytes(line.bytes.begin(), line.bytes.begin() + std::ptrdiff_t(avcc.parameter_sets_end)));
        const bool high = avcc.profile == 100 || avcc.profile == 110 || avcc.profile == 122 || avcc.profile == 144;
        EXPECT_EQ(line.bytes.size() - record.size(), high ? 4u : 0u);
    }
}

// The first SPS (NAL unit type 33) of an hvcC record.
Bytes HevcSpsOf(const Bytes& b) {
    for (const HvccUnit& unit : HvccUnits(b))
        if (unit.type == 33)
            return Bytes(b.begin() + std::ptrdiff_t(unit.length_at + 2),
                         b.begin() + std::ptrdiff_t(unit.length_at + 2 + unit.length));
    return {};
}

TEST(RealMedia, HevcSequenceParameterSetsMatchFfprobe) {
    const std::vector<Line> lines = ReadReference("hevc", 5, 5);
    for (const Line& line : lines) {
        SCOPED_TRACE(line.name);
        const Bytes unit = HevcSpsOf(line.bytes);
        ASSERT_FALSE(unit.empty());
        HevcSpsInfo s;
        ASSERT_TRUE(ParseExact(ParseHevcSequenceParameterSet, unit, &s));
        EXPECT_EQ(s.general_profile_idc, line.bytes.at(1) & 0x1Fu);
        EXPECT_EQ(s.general_level_idc, line.bytes.at(12));
        uint32_t width = 0, height = 0, sar_x = 0, sar_y = 0;
        GetHevcDisplaySize(s, &width, &height);
        EXPECT_EQ(width, line.values[0]);
        EXPECT_EQ(height, line.values[1]);
        SampleAspectRatioOf(s.aspect_ratio_idc, s.sar_width, s.sar_height, &sar_x, &sar_y);
        EXPECT_EQ(Reduced(sar_x, sar_y), (std::vector<uint32_t>{line.values[2], line.values[3]}));
        EXPECT_EQ(s.bit_depth_luma_minus8 + 8, line.values[4]);
    }
}

// The DecoderSpecificInfo of a line's ES descriptor, found in an exact copy
// of the descriptor (a read past it is reported).
void DecoderSpecificInfoOf(const Line& line, Bytes* out) {
    auto copy = ExactCopy(line.bytes.data(), line.bytes.size());
    const uint8_t* config = nullptr;
    uint32_t length = 0;
    ASSERT_TRUE(FindDecoderSpecificInfo(copy.get(), uint32_t(line.bytes.size()), &config, &length));
    out->assign(config, config + length);
}

TEST(RealMedia, AudioSpecificConfigsMatchFfprobe) {
    const std::vector<Line> lines = ReadReference("aac", 5, 2);
    bool saw_pce = false;
    for (const Line& line : lines) {
        SCOPED_TRACE(line.name);
        Bytes config;
        ASSERT_NO_FATAL_FAILURE(DecoderSpecificInfoOf(line, &config));
        ASSERT_GE(config.size(), 2u);
        AudioSpecificConfigInfo info;
        EXPECT_EQ(ParseExact(ParseAudioSpecificConfig, config, &info), AscResult::Ok);
        EXPECT_EQ(info.audioObjectType, 2u);
        EXPECT_EQ(info.samplingFrequency, line.values[0]);
        uint32_t channels = info.channelConfiguration;
        if (channels == 0) {
            saw_pce = true;
            const ProgramConfigElement& p = info.program_config_element;
            EXPECT_EQ(p.sampling_frequency, line.values[0]);
            channels = p.num_lfe_channel_elements;
            for (uint32_t i = 0; i < p.num_front_channel_elements; ++i) channels += p.front_element_is_cpe[i] ? 2 : 1;
            for (uint32_t i = 0; i < p.num_side_channel_elements; ++i) channels += p.side_element_is_cpe[i] ? 2 : 1;
            for (uint32_t i = 0; i < p.num_back_channel_elements; ++i) channels += p.back_element_is_cpe[i] ? 2 : 1;
        }
        EXPECT_EQ(channels, line.values[1]);
    }
    EXPECT_TRUE(saw_pce) << "no file carried a program_config_element";
}

TEST(RealMedia, VideoObjectLayersMatchFfprobe) {
    const std::vector<Line> lines = ReadReference("m4v", 3, 2);
    for (const Line& line : lines) {
        SCOPED_TRACE(line.name);
        Bytes config;
        ASSERT_NO_FATAL_FAILURE(DecoderSpecificInfoOf(line, &config));
        Mpeg4VolInfo info;
        EXPECT_EQ(ParseExact(ParseVideoObjectLayer, config, &info), VolResult::Ok);
        EXPECT_EQ(info.video_object_layer_width, line.values[0]);
        EXPECT_EQ(info.video_object_layer_height, line.values[1]);
        EXPECT_EQ(info.vop_time_increment_resolution, 25u);
    }
}

}  // namespace
