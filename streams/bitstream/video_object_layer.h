// The MPEG-4 Visual decoder configuration (ISO/IEC 14496-2 6.2.2, 6.2.3): a
// visual object sequence, visual object and video object layer header, or
// the layer header alone, read up to reversible_vlc for the picture size.
#ifndef KELO_BITSTREAM_VIDEO_OBJECT_LAYER_H
#define KELO_BITSTREAM_VIDEO_OBJECT_LAYER_H

#include <cstdint>

struct Mpeg4VolInfo {
    uint8_t visual_object_verid = 1;
    uint8_t video_object_layer_verid = 1;
    uint8_t profile_and_level_indication = 0;
    uint8_t visual_object_type = 0;
    uint8_t video_object_type_indication = 0;
    uint8_t aspect_ratio_info = 0;
    uint8_t video_object_layer_shape = 0;
    uint16_t vop_time_increment_resolution = 0;
    uint8_t fixed_vop_rate = 0;
    uint16_t fixed_vop_time_increment = 0;
    uint16_t video_object_layer_width = 0;   // 0 unless the layer is rectangular
    uint16_t video_object_layer_height = 0;  // 0 unless the layer is rectangular
    uint8_t sprite_enable = 0;
    uint8_t quant_type = 0;
    uint8_t resync_marker_disable = 0;
    uint8_t data_partitioned = 0;
    uint8_t reversible_vlc = 0;
    // The visual object's video_signal_type.
    uint8_t video_signal_type = 0;
    uint8_t video_format = 0;
    uint8_t video_range = 0;
    uint8_t colour_description = 0;
    uint8_t colour_primaries = 0;
    uint8_t transfer_characteristics = 0;
    uint8_t matrix_coefficients = 0;
};

enum class VolResult {
    Ok,
    NoInput,
    // The configuration starts with none of the three start codes it may
    // start with (visual object sequence, video object, video object layer).
    UnknownStartCode,
    // A grayscale layer whose shape extension names no auxiliary components
    // (13..15) cannot say how many quantiser matrices follow.
    InvalidShapeExtension,
    // The fields ran past the configuration's bytes.
    Truncated,
};

// The number of bits of fixed_vop_time_increment: the fewest that hold
// vop_time_increment_resolution - 1, at least one.
unsigned FixedVopTimeIncrementBits(uint32_t vop_time_increment_resolution);

// Parses a configuration that starts with visual_object_sequence_start_code
// (0x000001B0), a video_object_start_code (0x00000100..0x0000011F) or a
// video_object_layer_start_code (0x00000120..0x0000012F); user data blocks
// (0x000001B2) are skipped. The record is reset first and keeps what was
// read even when the parse fails. Entered at a visual object sequence, the
// parse succeeds whatever the visual object holds (another object type, no
// layer, a layer with a broken shape extension) as long as it stays inside
// the bytes.
VolResult ParseVideoObjectLayer(const uint8_t *bytes, uint32_t size, Mpeg4VolInfo *info);

#endif
