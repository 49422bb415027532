#include "aspect_ratio.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct SarCase {
    uint32_t idc, sar_width, sar_height, x, y;
};

TEST(SampleAspectRatio, TableE1AndExplicitDimensions) {
    const std::vector<SarCase> cases = {
        // ISO/IEC 14496-10 Table E-1, as printed.
        {1, 0, 0, 1, 1},    {2, 0, 0, 12, 11},  {3, 0, 0, 10, 11},  {4, 0, 0, 16, 11},  {5, 0, 0, 40, 33},
        {6, 0, 0, 24, 11},  {7, 0, 0, 20, 11},  {8, 0, 0, 32, 11},  {9, 0, 0, 80, 33},  {10, 0, 0, 18, 11},
        {11, 0, 0, 15, 11}, {12, 0, 0, 64, 33}, {13, 0, 0, 160, 99}, {14, 0, 0, 4, 3},  {15, 0, 0, 3, 2},
        {16, 0, 0, 2, 1},
        // Unspecified and reserved values, and Extended_SAR without both sizes.
        {0, 0, 0, 1, 1},    {17, 0, 0, 1, 1},   {254, 0, 0, 1, 1},  {255, 0, 0, 1, 1},  {255, 4, 0, 1, 1},
        {255, 0, 3, 1, 1},
        // Both sizes win, whatever the idc says.
        {255, 4, 3, 4, 3},  {255, 65535, 1, 65535, 1}, {2, 5, 7, 5, 7},
    };
    for (const SarCase &c : cases) {
        AvcSpsInfo info;
        info.aspect_ratio_idc = c.idc;
        info.sar_width = c.sar_width;
        info.sar_height = c.sar_height;
        uint32_t x = 0, y = 0;
        GetSampleAspectRatio(info, &x, &y);
        EXPECT_EQ(x, c.x) << c.idc << " " << c.sar_width << ":" << c.sar_height;
        EXPECT_EQ(y, c.y) << c.idc << " " << c.sar_width << ":" << c.sar_height;
    }
}

struct DarCase {
    uint32_t width, height, sar_x, sar_y, x, y;
};

TEST(DisplayAspectRatio, WidthCutToAMultipleOf32) {
    const std::vector<DarCase> cases = {
        {1440, 1080, 4, 3, 16, 9},   // 5760:3240
        {1280, 720, 1, 1, 16, 9},
        {720, 576, 1, 1, 11, 9},     // 704:576
        {720, 480, 10, 11, 4, 3},    // 7040:5280
        {720, 480, 40, 33, 16, 9},   // 28160:15840
        {1920, 1080, 1, 1, 16, 9},
        {352, 288, 12, 11, 4, 3},
        {640, 480, 1, 1, 4, 3},
        {31, 20, 1, 1, 31, 20},      // the cut width is 0: W:H
        {0, 480, 1, 1, 0, 480},
        {640, 0, 1, 1, 640, 0},
        {640, 480, 0, 1, 640, 480},  // a zero ratio: W:H
        {640, 480, 1, 0, 640, 480},
        {65536, 1, 65536, 1, 65536, 1},                 // 2^32 wraps to 0: W:H
        {4294967264u, 1, 1, 1, 4294967264u, 1},          // largest cut width, coprime
        {4294967264u, 4294967295u, 1, 1, 4294967264u, 4294967295u},
        {64, 1, 1, 4294967295u, 64, 4294967295u},
    };
    for (const DarCase &c : cases) {
        uint32_t x = 0, y = 0;
        ComputeDisplayAspectRatio(c.width, c.height, c.sar_x, c.sar_y, &x, &y);
        EXPECT_EQ(x, c.x) << c.width << "x" << c.height << " " << c.sar_x << ":" << c.sar_y;
        EXPECT_EQ(y, c.y) << c.width << "x" << c.height << " " << c.sar_x << ":" << c.sar_y;
    }
}

}  // namespace
