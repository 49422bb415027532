#include "hevc_sps_parser.h"

#include <vector>

#include "nal_bit_reader.h"
#include "sps_fields.h"

namespace {

constexpr uint32_t kNalUnitTypeSps = 33;
constexpr uint32_t kMaxBitDepthMinus8 = 8;
constexpr uint32_t kMaxPocLsbMinus4 = 12;

// profile_tier_level(1, sps_max_sub_layers_minus1) (7.3.3): the general
// profile kept, the sub-layer profiles and levels skipped.
void ReadProfileTierLevel(SpsFields &f, HevcSpsInfo *s) {
    f.u(2, &s->general_profile_space);
    f.u(1, &s->general_tier_flag);
    f.u(5, &s->general_profile_idc);
    f.u(32, &s->general_profile_compatibility_flags);
    f.u(1, &s->general_progressive_source_flag);
    f.u(1, &s->general_interlaced_source_flag);
    f.skip(2);   // non-packed and frame-only constraints
    f.skip(32);  // 43 bits of further constraints and one of general_inbld_flag
    f.skip(12);
    f.u(8, &s->general_level_idc);
    const uint32_t sub_layers = s->sps_max_sub_layers_minus1;
    uint32_t profile_present[HevcSpsInfo::kMaxSubLayersMinus1] = {};
    uint32_t level_present[HevcSpsInfo::kMaxSubLayersMinus1] = {};
    for (uint32_t i = 0; i < sub_layers; ++i) {
        f.u(1, &profile_present[i]);
        f.u(1, &level_present[i]);
    }
    if (sub_layers > 0) f.skip(2 * (8 - sub_layers));  // reserved_zero_2bits
    for (uint32_t i = 0; f.ok() && i < sub_layers; ++i) {
        if (profile_present[i]) {
            f.skip(32);  // space, tier, profile idc (8 bits), then 24 of the 32 compatibility flags
            f.skip(32);  // 8 compatibility flags, 4 source flags, 20 constraint bits
            f.skip(24);  // the other 24 constraint bits
        }
        if (level_present[i]) f.skip(8);
    }
}

// scaling_list_data() (7.3.4): read for its length, values range-checked.
void ReadScalingListData(SpsFields &f) {
    for (uint32_t size_id = 0; size_id < 4; ++size_id) {
        for (uint32_t matrix_id = 0; f.ok() && matrix_id < 6; matrix_id += size_id == 3 ? 3 : 1) {
            uint32_t pred_mode = 0;
            f.u(1, &pred_mode);
            if (!pred_mode) {
                uint32_t delta = 0;
                f.ue(&delta);
                if (f.ok() && delta > (size_id == 3 ? matrix_id / 3 : matrix_id)) f.fail();
                continue;
            }
            const uint32_t coefficients = size_id == 0 ? 16 : 64;
            int32_t value = 0;
            if (size_id > 1) {
                f.se(&value);  // scaling_list_dc_coef_minus8
                if (f.ok() && (value < -7 || value > 247)) f.fail();
            }
            for (uint32_t i = 0; f.ok() && i < coefficients; ++i) {
                f.se(&value);  // scaling_list_delta_coef
                if (f.ok() && (value < -128 || value > 127)) f.fail();
            }
        }
    }
}

// st_ref_pic_set(index) (7.3.7) inside an SPS; `delta_pocs` holds the
// NumDeltaPocs of the sets before it and receives this one's.
void ReadShortTermRefPicSet(SpsFields &f, uint32_t index, uint32_t *delta_pocs) {
    uint32_t predicted = 0;
    if (index != 0) f.u(1, &predicted);
    if (!f.ok()) return;
    if (predicted) {
        f.skip(1);  // delta_rps_sign
        uint32_t abs_delta_rps_minus1 = 0;
        f.ue(&abs_delta_rps_minus1);
        if (f.ok() && abs_delta_rps_minus1 > 32767) f.fail();
        // In an SPS the reference is the set just before (delta_idx_minus1 is 0);
        // each picture used or kept from it becomes one of this set's.
        uint32_t count = 0;
        for (uint32_t j = 0; f.ok() && j <= delta_pocs[index - 1]; ++j) {
            uint32_t used = 0, use_delta = 1;
            f.u(1, &used);
            if (f.ok() && !used) f.u(1, &use_delta);
            if (used || use_delta) ++count;
        }
        if (f.ok() && count > 2 * HevcSpsInfo::kMaxDeltaPocs) f.fail();
        delta_pocs[index] = count;
        return;
    }
    uint32_t negative = 0, positive = 0;
    f.ue(&negative);
    f.ue(&positive);
    if (!f.ok() || negative > HevcSpsInfo::kMaxDeltaPocs || positive > HevcSpsInfo::kMaxDeltaPocs) {
        f.fail();
        return;
    }
    for (uint32_t i = 0; f.ok() && i < negative + positive; ++i) {
        uint32_t delta_poc_minus1 = 0;
        f.ue(&delta_poc_minus1);
        if (f.ok() && delta_poc_minus1 > 32767) f.fail();
        f.skip(1);  // used_by_curr_pic_flag
    }
    delta_pocs[index] = negative + positive;
}

// vui_parameters() (E.2.1) up to the timing information.
void ReadVui(SpsFields &f, HevcSpsInfo *s) {
    ReadAspectRatioInfo(f, s);
    uint32_t present = 0;
    f.u(1, &present);  // overscan_info_present_flag
    if (f.ok() && present) f.skip(1);
    f.u(1, &present);  // video_signal_type_present_flag
    if (f.ok() && present) {
        f.skip(4);  // video_format, video_full_range_flag
        f.u(1, &present);
        if (f.ok() && present) f.skip(24);  // colour primaries, transfer, matrix
    }
    f.u(1, &present);  // chroma_loc_info_present_flag
    if (f.ok() && present) {
        uint32_t ignored = 0;
        f.ue(&ignored);
        f.ue(&ignored);
    }
    f.skip(1);  // neutral_chroma_indication_flag
    f.u(1, &s->field_seq_flag);
    f.u(1, &s->frame_field_info_present_flag);
    f.u(1, &present);  // default_display_window_flag
    for (int i = 0; f.ok() && present && i < 4; ++i) {
        uint32_t ignored = 0;
        f.ue(&ignored);
    }
    f.u(1, &s->vui_timing_info_present_flag);
    if (f.ok() && s->vui_timing_info_present_flag) {
        f.u(32, &s->vui_num_units_in_tick);
        f.u(32, &s->vui_time_scale);
    }
}

// SubWidthC and SubHeightC (Table 6-1).
uint32_t ChromaUnitX(const HevcSpsInfo &s) {
    return !s.separate_colour_plane_flag && (s.chroma_format_idc == 1 || s.chroma_format_idc == 2) ? 2 : 1;
}
uint32_t ChromaUnitY(const HevcSpsInfo &s) { return !s.separate_colour_plane_flag && s.chroma_format_idc == 1 ? 2 : 1; }

bool ReadPictureFormat(SpsFields &f, HevcSpsInfo &s) {
    f.ue(&s.chroma_format_idc);
    if (!f.ok() || s.chroma_format_idc > 3) return false;
    if (s.chroma_format_idc == 3) f.u(1, &s.separate_colour_plane_flag);
    f.ue(&s.pic_width_in_luma_samples);
    f.ue(&s.pic_height_in_luma_samples);
    if (!f.ok() || s.pic_width_in_luma_samples == 0 || s.pic_height_in_luma_samples == 0 ||
        s.pic_width_in_luma_samples > HevcSpsInfo::kMaxPictureSide ||
        s.pic_height_in_luma_samples > HevcSpsInfo::kMaxPictureSide)
        return false;
    f.u(1, &s.conformance_window_flag);
    if (f.ok() && s.conformance_window_flag) {
        f.ue(&s.conf_win_left_offset);
        f.ue(&s.conf_win_right_offset);
        f.ue(&s.conf_win_top_offset);
        f.ue(&s.conf_win_bottom_offset);
        // 64-bit sums: each offset may be any 32-bit value here.
        const uint64_t across = uint64_t{ChromaUnitX(s)} * (uint64_t{s.conf_win_left_offset} + s.conf_win_right_offset);
        const uint64_t down = uint64_t{ChromaUnitY(s)} * (uint64_t{s.conf_win_top_offset} + s.conf_win_bottom_offset);
        if (f.ok() && (across >= s.pic_width_in_luma_samples || down >= s.pic_height_in_luma_samples)) return false;
    }
    f.ue(&s.bit_depth_luma_minus8);
    f.ue(&s.bit_depth_chroma_minus8);
    return f.ok() && s.bit_depth_luma_minus8 <= kMaxBitDepthMinus8 && s.bit_depth_chroma_minus8 <= kMaxBitDepthMinus8;
}

// From log2_max_pic_order_cnt_lsb_minus4 to the VUI flag.
bool ReadCodingTools(SpsFields &f, HevcSpsInfo &s) {
    f.ue(&s.log2_max_pic_order_cnt_lsb_minus4);
    if (!f.ok() || s.log2_max_pic_order_cnt_lsb_minus4 > kMaxPocLsbMinus4) return false;
    uint32_t ordering_info_present = 0;
    f.u(1, &ordering_info_present);
    const uint32_t first_layer = ordering_info_present ? 0 : s.sps_max_sub_layers_minus1;
    for (uint32_t i = first_layer; f.ok() && i <= s.sps_max_sub_layers_minus1; ++i) {
        uint32_t ignored = 0;  // max_dec_pic_buffering_minus1, max_num_reorder_pics, max_latency_increase_plus1
        for (int k = 0; k < 3; ++k) f.ue(&ignored);
    }
    uint32_t ignored = 0;  // coding and transform block sizes, transform hierarchy depths
    for (int k = 0; k < 6; ++k) f.ue(&ignored);
    uint32_t flag = 0;
    f.u(1, &flag);  // scaling_list_enabled_flag
    if (f.ok() && flag) {
        f.u(1, &flag);  // sps_scaling_list_data_present_flag
        if (f.ok() && flag) ReadScalingListData(f);
    }
    f.skip(2);      // amp_enabled_flag, sample_adaptive_offset_enabled_flag
    f.u(1, &flag);  // pcm_enabled_flag
    if (f.ok() && flag) {
        f.skip(8);  // PCM sample bit depths
        f.ue(&ignored);
        f.ue(&ignored);
        f.skip(1);  // pcm_loop_filter_disabled_flag
    }
    f.ue(&s.num_short_term_ref_pic_sets);
    if (!f.ok() || s.num_short_term_ref_pic_sets > HevcSpsInfo::kMaxShortTermRefPicSets) return false;
    uint32_t delta_pocs[HevcSpsInfo::kMaxShortTermRefPicSets] = {};
    for (uint32_t i = 0; f.ok() && i < s.num_short_term_ref_pic_sets; ++i) ReadShortTermRefPicSet(f, i, delta_pocs);
    f.u(1, &s.long_term_ref_pics_present_flag);
    if (f.ok() && s.long_term_ref_pics_present_flag) {
        f.ue(&s.num_long_term_ref_pics_sps);
        if (!f.ok() || s.num_long_term_ref_pics_sps > HevcSpsInfo::kMaxLongTermRefPicsSps) return false;
        for (uint32_t i = 0; i < s.num_long_term_ref_pics_sps; ++i) {
            f.skip(s.log2_max_pic_order_cnt_lsb_minus4 + 4);  // lt_ref_pic_poc_lsb_sps
            f.skip(1);                                        // used_by_curr_pic_lt_sps_flag
        }
    }
    f.skip(2);  // sps_temporal_mvp_enabled_flag, strong_intra_smoothing_enabled_flag
    f.u(1, &s.vui_parameters_present_flag);
    return f.ok();
}

}  // namespace

bool ParseHevcSequenceParameterSet(const uint8_t *bytes, uint32_t size, HevcSpsInfo *info) {
    if (bytes == nullptr || size < 2 || info == nullptr) return false;
    if (((bytes[0] >> 1) & 0x3F) != kNalUnitTypeSps) return false;
    const std::vector<uint8_t> rbsp = RemoveEmulationPrevention(bytes + 2, size - 2);
    NalBitReader reader(rbsp.data(), rbsp.size());
    SpsFields f(reader);
    HevcSpsInfo &s = *info;

    f.u(4, &s.sps_video_parameter_set_id);
    f.u(3, &s.sps_max_sub_layers_minus1);
    f.u(1, &s.sps_temporal_id_nesting_flag);
    if (!f.ok() || s.sps_max_sub_layers_minus1 > HevcSpsInfo::kMaxSubLayersMinus1) return false;
    ReadProfileTierLevel(f, &s);
    f.ue(&s.sps_seq_parameter_set_id);
    if (!f.ok() || s.sps_seq_parameter_set_id > HevcSpsInfo::kMaxSpsId) return false;
    if (!ReadPictureFormat(f, s) || !ReadCodingTools(f, s)) return false;
    if (s.vui_parameters_present_flag) ReadVui(f, &s);
    return f.ok();
}

void GetHevcDisplaySize(const HevcSpsInfo &info, uint32_t *width, uint32_t *height) {
    const uint64_t across =
        uint64_t{ChromaUnitX(info)} * (uint64_t{info.conf_win_left_offset} + info.conf_win_right_offset);
    const uint64_t down =
        uint64_t{ChromaUnitY(info)} * (uint64_t{info.conf_win_top_offset} + info.conf_win_bottom_offset);
    *width = across < info.pic_width_in_luma_samples ? info.pic_width_in_luma_samples - uint32_t(across) : 0;
    *height = down < info.pic_height_in_luma_samples ? info.pic_height_in_luma_samples - uint32_t(down) : 0;
}
