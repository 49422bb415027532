#include "aspect_ratio.h"

namespace {

struct Ratio {
    uint32_t x, y;
};

// aspect_ratio_idc 1..16.
constexpr Ratio kTableE1[16] = {{1, 1},   {12, 11}, {10, 11}, {16, 11}, {40, 33}, {24, 11}, {20, 11}, {32, 11},
                                {80, 33}, {18, 11}, {15, 11}, {64, 33}, {160, 99}, {4, 3},  {3, 2},   {2, 1}};

// The subtraction method, with each run of subtractions of the smaller value
// taken at once as a remainder: the same divisor, in logarithmically many
// steps even for 2^32 - 1 against 1.
template <typename Unsigned>
Unsigned GreatestCommonDivisor(Unsigned a, Unsigned b) {
    while (a != 0 && b != 0) {
        if (a > b) {
            a %= b;
        } else {
            b %= a;
        }
    }
    return a != 0 ? a : b;
}

}  // namespace

void GetSampleAspectRatio(const AvcSpsInfo &info, uint32_t *x, uint32_t *y) {
    SampleAspectRatioOf(info.aspect_ratio_idc, info.sar_width, info.sar_height, x, y);
}

void SampleAspectRatioOf(uint32_t aspect_ratio_idc, uint32_t sar_width, uint32_t sar_height, uint32_t *x, uint32_t *y) {
    if (sar_width != 0 && sar_height != 0) {
        *x = sar_width;
        *y = sar_height;
    } else if (aspect_ratio_idc >= 1 && aspect_ratio_idc <= 16) {
        *x = kTableE1[aspect_ratio_idc - 1].x;
        *y = kTableE1[aspect_ratio_idc - 1].y;
    } else {
        *x = 1;
        *y = 1;
    }
}

void ComputeDisplayAspectRatio(uint32_t width, uint32_t height, uint32_t sar_x, uint32_t sar_y, uint32_t *x,
                               uint32_t *y) {
    // Unsigned products wrap modulo 2^32, as the format's 32-bit fields do.
    const uint32_t px = (width & ~uint32_t(31)) * sar_x;
    const uint32_t py = height * sar_y;
    if (px == 0 || py == 0) {
        *x = width;
        *y = height;
        return;
    }
    const uint32_t divisor = GreatestCommonDivisor(px, py);
    *x = px / divisor;
    *y = py / divisor;
}

void ComputeExactAspectRatio(uint32_t width, uint32_t height, uint32_t sar_x, uint32_t sar_y, uint32_t *x,
                             uint32_t *y) {
    uint64_t px = uint64_t{width} * sar_x, py = uint64_t{height} * sar_y;
    if (px == 0 || py == 0) {
        *x = width;
        *y = height;
        return;
    }
    const uint64_t divisor = GreatestCommonDivisor(px, py);
    px /= divisor;
    py /= divisor;
    while (px > UINT32_MAX || py > UINT32_MAX) {
        px = px / 2 + (px == 1);
        py = py / 2 + (py == 1);
    }
    *x = static_cast<uint32_t>(px);
    *y = static_cast<uint32_t>(py);
}
