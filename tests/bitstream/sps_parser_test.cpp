#include "sps_parser.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "aspect_ratio.h"
#include "bit_string.h"

namespace {

constexpr uint8_t kSpsHeader = 0x67;

using Fields = std::vector<int64_t>;  // nal_ref_idc 3, nal_unit_type 7

// Fields up to seq_parameter_set_id.
BitString Head(uint32_t profile_idc, uint64_t sps_id = 0) {
    BitString b;
    b.u(8, profile_idc).text("110000").u(2, 0).u(8, 30).ue(sps_id);
    return b;
}

// The chroma-format block of the high profiles, without scaling matrix.
void HighFields(BitString& b, uint64_t chroma_format_idc = 1) {
    b.ue(chroma_format_idc).ue(2).ue(2).flag(false).flag(false);
}

// Frame numbering through the VUI flag: 320x240, progressive, no cropping.
void Body(BitString& b, uint64_t max_num_ref_frames = 1, bool vui = false) {
    b.ue(0).ue(2);  // log2_max_frame_num_minus4, pic_order_cnt_type 2
    b.ue(max_num_ref_frames).flag(false).ue(19).ue(14).flag(true).flag(true).flag(false).flag(vui);
}

std::vector<uint8_t> Nal(const BitString& b, uint8_t header = kSpsHeader) {
    BitString full = b;
    return ToNalUnit(header, full.trailing().bytes());
}

bool Parse(const std::vector<uint8_t>& nal, AvcSpsInfo* info) {
    return ParseExact(ParseSequenceParameterSet, nal, info);
}

struct Row {
    const char* name;
    std::function<BitString()> build;
    bool ok;
    uint32_t chroma_format_idc = 1, bit_depth_minus8 = 0;
    uint8_t header = kSpsHeader;
};

BitString PocCycle(uint64_t count) {
    BitString b = Head(77);
    b.ue(0).ue(1).flag(false).se(0).se(0).ue(count);
    for (uint64_t i = 0; i < count && i < 300; ++i) b.se(1);
    b.ue(1).flag(false).ue(19).ue(14).flag(true).flag(true).flag(false).flag(false);
    return b;
}

// Limits, and which profiles carry the chroma format and bit depths: a
// parse that accepts must have read the picture size behind them.
TEST(SequenceParameterSet, Rows) {
    const auto with = [](uint32_t profile, uint64_t sps_id, uint64_t refs, int64_t chroma) {
        return [=] {
            BitString b = Head(profile, sps_id);
            if (chroma >= 0) HighFields(b, uint64_t(chroma));
            Body(b, refs);
            return b;
        };
    };
    const auto plain = with(66, 0, 1, -1);
    const auto with_big_ue = [] {
        BitString b = Head(66);
        b.ue(0x100000000ull);  // log2_max_frame_num_minus4 past 32 bits
        return b;
    };
    const auto with_big_se = [] {
        BitString b = Head(77);
        b.ue(0).ue(1).flag(false).se(0x80000000ll);  // offset_for_non_ref_pic past int32
        return b;
    };
    const Row rows[] = {
        {"baseline", plain, true},
        {"another nal_ref_idc", plain, true, 1, 0, 0x27},
        {"a PPS", plain, false, 1, 0, 0x68},
        {"an IDR slice", plain, false, 1, 0, 0x65},
        {"seq_parameter_set_id 31", with(66, 31, 1, -1), true},
        {"seq_parameter_set_id 32", with(66, 32, 1, -1), false},
        {"max_num_ref_frames 16", with(66, 0, 16, -1), true},
        {"max_num_ref_frames 17", with(66, 0, 17, -1), false},
        {"255 frames in the order cycle", [] { return PocCycle(255); }, true},
        {"256 frames in the order cycle", [] { return PocCycle(256); }, false},
        {"profile 100", with(100, 0, 1, 2), true, 2, 2},
        {"profile 110", with(110, 0, 1, 2), true, 2, 2},
        {"profile 122", with(122, 0, 1, 2), true, 2, 2},
        {"profile 144", with(144, 0, 1, 2), true, 2, 2},
        {"chroma_format_idc 0", with(100, 0, 1, 0), true, 0, 2},
        {"chroma_format_idc 3", with(100, 0, 1, 3), false},
        {"profile 77", with(77, 0, 1, -1), true},
        {"profile 88", with(88, 0, 1, -1), true},
        // Read as a profile without those fields: a chroma block there
        // would be taken for frame numbering.
        {"profile 244", with(244, 0, 1, -1), true},
        {"ue past 32 bits", with_big_ue, false},
        {"se past 32 bits", with_big_se, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        AvcSpsInfo s;
        ASSERT_EQ(Parse(Nal(row.build(), row.header), &s), row.ok);
        if (!row.ok) continue;
        EXPECT_EQ(s.chroma_format_idc, row.chroma_format_idc);
        EXPECT_EQ(s.bit_depth_luma_minus8, row.bit_depth_minus8);
        EXPECT_EQ(s.bit_depth_chroma_minus8, row.bit_depth_minus8);
        EXPECT_EQ(s.pic_width_in_mbs_minus1, 19u);
        EXPECT_EQ(s.pic_height_in_map_units_minus1, 14u);
        EXPECT_EQ(s.frame_mbs_only_flag, 1u);
        EXPECT_EQ(s.direct_8x8_inference_flag, 1u);
    }
    AvcSpsInfo s;
    ASSERT_TRUE(Parse(Nal(plain()), &s));
    EXPECT_EQ((Fields{s.profile_idc, s.constraint_set_flags[0], s.constraint_set_flags[1], s.constraint_set_flags[2],
                      s.level_idc, s.pic_order_cnt_type, s.max_num_ref_frames, s.vui_parameters_present_flag,
                      s.aspect_ratio_idc}),
              (Fields{66, 1, 1, 0, 30, 2, 1, 0, 0}));
    EXPECT_FALSE(Parse({}, &s));
    EXPECT_FALSE(ParseSequenceParameterSet(nullptr, 4, &s));
}

TEST(SequenceParameterSet, ScalingLists) {
    BitString b = Head(100);
    b.ue(1).ue(0).ue(0).flag(false).flag(true);  // seq_scaling_matrix_present_flag
    // List 0: delta -8 makes the first next scale 0: the default matrix.
    b.flag(true).se(-8);
    b.flag(false);  // list 1 absent
    // List 2: 8 + 8 = 16, then 16 - 16 = 0 ends the deltas: 16 repeats.
    b.flag(true).se(8).se(-16);
    // List 3: (8 + 250 + 256) mod 256 = 2, (2 - 3 + 256) mod 256 = 255,
    // then fourteen deltas of 0.
    b.flag(true).se(250).se(-3);
    for (int i = 0; i < 14; ++i) b.se(0);
    b.flag(false);  // list 4
    // List 5, the last 4x4 one: 16 deltas of +1: 9, 10, ..., 24.
    b.flag(true);
    for (int i = 0; i < 16; ++i) b.se(1);
    // List 6 (8x8): 64 deltas of +1: 9, 10, ..., 72.
    b.flag(true);
    for (int i = 0; i < 64; ++i) b.se(1);
    b.flag(false);  // list 7
    Body(b);
    AvcSpsInfo s;
    ASSERT_TRUE(Parse(Nal(b), &s));
    EXPECT_EQ(s.seq_scaling_matrix_present_flag, 1u);
    EXPECT_EQ(s.use_default_scaling_matrix_flag[0], 1u);
    EXPECT_EQ(s.scaling_list_4x4[0][0], 8u);
    EXPECT_EQ(s.scaling_list_4x4[0][15], 8u);
    EXPECT_EQ(s.seq_scaling_list_present_flag[1], 0u);
    EXPECT_EQ(s.use_default_scaling_matrix_flag[2], 0u);
    for (int j = 0; j < 16; ++j) EXPECT_EQ(s.scaling_list_4x4[2][j], 16u) << j;
    EXPECT_EQ(s.scaling_list_4x4[3][0], 2u);
    for (int j = 1; j < 16; ++j) EXPECT_EQ(s.scaling_list_4x4[3][j], 255u) << j;
    for (int j = 0; j < 16; ++j) EXPECT_EQ(s.scaling_list_4x4[5][j], uint32_t(9 + j)) << j;
    for (int j = 0; j < 64; ++j) EXPECT_EQ(s.scaling_list_8x8[0][j], uint32_t(9 + j)) << j;
    EXPECT_EQ(s.pic_width_in_mbs_minus1, 19u);
}

TEST(SequenceParameterSet, PictureOrderTypesFieldsAndCropping) {
    BitString b = Head(77);
    b.ue(2).ue(1).flag(true).se(-1).se(2).ue(3).se(-5).se(7).se(0);
    b.ue(4).flag(true).ue(44).ue(17).flag(false).flag(true).flag(false).flag(true);
    b.ue(1).ue(2).ue(3).ue(4).flag(false);
    AvcSpsInfo s;
    ASSERT_TRUE(Parse(Nal(b), &s));
    // Each run of fields in syntax order.
    EXPECT_EQ((Fields{s.log2_max_frame_num_minus4, s.pic_order_cnt_type, s.delta_pic_order_always_zero_flag,
                      s.offset_for_non_ref_pic, s.offset_for_top_to_bottom_field}),
              (Fields{2, 1, 1, -1, 2}));
    EXPECT_EQ((Fields{s.num_ref_frames_in_pic_order_cnt_cycle, s.offset_for_ref_frame[0], s.offset_for_ref_frame[1],
                      s.offset_for_ref_frame[2]}),
              (Fields{3, -5, 7, 0}));
    EXPECT_EQ((Fields{s.max_num_ref_frames, s.gaps_in_frame_num_value_allowed_flag, s.pic_width_in_mbs_minus1,
                      s.pic_height_in_map_units_minus1, s.frame_mbs_only_flag, s.mb_adaptive_frame_field_flag,
                      s.direct_8x8_inference_flag}),
              (Fields{4, 1, 44, 17, 0, 1, 0}));
    EXPECT_EQ((Fields{s.frame_cropping_flag, s.frame_crop_left_offset, s.frame_crop_right_offset,
                      s.frame_crop_top_offset, s.frame_crop_bottom_offset}),
              (Fields{1, 1, 2, 3, 4}));

    BitString t0 = Head(77);
    t0.ue(0).ue(0).ue(6).ue(1).flag(false).ue(19).ue(14).flag(true).flag(true).flag(false).flag(false);
    ASSERT_TRUE(Parse(Nal(t0), &s));
    EXPECT_EQ((Fields{s.pic_order_cnt_type, s.log2_max_pic_order_cnt_lsb_minus4, s.pic_width_in_mbs_minus1}),
              (Fields{0, 6, 19}));
}

// Every VUI field, with an HRD record of two entries; num_units_in_tick 1
// puts 00 00 00 01 into the payload, so the unit carries an emulation byte.
BitString FullVui(uint64_t cpb_cnt_minus1 = 1, bool in_vcl = false) {
    BitString b = Head(66);
    Body(b, 1, true);
    b.flag(true).u(8, 255).u(16, 4).u(16, 3);
    b.flag(true).flag(true);
    b.flag(true).u(3, 5).flag(true).flag(true).u(8, 1).u(8, 2).u(8, 3);
    b.flag(true).ue(1).ue(2);
    b.flag(true).u(32, 1).u(32, 60000).flag(true);
    const auto write_hrd = [&](BitString& h) {
        h.ue(cpb_cnt_minus1).u(4, 4).u(4, 6);
        for (uint64_t i = 0; i <= cpb_cnt_minus1; ++i) h.ue(1000 * (i + 1)).ue(2000 * (i + 1)).flag(i == 0);
        h.u(5, 23).u(5, 22).u(5, 21).u(5, 24);
    };
    if (in_vcl) {
        b.flag(false).flag(true);
        write_hrd(b);
    } else {
        b.flag(true);
        write_hrd(b);
        b.flag(false);
    }
    b.flag(false);  // low_delay_hrd_flag
    b.flag(true);   // pic_struct_present_flag
    b.flag(true).flag(true).ue(2).ue(1).ue(16).ue(15).ue(2).ue(4);
    return b;
}

TEST(SequenceParameterSet, EveryVuiField) {
    const BitString b = FullVui();
    const std::vector<uint8_t> nal = Nal(b);
    ASSERT_GT(nal.size(), 1 + BitString(b).trailing().bytes().size()) << "no emulation byte was needed";
    AvcSpsInfo s;
    ASSERT_TRUE(Parse(nal, &s));
    // Each run of fields in syntax order.
    EXPECT_EQ((Fields{s.vui_parameters_present_flag, s.aspect_ratio_info_present_flag, s.aspect_ratio_idc, s.sar_width,
                      s.sar_height, s.overscan_info_present_flag, s.overscan_appropriate_flag}),
              (Fields{1, 1, 255, 4, 3, 1, 1}));
    EXPECT_EQ(
        (Fields{s.video_format, s.video_full_range_flag, s.colour_primaries, s.transfer_characteristics,
                s.matrix_coefficients, s.chroma_sample_loc_type_top_field, s.chroma_sample_loc_type_bottom_field}),
        (Fields{5, 1, 1, 2, 3, 1, 2}));
    EXPECT_EQ((Fields{s.num_units_in_tick, s.time_scale, s.fixed_frame_rate_flag, s.nal_hrd_parameters_present_flag}),
              (Fields{1, 60000, 1, 1}));
    const AvcHrdParameters& h = s.nal_hrd;
    EXPECT_EQ((Fields{h.cpb_cnt_minus1, h.bit_rate_scale, h.cpb_size_scale, h.bit_rate_value_minus1[0],
                      h.cpb_size_value_minus1[0], h.cbr_flag[0], h.bit_rate_value_minus1[1], h.cpb_size_value_minus1[1],
                      h.cbr_flag[1]}),
              (Fields{1, 4, 6, 1000, 2000, 1, 2000, 4000, 0}));
    EXPECT_EQ((Fields{h.initial_cpb_removal_delay_length_minus1, h.cpb_removal_delay_length_minus1,
                      h.dpb_output_delay_length_minus1, h.time_offset_length, s.vcl_hrd_parameters_present_flag,
                      s.pic_struct_present_flag}),
              (Fields{23, 22, 21, 24, 0, 1}));
    EXPECT_EQ((Fields{s.bitstream_restriction_flag, s.motion_vectors_over_pic_boundaries_flag,
                      s.max_bytes_per_pic_denom, s.max_bits_per_mb_denom, s.log2_max_mv_length_horizontal,
                      s.log2_max_mv_length_vertical, s.max_num_reorder_frames, s.max_dec_frame_buffering}),
              (Fields{1, 1, 2, 1, 16, 15, 2, 4}));
}

TEST(SequenceParameterSet, HrdEntryLimit) {
    for (bool vcl : {false, true}) {
        AvcSpsInfo s;
        ASSERT_TRUE(Parse(Nal(FullVui(31, vcl)), &s)) << vcl;
        AvcHrdParameters& hrd = vcl ? s.vcl_hrd : s.nal_hrd;
        EXPECT_EQ(hrd.cpb_cnt_minus1, 31u);
        EXPECT_EQ(hrd.bit_rate_value_minus1[31], 32000u);
        EXPECT_EQ(hrd.time_offset_length, 24u);
        EXPECT_EQ(s.max_dec_frame_buffering, 4u);
        EXPECT_FALSE(Parse(Nal(FullVui(32, vcl)), &s)) << vcl;
    }
}

TEST(SequenceParameterSet, VuiWithoutAspectInfoMeansSquareSamples) {
    BitString b = Head(66);
    Body(b, 1, true);
    b.text("0 0 0 0 0 0 0 0 0");  // every VUI flag clear
    AvcSpsInfo s;
    ASSERT_TRUE(Parse(Nal(b), &s));
    EXPECT_EQ(s.aspect_ratio_idc, 1u);
    EXPECT_EQ(s.aspect_ratio_info_present_flag, 0u);
}

}  // namespace
