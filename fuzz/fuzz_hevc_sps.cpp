// The HEVC SPS parser on any NAL unit, then what the HEVC pin does with it:
// the display size and the picture aspect ratio. The parsed values must keep
// the parser's limits, the display size must lie inside the picture, and the
// aspect ratio must have no zero term.
#include "aspect_ratio.h"
#include "bitstream_checks.h"
#include "hevc_sps_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 0xFFFF) return 0;
    HevcSpsInfo info;
    const bool parsed = ParseHevcSequenceParameterSet(data, static_cast<uint32_t>(size), &info);
    if (!parsed) return 0;
    check(((data[0] >> 1) & 0x3F) == 33, "only type 33 parses");
    check(info.sps_max_sub_layers_minus1 <= 6 && info.sps_seq_parameter_set_id <= 15, "ids within their ranges");
    check(info.chroma_format_idc <= 3 && info.bit_depth_luma_minus8 <= 8 && info.bit_depth_chroma_minus8 <= 8,
          "chroma format and bit depths within their ranges");
    check(info.num_short_term_ref_pic_sets <= 64 && info.num_long_term_ref_pics_sps <= 32, "reference sets bounded");
    uint32_t width = 0, height = 0;
    GetHevcDisplaySize(info, &width, &height);
    check(width >= 1 && height >= 1, "the window leaves a picture");
    check(width <= info.pic_width_in_luma_samples && height <= info.pic_height_in_luma_samples,
          "the display lies inside the decoded picture");
    uint32_t sar_x = 0, sar_y = 0, dar_x = 0, dar_y = 0;
    SampleAspectRatioOf(info.aspect_ratio_idc, info.sar_width, info.sar_height, &sar_x, &sar_y);
    check(sar_x != 0 && sar_y != 0, "a sample aspect ratio has no zero term");
    ComputeExactAspectRatio(width, height, sar_x, sar_y, &dar_x, &dar_y);
    check(dar_x != 0 && dar_y != 0, "a picture aspect ratio has no zero term");
    return 0;
}
