#include "sps_parser.h"

#include <limits>
#include <vector>

#include "nal_bit_reader.h"
#include "sps_fields.h"

namespace {

constexpr uint32_t kNalUnitTypeSps = 7;
constexpr uint32_t kChroma444 = 3;

// scaling_list(): delta-coded coefficients; a zero next scale at the first
// coefficient selects the default matrix, later ones repeat the last scale.
void ReadScalingList(SpsFields &f, uint32_t *list, unsigned size, uint32_t *use_default) {
    int32_t last_scale = 8, next_scale = 8;
    for (unsigned j = 0; j < size && f.ok(); ++j) {
        if (next_scale != 0) {
            int32_t delta_scale = 0;
            f.se(&delta_scale);
            if (!f.ok()) return;
            // Computed in 64 bits: delta_scale may be any 32-bit value here.
            next_scale = static_cast<int32_t>(((int64_t(last_scale) + delta_scale + 256) % 256 + 256) % 256);
            *use_default = (j == 0 && next_scale == 0) ? 1 : 0;
        }
        list[j] = static_cast<uint32_t>(next_scale == 0 ? last_scale : next_scale);
        last_scale = static_cast<int32_t>(list[j]);
    }
}

bool ReadHrd(SpsFields &f, AvcHrdParameters *hrd) {
    f.ue(&hrd->cpb_cnt_minus1);
    if (f.ok() && hrd->cpb_cnt_minus1 >= AvcHrdParameters::kMaxCpbCount) f.fail();
    f.u(4, &hrd->bit_rate_scale);
    f.u(4, &hrd->cpb_size_scale);
    for (uint32_t i = 0; f.ok() && i <= hrd->cpb_cnt_minus1; ++i) {
        f.ue(&hrd->bit_rate_value_minus1[i]);
        f.ue(&hrd->cpb_size_value_minus1[i]);
        f.u(1, &hrd->cbr_flag[i]);
    }
    f.u(5, &hrd->initial_cpb_removal_delay_length_minus1);
    f.u(5, &hrd->cpb_removal_delay_length_minus1);
    f.u(5, &hrd->dpb_output_delay_length_minus1);
    f.u(5, &hrd->time_offset_length);
    return f.ok();
}

bool ReadVui(SpsFields &f, AvcSpsInfo *s) {
    s->aspect_ratio_idc = 1;  // square samples unless the VUI says otherwise
    ReadAspectRatioInfo(f, s);
    f.u(1, &s->overscan_info_present_flag);
    if (f.ok() && s->overscan_info_present_flag) f.u(1, &s->overscan_appropriate_flag);
    f.u(1, &s->video_signal_type_present_flag);
    if (f.ok() && s->video_signal_type_present_flag) {
        f.u(3, &s->video_format);
        f.u(1, &s->video_full_range_flag);
        f.u(1, &s->colour_description_present_flag);
        if (f.ok() && s->colour_description_present_flag) {
            f.u(8, &s->colour_primaries);
            f.u(8, &s->transfer_characteristics);
            f.u(8, &s->matrix_coefficients);
        }
    }
    f.u(1, &s->chroma_loc_info_present_flag);
    if (f.ok() && s->chroma_loc_info_present_flag) {
        f.ue(&s->chroma_sample_loc_type_top_field);
        f.ue(&s->chroma_sample_loc_type_bottom_field);
    }
    f.u(1, &s->timing_info_present_flag);
    if (f.ok() && s->timing_info_present_flag) {
        f.u(32, &s->num_units_in_tick);
        f.u(32, &s->time_scale);
        f.u(1, &s->fixed_frame_rate_flag);
    }
    f.u(1, &s->nal_hrd_parameters_present_flag);
    if (f.ok() && s->nal_hrd_parameters_present_flag && !ReadHrd(f, &s->nal_hrd)) return false;
    f.u(1, &s->vcl_hrd_parameters_present_flag);
    if (f.ok() && s->vcl_hrd_parameters_present_flag && !ReadHrd(f, &s->vcl_hrd)) return false;
    if (f.ok() && (s->nal_hrd_parameters_present_flag || s->vcl_hrd_parameters_present_flag))
        f.u(1, &s->low_delay_hrd_flag);
    f.u(1, &s->pic_struct_present_flag);
    f.u(1, &s->bitstream_restriction_flag);
    if (f.ok() && s->bitstream_restriction_flag) {
        f.u(1, &s->motion_vectors_over_pic_boundaries_flag);
        f.ue(&s->max_bytes_per_pic_denom);
        f.ue(&s->max_bits_per_mb_denom);
        f.ue(&s->log2_max_mv_length_horizontal);
        f.ue(&s->log2_max_mv_length_vertical);
        f.ue(&s->max_num_reorder_frames);
        f.ue(&s->max_dec_frame_buffering);
    }
    return f.ok();
}

// Profiles whose SPS carries the chroma format, bit depths and scaling lists.
bool HasChromaFields(uint32_t profile_idc) {
    return profile_idc == 100 || profile_idc == 110 || profile_idc == 122 || profile_idc == 144;
}

}  // namespace

bool ParseSequenceParameterSet(const uint8_t *bytes, uint32_t size, AvcSpsInfo *info) {
    if (bytes == nullptr || size == 0 || info == nullptr) return false;
    if ((bytes[0] & 0x1F) != kNalUnitTypeSps) return false;
    const std::vector<uint8_t> rbsp = RemoveEmulationPrevention(bytes + 1, size - 1);
    NalBitReader reader(rbsp.data(), rbsp.size());
    SpsFields f(reader);
    AvcSpsInfo &s = *info;

    f.u(8, &s.profile_idc);
    for (uint32_t &flag : s.constraint_set_flags) f.u(1, &flag);
    f.u(2, &s.reserved_zero_2bits);
    f.u(8, &s.level_idc);
    f.ue(&s.seq_parameter_set_id);
    if (!f.ok() || s.seq_parameter_set_id > AvcSpsInfo::kMaxSpsId) return false;

    if (HasChromaFields(s.profile_idc)) {
        f.ue(&s.chroma_format_idc);
        if (!f.ok() || s.chroma_format_idc == kChroma444) return false;
        f.ue(&s.bit_depth_luma_minus8);
        f.ue(&s.bit_depth_chroma_minus8);
        f.u(1, &s.qpprime_y_zero_transform_bypass_flag);
        f.u(1, &s.seq_scaling_matrix_present_flag);
        for (unsigned i = 0; f.ok() && s.seq_scaling_matrix_present_flag && i < 8; ++i) {
            f.u(1, &s.seq_scaling_list_present_flag[i]);
            if (!f.ok() || !s.seq_scaling_list_present_flag[i]) continue;
            if (i < 6) {
                ReadScalingList(f, s.scaling_list_4x4[i], 16, &s.use_default_scaling_matrix_flag[i]);
            } else {
                ReadScalingList(f, s.scaling_list_8x8[i - 6], 64, &s.use_default_scaling_matrix_flag[i]);
            }
        }
    } else {
        s.chroma_format_idc = 1;
        s.bit_depth_luma_minus8 = s.bit_depth_chroma_minus8 = 0;
        s.qpprime_y_zero_transform_bypass_flag = s.seq_scaling_matrix_present_flag = 0;
    }

    f.ue(&s.log2_max_frame_num_minus4);
    f.ue(&s.pic_order_cnt_type);
    if (!f.ok()) return false;
    if (s.pic_order_cnt_type == 0) {
        f.ue(&s.log2_max_pic_order_cnt_lsb_minus4);
    } else if (s.pic_order_cnt_type == 1) {
        f.u(1, &s.delta_pic_order_always_zero_flag);
        f.se(&s.offset_for_non_ref_pic);
        f.se(&s.offset_for_top_to_bottom_field);
        f.ue(&s.num_ref_frames_in_pic_order_cnt_cycle);
        if (!f.ok() || s.num_ref_frames_in_pic_order_cnt_cycle > AvcSpsInfo::kMaxRefFramesInPocCycle) return false;
        for (uint32_t i = 0; i < s.num_ref_frames_in_pic_order_cnt_cycle; ++i) f.se(&s.offset_for_ref_frame[i]);
    }

    f.ue(&s.max_num_ref_frames);
    if (!f.ok() || s.max_num_ref_frames > AvcSpsInfo::kMaxNumRefFrames) return false;
    f.u(1, &s.gaps_in_frame_num_value_allowed_flag);
    f.ue(&s.pic_width_in_mbs_minus1);
    f.ue(&s.pic_height_in_map_units_minus1);
    f.u(1, &s.frame_mbs_only_flag);
    if (f.ok() && !s.frame_mbs_only_flag) f.u(1, &s.mb_adaptive_frame_field_flag);
    f.u(1, &s.direct_8x8_inference_flag);
    f.u(1, &s.frame_cropping_flag);
    if (f.ok() && s.frame_cropping_flag) {
        f.ue(&s.frame_crop_left_offset);
        f.ue(&s.frame_crop_right_offset);
        f.ue(&s.frame_crop_top_offset);
        f.ue(&s.frame_crop_bottom_offset);
    }
    f.u(1, &s.vui_parameters_present_flag);
    if (!f.ok()) return false;
    if (s.vui_parameters_present_flag) return ReadVui(f, &s);
    return true;
}
