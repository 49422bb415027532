#include "bit_reader.h"

#include <gtest/gtest.h>

#include <vector>

#include "bit_string.h"

namespace {

TEST(BitReader, ReadsMostSignificantBitFirst) {
    const uint8_t bytes[] = {0xA5, 0x0F, 0x12, 0x34, 0x56, 0x78};
    auto copy = ExactCopy(bytes, sizeof bytes);
    BitReader r(copy.get(), sizeof bytes);
    EXPECT_EQ(r.Read(1), 1u);
    EXPECT_EQ(r.Read(3), 2u);
    EXPECT_EQ(r.Read(4), 5u);
    EXPECT_EQ(r.Read(32), 0x0F123456u);
    EXPECT_EQ(r.Read(4), 7u);
    EXPECT_EQ(r.Read(4), 8u);
    EXPECT_FALSE(r.passed_end());
}

TEST(BitReader, BitsPastTheEndReadAsZeroWithoutTouchingThem) {
    const uint8_t bytes[] = {0xFF};
    auto copy = ExactCopy(bytes, 1);
    BitReader r(copy.get(), 1);
    EXPECT_EQ(r.Read(32), 0xFF000000u);
    EXPECT_TRUE(r.passed_end());
    EXPECT_EQ(r.Read(32), 0u);
    BitReader mid(copy.get(), 1, 4);
    EXPECT_EQ(mid.Read(8), 0xF0u);
    BitReader empty(nullptr, 0);
    EXPECT_EQ(empty.Read(32), 0u);
    EXPECT_TRUE(empty.passed_end());
}

TEST(BitReader, CountsOutsideTheirRangeDoNothing) {
    const uint8_t bytes[] = {0x80, 0x01};
    BitReader r(bytes, sizeof bytes);
    EXPECT_EQ(r.Read(0), 0u);
    EXPECT_EQ(r.Read(33), 0u);
    r.Skip(32);
    EXPECT_EQ(r.GetPosition().byte_offset, 0u);
    EXPECT_EQ(r.GetPosition().bit_offset, 0u);
    EXPECT_EQ(r.Read(1), 1u);
    r.Skip(0);
    r.Skip(14);
    EXPECT_EQ(r.Read(1), 1u);
}

TEST(BitReader, StartOffsetAndAlignmentFromTheRangeStart) {
    const uint8_t bytes[] = {0x1F, 0xC3};
    BitReader r(bytes, sizeof bytes, 3);
    EXPECT_EQ(r.GetPosition().bit_offset, 3u);
    EXPECT_EQ(r.Read(5), 0x1Fu);
    r.AlignToByte();  // already aligned: stays
    EXPECT_EQ(r.GetPosition().byte_offset, 1u);
    EXPECT_EQ(r.Read(2), 3u);
    r.AlignToByte();
    EXPECT_EQ(r.GetPosition().byte_offset, 2u);
    EXPECT_EQ(r.GetPosition().bit_offset, 0u);
    EXPECT_FALSE(r.passed_end());
}

TEST(BitReader, PassedEndIsTheExactBitPosition) {
    struct Case {
        size_t size;
        unsigned bits;
        bool passed;
    };
    // Ranges of 1..6 bytes, so the end falls inside and at 32-bit word
    // boundaries alike: the report depends on the bit position only.
    const std::vector<Case> cases = {
        {1, 7, false}, {1, 8, false}, {1, 9, true},   {4, 31, false}, {4, 32, false},
        {4, 33, true}, {5, 39, false}, {5, 40, false}, {5, 41, true}, {6, 48, false}, {6, 49, true},
    };
    const std::vector<uint8_t> bytes(6, 0x55);
    for (const Case &c : cases) {
        auto copy = ExactCopy(bytes.data(), c.size);
        BitReader r(copy.get(), c.size);
        unsigned left = c.bits;
        while (left > 0) {
            const unsigned n = left > 31 ? 31 : left;
            r.Skip(n);
            left -= n;
        }
        const BitReader::Position p = r.GetPosition();
        EXPECT_EQ(p.passed_end, c.passed) << c.size << " bytes, " << c.bits << " bits";
        EXPECT_EQ(p.byte_offset, c.bits / 8);
        EXPECT_EQ(p.bit_offset, c.bits % 8);
    }
}

}  // namespace
