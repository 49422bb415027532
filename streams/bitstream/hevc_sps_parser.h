// The HEVC sequence parameter set (ITU-T H.265 7.3.2.2) as far as the HEVC
// pin needs it: profile, tier and level, the picture size with its
// conformance window, and the start of the VUI (E.2.1) up to the timing
// information, for the sample aspect ratio and the field coding. Fields
// carry the standard's names.
#ifndef KELO_BITSTREAM_HEVC_SPS_PARSER_H
#define KELO_BITSTREAM_HEVC_SPS_PARSER_H

#include <cstdint>

struct HevcSpsInfo {
    static constexpr uint32_t kMaxSubLayersMinus1 = 6;
    static constexpr uint32_t kMaxSpsId = 15;
    static constexpr uint32_t kMaxPictureSide = 65535;
    static constexpr uint32_t kMaxShortTermRefPicSets = 64;
    static constexpr uint32_t kMaxDeltaPocs = 16;  // negative or positive pictures of one set
    static constexpr uint32_t kMaxLongTermRefPicsSps = 32;

    uint32_t sps_video_parameter_set_id = 0;
    uint32_t sps_max_sub_layers_minus1 = 0;
    uint32_t sps_temporal_id_nesting_flag = 0;
    // profile_tier_level(): the general part.
    uint32_t general_profile_space = 0;
    uint32_t general_tier_flag = 0;
    uint32_t general_profile_idc = 0;
    uint32_t general_profile_compatibility_flags = 0;
    uint32_t general_progressive_source_flag = 0;
    uint32_t general_interlaced_source_flag = 0;
    uint32_t general_level_idc = 0;

    uint32_t sps_seq_parameter_set_id = 0;
    uint32_t chroma_format_idc = 0;
    uint32_t separate_colour_plane_flag = 0;
    uint32_t pic_width_in_luma_samples = 0;
    uint32_t pic_height_in_luma_samples = 0;
    uint32_t conformance_window_flag = 0;
    uint32_t conf_win_left_offset = 0;
    uint32_t conf_win_right_offset = 0;
    uint32_t conf_win_top_offset = 0;
    uint32_t conf_win_bottom_offset = 0;
    uint32_t bit_depth_luma_minus8 = 0;
    uint32_t bit_depth_chroma_minus8 = 0;
    uint32_t log2_max_pic_order_cnt_lsb_minus4 = 0;
    uint32_t num_short_term_ref_pic_sets = 0;
    uint32_t long_term_ref_pics_present_flag = 0;
    uint32_t num_long_term_ref_pics_sps = 0;
    uint32_t vui_parameters_present_flag = 0;

    // vui_parameters(), up to the timing information.
    uint32_t aspect_ratio_info_present_flag = 0;
    uint32_t aspect_ratio_idc = 0;
    uint32_t sar_width = 0;
    uint32_t sar_height = 0;
    uint32_t field_seq_flag = 0;
    uint32_t frame_field_info_present_flag = 0;
    uint32_t vui_timing_info_present_flag = 0;
    uint32_t vui_num_units_in_tick = 0;
    uint32_t vui_time_scale = 0;
};

// Parses one SPS NAL unit, `bytes[0..1]` being its two-byte NAL header
// (nal_unit_type 33). False when the header names another type, a read runs
// past the unit, or a value breaks a limit of the standard: more than 7 sub
// layers, an SPS id above 15, chroma_format_idc above 3, a bit depth above
// 16, a picture side of 0 or above 65,535, a conformance window as large as
// the picture, log2_max_pic_order_cnt_lsb_minus4 above 12, more than 64
// short-term or 32 long-term reference picture sets, more than 16 negative or
// positive pictures in a set, or a scaling list entry out of its range. On
// failure the record holds what was read before the failing element.
bool ParseHevcSequenceParameterSet(const uint8_t *bytes, uint32_t size, HevcSpsInfo *info);

// The picture as displayed: the decoded size less the conformance window
// (offsets count chroma samples: two luma samples each across for 4:2:0 and
// 4:2:2, down for 4:2:0).
void GetHevcDisplaySize(const HevcSpsInfo &info, uint32_t *width, uint32_t *height);

#endif
