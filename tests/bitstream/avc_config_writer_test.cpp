#include "avc_config_writer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The record's layout is proven against ffmpeg's own records (real_media_test);
// these are the rules no encoder exercises.
TEST(AvcConfigWriter, HeaderRules) {
    struct Case {
        uint32_t compatibility, level, length_size_minus_one;
        bool ok;
        uint8_t written_compatibility;
    };
    const std::vector<Case> cases = {
        {0xC0, 30, 3, true, 0xC0}, {0x50, 30, 3, true, 0x50}, {0x58, 30, 3, true, 0x40}, {0x43, 30, 3, true, 0x40},
        {0x0F, 30, 3, true, 0x00}, {0xFF, 30, 3, true, 0xE0}, {0xF0, 30, 3, true, 0xF0}, {0x00, 9, 0, true, 0x00},
        {0x00, 8, 3, false, 0},    {0x00, 0, 3, false, 0},    {0x00, 30, 4, false, 0},   {0x00, 256, 3, false, 0},
    };
    for (const Case& c : cases) {
        AvcConfigWriter w;
        ASSERT_EQ(w.WriteHeader(0x4D, c.compatibility, c.level, c.length_size_minus_one), c.ok)
            << std::hex << c.compatibility << " level " << std::dec << c.level;
        std::vector<uint8_t> record;
        if (!c.ok) {
            EXPECT_FALSE(w.Finish(&record)) << "no header, no record";
            continue;
        }
        ASSERT_TRUE(w.Finish(&record));
        // No parameter sets: both counts 0, the SPS count behind its reserved ones.
        EXPECT_EQ(record, (std::vector<uint8_t>{0x01, 0x4D, c.written_compatibility, uint8_t(c.level),
                                                uint8_t(0xFC | c.length_size_minus_one), 0xE0, 0x00}))
            << std::hex << c.compatibility;
    }
}

TEST(AvcConfigWriter, AtMost31SpsAnd255Pps) {
    AvcConfigWriter w;
    ASSERT_TRUE(w.WriteHeader(0x42, 0, 30, 3));
    const uint8_t unit[] = {0x67};
    for (int i = 0; i < 31; ++i) ASSERT_TRUE(w.AddSps(unit, 1)) << i;
    EXPECT_FALSE(w.AddSps(unit, 1));
    for (int i = 0; i < 255; ++i) ASSERT_TRUE(w.AddPps(unit, 1)) << i;
    EXPECT_FALSE(w.AddPps(unit, 1));
    EXPECT_FALSE(w.WriteHeader(0x42, 0, 30, 3)) << "one header only";
    std::vector<uint8_t> record;
    ASSERT_TRUE(w.Finish(&record));
    EXPECT_FALSE(w.Finish(&record)) << "a finished writer is spent";
    ASSERT_EQ(record.size(), 5u + 1 + 31 * 3 + 1 + 255 * 3);
    EXPECT_EQ(w.record_size(), record.size());
    EXPECT_EQ(record[5], 0xE0 | 31);
    EXPECT_EQ(record[6 + 31 * 3], 255);
    EXPECT_EQ(record.back(), 0x67);
}

TEST(AvcConfigWriter, EntryLengthIs16Bits) {
    AvcConfigWriter w;
    ASSERT_TRUE(w.WriteHeader(0x42, 0, 30, 3));
    std::vector<uint8_t> big(65536, 0xAB);
    EXPECT_FALSE(w.AddSps(big.data(), 65536));
    ASSERT_TRUE(w.AddSps(big.data(), 65535));
    ASSERT_TRUE(w.AddPps(nullptr, 0));
    std::vector<uint8_t> record;
    ASSERT_TRUE(w.Finish(&record));
    ASSERT_EQ(record.size(), 5u + 1 + 2 + 65535 + 1 + 2);
    EXPECT_EQ(record[6], 0xFF);
    EXPECT_EQ(record[7], 0xFF);
    EXPECT_EQ(record[8 + 65535], 1);  // PPS count
    EXPECT_EQ(record[9 + 65535], 0);
    EXPECT_EQ(record[10 + 65535], 0);
}

}  // namespace
