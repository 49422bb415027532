#include "hevc_sps_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "aspect_ratio.h"
#include "bit_string.h"

namespace {

// What a hand-made SPS holds; every row changes a few of these.
struct SpsShape {
    uint32_t nal_type = 33;
    uint32_t sub_layers_minus1 = 0;
    uint32_t chroma_format_idc = 1;
    uint32_t width = 1920, height = 1080;
    std::vector<uint32_t> window;  // left, right, top, bottom in chroma units; empty: none
    uint32_t bit_depth_minus8 = 0;
    bool scaling_list = false;
    uint32_t scaling_delta = 0;  // the first list's scaling_list_pred_matrix_id_delta
    bool scaling_coefficients = false;  // each size's first matrix coded, not predicted
    bool predicted_rps = false;  // a second short-term set predicted from the first
    uint32_t dropped_pics = 0;   // pictures the second set drops; a third set is then predicted from it
    uint32_t negative_pics = 1;
    uint32_t long_term_pics = 0;
    bool vui = false;
    uint32_t aspect_ratio_idc = 0;  // 0: no aspect ratio information
    uint32_t sar_width = 0, sar_height = 0;
    bool field_seq = false;
    bool display_window = false;
    bool timing = false;
    bool truncate = false;  // cut the unit in the VUI
};

std::vector<uint8_t> Build(const SpsShape &s) {
    BitString b;
    b.u(8, 0x01);  // the second header byte: layer 0, temporal id plus 1 = 1
    b.u(4, 0).u(3, s.sub_layers_minus1).flag(true);
    // profile_tier_level: Main (idc 1, compatible with 1 and 2), level 4.1.
    b.u(2, 0).flag(false).u(5, 1).u(32, 0x60000000).text("1001").u(32, 0).u(12, 0).u(8, 123);
    for (uint32_t i = 0; i < s.sub_layers_minus1; ++i) b.flag(true).flag(true);
    if (s.sub_layers_minus1 > 0)
        for (uint32_t i = s.sub_layers_minus1; i < 8; ++i) b.u(2, 0);
    for (uint32_t i = 0; i < s.sub_layers_minus1; ++i) b.u(32, 0).u(32, 0).u(24, 0).u(8, 90);
    b.ue(0).ue(s.chroma_format_idc);
    if (s.chroma_format_idc == 3) b.flag(false);
    b.ue(s.width).ue(s.height).flag(!s.window.empty());
    for (uint32_t offset : s.window) b.ue(offset);
    b.ue(s.bit_depth_minus8).ue(s.bit_depth_minus8).ue(4);  // log2_max_pic_order_cnt_lsb_minus4
    b.flag(true);
    for (uint32_t i = 0; i <= s.sub_layers_minus1; ++i) b.ue(4).ue(2).ue(0);
    b.ue(0).ue(3).ue(0).ue(3).ue(0).ue(0);  // block sizes, hierarchy depths
    b.flag(s.scaling_list);
    if (s.scaling_list) {
        b.flag(true);
        for (uint32_t size_id = 0; size_id < 4; ++size_id)
            for (uint32_t matrix = 0; matrix < 6; matrix += size_id == 3 ? 3 : 1)
                if (s.scaling_coefficients && matrix == 0) {
                    b.flag(true);
                    if (size_id > 1) b.se(8);  // scaling_list_dc_coef_minus8
                    for (int i = 0; i < (size_id == 0 ? 16 : 64); ++i) b.se(i % 2 ? -1 : 1);
                } else {
                    b.flag(false).ue(size_id == 0 && matrix == 0 ? s.scaling_delta : 0);
                }
    }
    b.flag(false).flag(true).flag(false);  // amp, sample adaptive offset, no PCM
    b.ue(s.dropped_pics ? 3 : s.predicted_rps ? 2 : 1);
    b.ue(s.negative_pics).ue(0);
    for (uint32_t i = 0; i < s.negative_pics; ++i) b.ue(0).flag(true);
    if (s.predicted_rps) {
        b.flag(true).flag(true).ue(0);  // predicted, sign, abs_delta_rps_minus1
        for (uint32_t j = 0; j <= s.negative_pics; ++j) {
            if (j < s.dropped_pics) {
                b.flag(false).flag(false);  // neither used nor kept
            } else {
                b.flag(true);
            }
        }
    }
    if (s.dropped_pics) {
        b.flag(true).flag(true).ue(0);
        for (uint32_t j = 0; j <= s.negative_pics + 1 - s.dropped_pics; ++j) b.flag(true);
    }
    b.flag(s.long_term_pics != 0);
    if (s.long_term_pics != 0) b.ue(s.long_term_pics);
    for (uint32_t i = 0; i < s.long_term_pics; ++i) b.u(8, i).flag(true);  // 8-bit order count LSBs
    b.flag(true).flag(true).flag(s.vui);  // temporal MVP, smoothing
    if (s.vui) {
        b.flag(s.aspect_ratio_idc != 0);
        if (s.aspect_ratio_idc != 0) b.u(8, s.aspect_ratio_idc);
        if (s.aspect_ratio_idc == 255) b.u(16, s.sar_width).u(16, s.sar_height);
        b.flag(false).flag(true).u(3, 5).flag(false).flag(true).u(8, 1).u(8, 1).u(8, 1);  // video signal
        // no chroma location, not neutral chroma, field_seq, no frame field info, default display window
        b.flag(false).flag(false).flag(s.field_seq).flag(false).flag(s.display_window);
        if (s.display_window) b.ue(1).ue(2).ue(3).ue(4);
        b.flag(s.timing);
        if (s.timing) b.u(32, 1001).u(32, 60000);
        b.flag(false);  // no poc proportional / HRD / restrictions read further
    }
    b.flag(false);  // sps_extension_present_flag
    std::vector<uint8_t> nal = ToNalUnit(uint8_t(s.nal_type << 1), b.trailing().bytes());
    if (s.truncate) nal.resize(nal.size() - 8);
    return nal;
}

bool Parse(const std::vector<uint8_t> &nal, HevcSpsInfo *info) {
    return ParseExact(ParseHevcSequenceParameterSet, nal, info);
}

struct Row {
    const char *name;
    SpsShape shape;
    bool parses;
    uint32_t display_width, display_height, sar_x, sar_y;
};

SpsShape With(void (*change)(SpsShape &)) {
    SpsShape s;
    change(s);
    return s;
}

// The default picture in another chroma format, with a conformance window.
SpsShape Windowed(uint32_t chroma_format_idc, std::vector<uint32_t> window) {
    SpsShape s;
    s.chroma_format_idc = chroma_format_idc;
    s.window = std::move(window);
    return s;
}

const Row kRows[] = {
    {"plain 1080 lines", SpsShape{}, true, 1920, 1080, 1, 1},
    {"4:2:0 window of 8 lines", With([](SpsShape &s) {
         s.height = 1088, s.window = {0, 0, 0, 4};
     }),
     true, 1920, 1080, 1, 1},
    {"4:2:2 window halves across only", Windowed(2, {1, 2, 1, 2}), true, 1914, 1077, 1, 1},
    {"4:4:4 window in luma samples", Windowed(3, {1, 2, 1, 2}), true, 1917, 1077, 1, 1},
    {"monochrome", Windowed(0, {3, 0, 0, 0}), true, 1917, 1080, 1, 1},
    {"window as wide as the picture", Windowed(1, {480, 480, 0, 0}), false, 0, 0, 0, 0},
    {"width 0", With([](SpsShape &s) { s.width = 0; }), false, 0, 0, 0, 0},
    {"width above 65535", With([](SpsShape &s) { s.width = 65536; }), false, 0, 0, 0, 0},
    {"chroma format 4", With([](SpsShape &s) { s.chroma_format_idc = 4; }), false, 0, 0, 0, 0},
    {"10-bit", With([](SpsShape &s) { s.bit_depth_minus8 = 2; }), true, 1920, 1080, 1, 1},
    {"bit depth 17", With([](SpsShape &s) { s.bit_depth_minus8 = 9; }), false, 0, 0, 0, 0},
    {"three sub-layers", With([](SpsShape &s) { s.sub_layers_minus1 = 2; }), true, 1920, 1080, 1, 1},
    {"eight sub-layers", With([](SpsShape &s) { s.sub_layers_minus1 = 7; }), false, 0, 0, 0, 0},
    {"scaling lists predicted", With([](SpsShape &s) { s.scaling_list = true, s.vui = true, s.aspect_ratio_idc = 14; }),
     true, 1920, 1080, 4, 3},
    {"scaling lists coded",
     With([](SpsShape &s) { s.scaling_list = s.scaling_coefficients = s.vui = true, s.aspect_ratio_idc = 14; }), true,
     1920, 1080, 4, 3},
    {"scaling list predicted from a later matrix",
     With([](SpsShape &s) { s.scaling_list = true, s.scaling_delta = 1; }), false, 0, 0, 0, 0},
    {"long-term pictures before the VUI",
     With([](SpsShape &s) { s.long_term_pics = 3, s.vui = true, s.aspect_ratio_idc = 14; }), true, 1920, 1080, 4, 3},
    {"seventeen negative pictures", With([](SpsShape &s) { s.negative_pics = 17; }), false, 0, 0, 0, 0},
    {"predicted short-term set before the VUI",
     With([](SpsShape &s) { s.predicted_rps = true, s.negative_pics = 3, s.vui = true, s.aspect_ratio_idc = 2; }), true,
     1920, 1080, 12, 11},
    {"a set predicted from one that dropped pictures",
     With([](SpsShape &s) {
         s.predicted_rps = true, s.negative_pics = 3, s.dropped_pics = 2, s.vui = true, s.aspect_ratio_idc = 2;
     }),
     true, 1920, 1080, 12, 11},
    {"extended SAR 40:33",
     With([](SpsShape &s) { s.vui = true, s.aspect_ratio_idc = 255, s.sar_width = 40, s.sar_height = 33; }), true, 1920,
     1080, 40, 33},
    {"extended SAR with a zero term",
     With([](SpsShape &s) { s.vui = true, s.aspect_ratio_idc = 255, s.sar_width = 0, s.sar_height = 33; }), true, 1920,
     1080, 1, 1},
    {"reserved aspect ratio idc", With([](SpsShape &s) { s.vui = true, s.aspect_ratio_idc = 17; }), true, 1920, 1080, 1,
     1},
    {"VUI cut short", With([](SpsShape &s) { s.vui = true, s.timing = true, s.truncate = true; }), false, 0, 0, 0, 0},
    {"a PPS", With([](SpsShape &s) { s.nal_type = 34; }), false, 0, 0, 0, 0},
};

TEST(HevcSequenceParameterSet, Rows) {
    for (const Row &row : kRows) {
        SCOPED_TRACE(row.name);
        HevcSpsInfo s;
        ASSERT_EQ(Parse(Build(row.shape), &s), row.parses);
        if (!row.parses) continue;
        EXPECT_EQ(s.general_profile_idc, 1u);
        EXPECT_EQ(s.general_level_idc, 123u);
        EXPECT_EQ(s.general_progressive_source_flag, 1u);
        EXPECT_EQ(s.bit_depth_luma_minus8, row.shape.bit_depth_minus8);
        uint32_t width = 0, height = 0, sar_x = 0, sar_y = 0;
        GetHevcDisplaySize(s, &width, &height);
        EXPECT_EQ(width, row.display_width);
        EXPECT_EQ(height, row.display_height);
        SampleAspectRatioOf(s.aspect_ratio_idc, s.sar_width, s.sar_height, &sar_x, &sar_y);
        EXPECT_EQ(sar_x, row.sar_x);
        EXPECT_EQ(sar_y, row.sar_y);
    }
}

TEST(HevcSequenceParameterSet, VuiFieldsAndEveryShorterUnitFails) {
    SpsShape shape;
    shape.vui = true;
    shape.aspect_ratio_idc = 255;
    shape.sar_width = 4;
    shape.sar_height = 3;
    shape.timing = shape.field_seq = shape.display_window = true;
    const std::vector<uint8_t> nal = Build(shape);
    HevcSpsInfo whole;
    ASSERT_TRUE(Parse(nal, &whole));
    EXPECT_EQ(whole.field_seq_flag, 1u);
    EXPECT_EQ(whole.frame_field_info_present_flag, 0u);
    EXPECT_EQ(whole.vui_num_units_in_tick, 1001u);
    EXPECT_EQ(whole.vui_time_scale, 60000u);
    // The timing fields end 2 bytes before the trailing bits.
    for (size_t size = 0; size + 3 < nal.size(); ++size) {
        HevcSpsInfo s;
        EXPECT_FALSE(Parse(std::vector<uint8_t>(nal.begin(), nal.begin() + std::ptrdiff_t(size)), &s)) << size;
    }
}

TEST(AspectRatio, ExactPictureRatio) {
    struct {
        uint32_t width, height, sar_x, sar_y, x, y;
    } const rows[] = {
        {1920, 1080, 1, 1, 16, 9}, {720, 480, 10, 11, 15, 11},  // the whole width, unlike the AVC rule
        {1440, 1080, 4, 3, 16, 9}, {0, 1080, 1, 1, 0, 1080},   {65535, 1, 65535, 1, 4294836225u, 1},
        // Halved until both fit; a 1 stays 1.
        {4294967295u, 1, 3, 1, 3221225471u, 1},  {1, 4294967295u, 1, 3, 1, 3221225471u},
    };
    for (const auto &r : rows) {
        uint32_t x = 0, y = 0;
        ComputeExactAspectRatio(r.width, r.height, r.sar_x, r.sar_y, &x, &y);
        EXPECT_EQ(x, r.x) << r.width << "x" << r.height;
        EXPECT_EQ(y, r.y) << r.width << "x" << r.height;
    }
}

}  // namespace
