#include "video_object_layer.h"

#include "bit_reader.h"

namespace {

constexpr uint32_t kVisualObjectSequenceStartCode = 0x000001B0;
constexpr uint32_t kUserDataStartCode = 0x000001B2;
constexpr uint32_t kStartCodePrefix = 0x000001;
constexpr uint32_t kVideoObjectStartFirst = 0x00000100, kVideoObjectStartLast = 0x0000011F;
constexpr uint32_t kLayerStartFirst = 0x00000120, kLayerStartLast = 0x0000012F;
constexpr uint32_t kExtendedPar = 15;
constexpr uint32_t kVideoObjectType = 1, kStillTextureObjectType = 2;
constexpr uint32_t kShapeRectangular = 0, kShapeBinaryOnly = 2, kShapeGrayscale = 3;
constexpr uint32_t kSpriteStatic = 1, kSpriteGmc = 2;
constexpr unsigned kMatrixEntries = 64;

uint32_t Peek(const BitReader &r, unsigned count) {
    BitReader ahead = r;
    return ahead.Read(count);
}

bool IsLayerStart(uint32_t code) { return code >= kLayerStartFirst && code <= kLayerStartLast; }

bool AtEnd(const BitReader &r, uint32_t size) { return r.GetPosition().byte_offset >= size; }

// Each user_data block: its start code, then bytes up to the next start code
// prefix or the end of the configuration.
void SkipUserData(BitReader &r, uint32_t size) {
    while (Peek(r, 32) == kUserDataStartCode) {
        r.Read(32);
        while (!AtEnd(r, size) && Peek(r, 24) != kStartCodePrefix) r.Read(8);
    }
}

// Auxiliary components of a grayscale layer by video_object_layer_shape_extension
// (ISO/IEC 14496-2 table V2-1); 0 for the values without a valid count.
uint32_t AuxComponentCount(uint32_t shape_extension) {
    static constexpr uint8_t kCounts[16] = {1, 1, 2, 2, 3, 1, 2, 1, 1, 2, 3, 2, 3, 0, 0, 0};
    return kCounts[shape_extension & 15];
}

// A quantiser matrix: up to 64 eight-bit values; a zero ends it early and is
// consumed with it.
void SkipQuantiserMatrix(BitReader &r) {
    for (unsigned i = 0; i < kMatrixEntries; ++i)
        if (r.Read(8) == 0) return;
}

void SkipMatrixIfLoaded(BitReader &r) {
    if (r.Read(1)) SkipQuantiserMatrix(r);
}

void ReadVbvParameters(BitReader &r) {
    r.Read(15);  // first_half_bit_rate
    r.Read(1);
    r.Read(15);  // latter_half_bit_rate
    r.Read(1);
    r.Read(15);  // first_half_vbv_buffer_size
    r.Read(1);
    r.Read(3);   // latter_half_vbv_buffer_size
    r.Read(11);  // first_half_vbv_occupancy
    r.Read(1);
    r.Read(15);  // latter_half_vbv_occupancy
    r.Read(1);
}

void SkipFlagsUnlessDisabled(BitReader &r, unsigned flags) {
    if (r.Read(1) == 0) r.Read(flags);
}

// define_vop_complexity_estimation_header(): which complexity counts each VOP
// header carries. Methods 2 and 3 are reserved and carry nothing.
void SkipComplexityEstimationHeader(BitReader &r) {
    const uint32_t method = r.Read(2);
    if (method > 1) return;
    SkipFlagsUnlessDisabled(r, 6);  // shape_complexity_estimation_disable
    SkipFlagsUnlessDisabled(r, 4);  // texture_complexity_estimation_set_1_disable
    r.Read(1);
    SkipFlagsUnlessDisabled(r, 4);  // texture_complexity_estimation_set_2_disable
    SkipFlagsUnlessDisabled(r, 6);  // motion_compensation_complexity_disable
    r.Read(1);
    if (method == 1) SkipFlagsUnlessDisabled(r, 2);  // version2_complexity_estimation_disable
}

void ReadSprite(BitReader &r, uint32_t sprite_enable) {
    if (sprite_enable == kSpriteStatic) {
        for (int i = 0; i < 4; ++i) {  // sprite width, height, left, top, each behind a marker
            r.Read(13);
            r.Read(1);
        }
    }
    if (sprite_enable == kSpriteStatic || sprite_enable == kSpriteGmc) {
        r.Read(6);  // no_of_sprite_warping_points
        r.Read(2);  // sprite_warping_accuracy
        r.Read(1);  // sprite_brightness_change
    }
    if (sprite_enable == kSpriteStatic) r.Read(1);  // low_latency_sprite_enable
}

// VideoObjectLayer() from its start code to reversible_vlc. A configuration
// without a layer start code here has no layer: nothing is read.
VolResult ReadVideoObjectLayer(BitReader &r, Mpeg4VolInfo *info) {
    if (!IsLayerStart(Peek(r, 32))) return VolResult::Ok;
    r.Read(32);
    r.Read(1);  // random_accessible_vol
    info->video_object_type_indication = static_cast<uint8_t>(r.Read(8));
    if (r.Read(1)) {  // is_object_layer_identifier
        info->video_object_layer_verid = static_cast<uint8_t>(r.Read(4));
        r.Read(3);  // video_object_layer_priority
    } else {
        info->video_object_layer_verid = info->visual_object_verid;
    }
    const bool version1 = info->video_object_layer_verid == 1;
    info->aspect_ratio_info = static_cast<uint8_t>(r.Read(4));
    if (info->aspect_ratio_info == kExtendedPar) r.Read(16);  // par_width, par_height
    if (r.Read(1)) {  // vol_control_parameters
        r.Read(2);    // chroma_format
        r.Read(1);    // low_delay
        if (r.Read(1)) ReadVbvParameters(r);
    }
    const uint32_t shape = r.Read(2);
    info->video_object_layer_shape = static_cast<uint8_t>(shape);
    uint32_t aux_components = 0;
    if (shape == kShapeGrayscale && !version1) aux_components = AuxComponentCount(r.Read(4));

    r.Read(1);
    info->vop_time_increment_resolution = static_cast<uint16_t>(r.Read(16));
    r.Read(1);
    info->fixed_vop_rate = static_cast<uint8_t>(r.Read(1));
    if (info->fixed_vop_rate)
        info->fixed_vop_time_increment =
            static_cast<uint16_t>(r.Read(FixedVopTimeIncrementBits(info->vop_time_increment_resolution)));
    if (shape == kShapeBinaryOnly) return VolResult::Ok;
    if (shape == kShapeRectangular) {
        r.Read(1);
        info->video_object_layer_width = static_cast<uint16_t>(r.Read(13));
        r.Read(1);
        info->video_object_layer_height = static_cast<uint16_t>(r.Read(13));
        r.Read(1);
    }

    r.Read(1);  // interlaced
    r.Read(1);  // obmc_disable
    info->sprite_enable = static_cast<uint8_t>(r.Read(version1 ? 1 : 2));
    ReadSprite(r, info->sprite_enable);
    if (!version1 && shape != kShapeRectangular) r.Read(1);  // sadct_disable
    if (r.Read(1)) {                                         // not_8_bit
        r.Read(4);                                           // quant_precision
        r.Read(4);                                           // bits_per_pixel
    }
    if (shape == kShapeGrayscale) r.Read(3);  // no_gray_quant_update, composition_method, linear_composition

    info->quant_type = static_cast<uint8_t>(r.Read(1));
    if (info->quant_type) {
        SkipMatrixIfLoaded(r);  // load_intra_quant_mat
        SkipMatrixIfLoaded(r);  // load_nonintra_quant_mat
        if (shape == kShapeGrayscale) {
            // A version 1 grayscale layer has no shape extension, hence no count.
            if (aux_components == 0) return VolResult::InvalidShapeExtension;
            for (uint32_t i = 0; i < aux_components; ++i) {
                SkipMatrixIfLoaded(r);  // load_intra_quant_mat_grayscale
                SkipMatrixIfLoaded(r);  // load_nonintra_quant_mat_grayscale
            }
        }
    }
    if (!version1) r.Read(1);  // quarter_sample
    if (r.Read(1) == 0) SkipComplexityEstimationHeader(r);
    info->resync_marker_disable = static_cast<uint8_t>(r.Read(1));
    info->data_partitioned = static_cast<uint8_t>(r.Read(1));
    if (info->data_partitioned) info->reversible_vlc = static_cast<uint8_t>(r.Read(1));
    return VolResult::Ok;
}

// VisualObject() up to the video object's start code, then the layer.
void ReadVisualObject(BitReader &r, uint32_t size, Mpeg4VolInfo *info) {
    r.Read(32);  // visual_object_start_code, not examined
    if (r.Read(1)) {  // is_visual_object_identifier
        info->visual_object_verid = static_cast<uint8_t>(r.Read(4));
        r.Read(3);  // visual_object_priority
    }
    info->visual_object_type = static_cast<uint8_t>(r.Read(4));
    if (info->visual_object_type == kVideoObjectType || info->visual_object_type == kStillTextureObjectType) {
        info->video_signal_type = static_cast<uint8_t>(r.Read(1));
        if (info->video_signal_type) {
            info->video_format = static_cast<uint8_t>(r.Read(3));
            info->video_range = static_cast<uint8_t>(r.Read(1));
            info->colour_description = static_cast<uint8_t>(r.Read(1));
            if (info->colour_description) {
                info->colour_primaries = static_cast<uint8_t>(r.Read(8));
                info->transfer_characteristics = static_cast<uint8_t>(r.Read(8));
                info->matrix_coefficients = static_cast<uint8_t>(r.Read(8));
            }
        }
    }
    r.AlignToByte();  // next_start_code()
    SkipUserData(r, size);
    if (info->visual_object_type != kVideoObjectType) return;
    r.Read(32);  // video_object_start_code, not examined
    ReadVideoObjectLayer(r, info);  // entered here, the parse stands whatever the layer says
}

}  // namespace

unsigned FixedVopTimeIncrementBits(uint32_t vop_time_increment_resolution) {
    const uint32_t largest = vop_time_increment_resolution == 0 ? 0 : vop_time_increment_resolution - 1;
    unsigned bits = 1;
    while (bits < 32 && (largest >> bits) != 0) ++bits;
    return bits;
}

VolResult ParseVideoObjectLayer(const uint8_t *bytes, uint32_t size, Mpeg4VolInfo *info) {
    if (info == nullptr) return VolResult::NoInput;
    *info = Mpeg4VolInfo();
    if (bytes == nullptr || size == 0) return VolResult::NoInput;
    BitReader r(bytes, size);
    const uint32_t code = Peek(r, 32);
    VolResult result = VolResult::Ok;
    if (code == kVisualObjectSequenceStartCode) {
        r.Read(32);
        info->profile_and_level_indication = static_cast<uint8_t>(r.Read(8));
        SkipUserData(r, size);
        ReadVisualObject(r, size, info);
    } else if (code >= kVideoObjectStartFirst && code <= kVideoObjectStartLast) {
        r.Read(32);
        result = ReadVideoObjectLayer(r, info);
    } else if (IsLayerStart(code)) {
        result = ReadVideoObjectLayer(r, info);
    } else {
        return VolResult::UnknownStartCode;
    }
    if (result != VolResult::Ok) return result;
    // The exact bit position, not a count of whole 32-bit words: a word count
    // rounds a layer that ends inside the last, partial word of the bytes up
    // past the end, and so would refuse a complete configuration whose length
    // is not a multiple of four (a 29-byte sequence, object and layer header).
    // Any field read beyond the last byte still moves the position past it.
    r.AlignToByte();
    return r.passed_end() ? VolResult::Truncated : VolResult::Ok;
}
