// The sample aspect ratio of an H.264 or HEVC SPS and the picture aspect
// ratio that a video format block announces.
#ifndef KELO_BITSTREAM_ASPECT_RATIO_H
#define KELO_BITSTREAM_ASPECT_RATIO_H

#include <cstdint>

#include "sps_parser.h"

// sar_width:sar_height when both are non-zero; otherwise the ratio of
// aspect_ratio_idc 1 to 16 (ISO/IEC 14496-10 Table E-1); every other idc
// (0, 17..254, 255 without both dimensions) is 1:1.
void GetSampleAspectRatio(const AvcSpsInfo &info, uint32_t *x, uint32_t *y);
// The same rule on the VUI fields themselves; HEVC's Table E-1 is H.264's.
void SampleAspectRatioOf(uint32_t aspect_ratio_idc, uint32_t sar_width, uint32_t sar_height, uint32_t *x, uint32_t *y);

// (width with its low five bits cleared) * sar_x : height * sar_y in 32-bit
// unsigned arithmetic, reduced by the greatest common divisor; width:height
// when either product is 0. The width is cut to a multiple of 32 on purpose:
// the decoders this feeds size their picture that way, so 720 counts as 704.
void ComputeDisplayAspectRatio(uint32_t width, uint32_t height, uint32_t sar_x, uint32_t sar_y, uint32_t *x,
                               uint32_t *y);

// width * sar_x : height * sar_y computed in 64 bits and reduced by the
// greatest common divisor, halved while a term does not fit in 32 bits;
// width:height when either product is 0.
void ComputeExactAspectRatio(uint32_t width, uint32_t height, uint32_t sar_x, uint32_t sar_y, uint32_t *x, uint32_t *y);

#endif
