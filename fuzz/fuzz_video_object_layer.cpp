// The MPEG-4 Visual configuration parser on any input: what the MPEG-4 Video
// pin reads the picture size from. The record must keep the fields' widths,
// and only a rectangular layer has a size.
#include "bitstream_checks.h"
#include "video_object_layer.h"

namespace {

bool StartsWithEntryCode(const uint8_t *data, size_t size) {
    // Bytes past the end read as zeros.
    uint32_t code = 0;
    for (size_t i = 0; i < 4; ++i) code = code << 8 | (i < size ? data[i] : 0u);
    return code == 0x1B0 || (code >= 0x100 && code <= 0x12F);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 0xFFFF) return 0;
    Mpeg4VolInfo info;
    const VolResult result = ParseVideoObjectLayer(data, static_cast<uint32_t>(size), &info);
    if (size == 0) {
        check(result == VolResult::NoInput, "no bytes, no input");
        return 0;
    }
    check((result == VolResult::UnknownStartCode) == !StartsWithEntryCode(data, size),
          "refused exactly when no entry start code leads");
    check(info.video_object_layer_width < 8192 && info.video_object_layer_height < 8192, "13-bit sizes");
    check(info.video_object_layer_shape <= 3 && info.sprite_enable <= 3, "2-bit fields");
    check(info.video_object_layer_verid <= 15 && info.visual_object_verid <= 15, "4-bit identifiers");
    check(info.video_object_layer_shape == 0 ||
              (info.video_object_layer_width == 0 && info.video_object_layer_height == 0),
          "only a rectangular layer has a size");
    check(result != VolResult::InvalidShapeExtension || (info.video_object_layer_shape == 3 && info.quant_type == 1),
          "the shape extension matters only for a grayscale layer's matrices");
    check(info.fixed_vop_rate || info.fixed_vop_time_increment == 0, "an increment only with a fixed rate");
    return 0;
}
