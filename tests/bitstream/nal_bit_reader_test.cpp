#include "nal_bit_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bit_string.h"

namespace {

TEST(RemoveEmulationPrevention, DropsThe03AfterTwoZeroBytes) {
    struct Case {
        std::vector<uint8_t> in, out;
    };
    const std::vector<Case> cases = {
        {{}, {}},
        {{0x00, 0x00, 0x03, 0x01}, {0x00, 0x00, 0x01}},
        {{0x00, 0x00, 0x03}, {0x00, 0x00}},                              // the 03 as last byte
        {{0x00, 0x00, 0x03, 0x00, 0x00, 0x03}, {0x00, 0x00, 0x00, 0x00}},  // counting restarts behind it
        {{0x00, 0x00, 0x03, 0x03}, {0x00, 0x00, 0x03}},                  // only the first 03 goes
        {{0x00, 0x03, 0x00}, {0x00, 0x03, 0x00}},                        // one zero is not enough
        {{0x00, 0x00}, {0x00, 0x00}},                                    // 00 00 at the end
        {{0x05, 0x00, 0x00, 0x03, 0x00, 0x07}, {0x05, 0x00, 0x00, 0x00, 0x07}},
    };
    for (const Case &c : cases) {
        auto copy = ExactCopy(c.in.data(), c.in.size());
        EXPECT_EQ(RemoveEmulationPrevention(copy.get(), c.in.size()), c.out);
    }
}

TEST(NalBitReader, ReadsFieldsAndFailsPastTheEndWithoutMoving) {
    const uint8_t bytes[] = {0xA5, 0x0F};
    auto copy = ExactCopy(bytes, sizeof bytes);
    NalBitReader r(copy.get(), sizeof bytes);
    uint32_t v = 0;
    ASSERT_TRUE(r.ReadBits(1, &v));
    EXPECT_EQ(v, 1u);
    ASSERT_TRUE(r.ReadBits(3, &v));
    EXPECT_EQ(v, 2u);
    ASSERT_TRUE(r.ReadBits(4, &v));
    EXPECT_EQ(v, 5u);
    EXPECT_FALSE(r.ReadBits(9, &v));
    EXPECT_EQ(r.bits_left(), 8u);
    EXPECT_FALSE(r.ReadBits(33, &v));
    ASSERT_TRUE(r.ReadBits(8, &v));
    EXPECT_EQ(v, 0x0Fu);
    EXPECT_FALSE(r.ReadBits(1, &v));
    ASSERT_TRUE(r.ReadBits(0, &v));
    EXPECT_EQ(v, 0u);
    const uint8_t wide[] = {0x80, 0x00, 0x00, 0x01, 0xFF};
    NalBitReader r32(wide, sizeof wide);
    ASSERT_TRUE(r32.ReadBits(32, &v));
    EXPECT_EQ(v, 0x80000001u);
}

TEST(NalBitReader, ExpGolombCodes) {
    struct Case {
        std::string bits;
        bool ok;
        uint64_t ue;
        int64_t se;
    };
    const std::string zeros32(32, '0');
    const std::vector<Case> cases = {
        {"1", true, 0, 0},
        {"010", true, 1, 1},
        {"011", true, 2, -1},
        {"00100", true, 3, 2},
        {"00101", true, 4, -2},
        {"00111", true, 6, -3},
        {"0001000", true, 7, 4},
        {"000011111", true, 30, -15},
        {zeros32 + "1" + zeros32, true, 0xFFFFFFFFull, 0x80000000ll},
        {zeros32 + "1" + std::string(31, '0') + "1", true, 0x100000000ull, -0x80000000ll},
        {"0" + zeros32 + "1" + zeros32 + "0", false, 0, 0},  // 33 leading zeros
        {"00000000", false, 0, 0},                            // no one bit at all
        {"00000001", false, 0, 0},                            // the one bit, no suffix bits
    };
    for (const Case &c : cases) {
        const std::vector<uint8_t> bytes = BitString().text(c.bits).bytes();
        auto copy = ExactCopy(bytes.data(), bytes.size());
        uint64_t ue = 0;
        int64_t se = 0;
        NalBitReader ue_reader(copy.get(), bytes.size());
        NalBitReader se_reader(copy.get(), bytes.size());
        if (c.ok) {
            ASSERT_TRUE(ue_reader.ReadUe(&ue)) << c.bits;
            EXPECT_EQ(ue, c.ue) << c.bits;
            ASSERT_TRUE(se_reader.ReadSe(&se)) << c.bits;
            EXPECT_EQ(se, c.se) << c.bits;
            EXPECT_EQ(ue_reader.bits_left(), bytes.size() * 8 - c.bits.size()) << c.bits;
        } else {
            EXPECT_FALSE(ue_reader.ReadUe(&ue)) << c.bits;
            EXPECT_EQ(ue_reader.bits_left(), bytes.size() * 8) << c.bits << ": a failed read stays put";
        }
    }
}

}  // namespace
