// The H.264 sequence parameter set (ISO/IEC 14496-10 7.3.2.1.1) with its VUI
// (E.1.1) and HRD (E.1.2) parameters, read into one record. Fields carry the
// standard's names; the pins use only the aspect-ratio fields.
#ifndef KELO_BITSTREAM_SPS_PARSER_H
#define KELO_BITSTREAM_SPS_PARSER_H

#include <cstdint>

struct AvcHrdParameters {
    static constexpr uint32_t kMaxCpbCount = 32;

    uint32_t cpb_cnt_minus1 = 0;
    uint32_t bit_rate_scale = 0;
    uint32_t cpb_size_scale = 0;
    uint32_t bit_rate_value_minus1[kMaxCpbCount] = {};
    uint32_t cpb_size_value_minus1[kMaxCpbCount] = {};
    uint32_t cbr_flag[kMaxCpbCount] = {};
    uint32_t initial_cpb_removal_delay_length_minus1 = 0;
    uint32_t cpb_removal_delay_length_minus1 = 0;
    uint32_t dpb_output_delay_length_minus1 = 0;
    uint32_t time_offset_length = 0;
};

struct AvcSpsInfo {
    static constexpr uint32_t kMaxRefFramesInPocCycle = 255;
    static constexpr uint32_t kMaxSpsId = 31;
    static constexpr uint32_t kMaxNumRefFrames = 16;

    uint32_t profile_idc = 0;
    uint32_t constraint_set_flags[6] = {};  // constraint_set0_flag .. constraint_set5_flag
    uint32_t reserved_zero_2bits = 0;
    uint32_t level_idc = 0;
    uint32_t seq_parameter_set_id = 0;

    uint32_t chroma_format_idc = 1;
    uint32_t bit_depth_luma_minus8 = 0;
    uint32_t bit_depth_chroma_minus8 = 0;
    uint32_t qpprime_y_zero_transform_bypass_flag = 0;
    uint32_t seq_scaling_matrix_present_flag = 0;
    uint32_t seq_scaling_list_present_flag[8] = {};
    uint32_t scaling_list_4x4[6][16] = {};
    uint32_t scaling_list_8x8[2][64] = {};
    uint32_t use_default_scaling_matrix_flag[8] = {};

    uint32_t log2_max_frame_num_minus4 = 0;
    uint32_t pic_order_cnt_type = 0;
    uint32_t log2_max_pic_order_cnt_lsb_minus4 = 0;
    uint32_t delta_pic_order_always_zero_flag = 0;
    int32_t offset_for_non_ref_pic = 0;
    int32_t offset_for_top_to_bottom_field = 0;
    uint32_t num_ref_frames_in_pic_order_cnt_cycle = 0;
    int32_t offset_for_ref_frame[kMaxRefFramesInPocCycle] = {};

    uint32_t max_num_ref_frames = 0;
    uint32_t gaps_in_frame_num_value_allowed_flag = 0;
    uint32_t pic_width_in_mbs_minus1 = 0;
    uint32_t pic_height_in_map_units_minus1 = 0;
    uint32_t frame_mbs_only_flag = 0;
    uint32_t mb_adaptive_frame_field_flag = 0;
    uint32_t direct_8x8_inference_flag = 0;
    uint32_t frame_cropping_flag = 0;
    uint32_t frame_crop_left_offset = 0;
    uint32_t frame_crop_right_offset = 0;
    uint32_t frame_crop_top_offset = 0;
    uint32_t frame_crop_bottom_offset = 0;
    uint32_t vui_parameters_present_flag = 0;

    // vui_parameters()
    uint32_t aspect_ratio_info_present_flag = 0;
    uint32_t aspect_ratio_idc = 0;
    uint32_t sar_width = 0;
    uint32_t sar_height = 0;
    uint32_t overscan_info_present_flag = 0;
    uint32_t overscan_appropriate_flag = 0;
    uint32_t video_signal_type_present_flag = 0;
    uint32_t video_format = 0;
    uint32_t video_full_range_flag = 0;
    uint32_t colour_description_present_flag = 0;
    uint32_t colour_primaries = 0;
    uint32_t transfer_characteristics = 0;
    uint32_t matrix_coefficients = 0;
    uint32_t chroma_loc_info_present_flag = 0;
    uint32_t chroma_sample_loc_type_top_field = 0;
    uint32_t chroma_sample_loc_type_bottom_field = 0;
    uint32_t timing_info_present_flag = 0;
    uint32_t num_units_in_tick = 0;
    uint32_t time_scale = 0;
    uint32_t fixed_frame_rate_flag = 0;
    uint32_t nal_hrd_parameters_present_flag = 0;
    AvcHrdParameters nal_hrd;
    uint32_t vcl_hrd_parameters_present_flag = 0;
    AvcHrdParameters vcl_hrd;
    uint32_t low_delay_hrd_flag = 0;
    uint32_t pic_struct_present_flag = 0;
    uint32_t bitstream_restriction_flag = 0;
    uint32_t motion_vectors_over_pic_boundaries_flag = 0;
    uint32_t max_bytes_per_pic_denom = 0;
    uint32_t max_bits_per_mb_denom = 0;
    uint32_t log2_max_mv_length_horizontal = 0;
    uint32_t log2_max_mv_length_vertical = 0;
    uint32_t max_num_reorder_frames = 0;
    uint32_t max_dec_frame_buffering = 0;
};

// Parses one SPS NAL unit, `bytes[0]` being its NAL header (nal_unit_type 7).
// False when the header names another type, a read runs past the unit, or a
// value breaks a limit: seq_parameter_set_id above 31, chroma_format_idc 3
// (4:4:4 is not handled), more than 255 reference frames in the picture
// order cycle, max_num_ref_frames above 16, cpb_cnt_minus1 above 31, or a
// ue(v) / se(v) value outside 32 bits. Nothing after the VUI is read. On
// failure the record holds what was read before the failing element.
bool ParseSequenceParameterSet(const uint8_t *bytes, uint32_t size, AvcSpsInfo *info);

#endif
