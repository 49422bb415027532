#include "bit_writer.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

struct Field {
    uint32_t value;
    unsigned count;
};

struct WriteCase {
    const char *name;
    std::vector<Field> fields;
    std::vector<uint8_t> expected;
};

TEST(BitWriter, PacksFieldsMostSignificantBitFirst) {
    const std::vector<WriteCase> cases = {
        {"nothing", {}, {}},
        {"zero-width field", {{1, 0}}, {}},
        {"three bits leave a partial byte", {{0x5, 3}}, {0xA0}},
        {"only the low bits count", {{0xFF, 4}}, {0xF0}},
        {"byte then nibble", {{0xAB, 8}, {0xC, 4}}, {0xAB, 0xC0}},
        {"32 bits", {{0xDEADBEEF, 32}}, {0xDE, 0xAD, 0xBE, 0xEF}},
        {"32 bits from a mid-byte start", {{1, 1}, {0xFFFFFFFF, 32}}, {0xFF, 0xFF, 0xFF, 0xFF, 0x80}},
        {"record header", {{1, 8}, {0x64, 8}, {0, 8}, {0x1F, 8}, {0x3F, 6}, {3, 2}, {7, 3}, {1, 5}},
         {0x01, 0x64, 0x00, 0x1F, 0xFF, 0xE1}},
    };
    for (const WriteCase &c : cases) {
        BitWriter w;
        for (const Field &f : c.fields) ASSERT_TRUE(w.WriteBits(f.value, f.count)) << c.name;
        EXPECT_EQ(w.size(), c.expected.size()) << c.name;
        EXPECT_EQ(std::vector<uint8_t>(w.data(), w.data() + w.size()), c.expected) << c.name;
        EXPECT_EQ(w.Take(), c.expected) << c.name;
    }
}

TEST(BitWriter, BytesFollowAZeroPaddedByte) {
    BitWriter w;
    ASSERT_TRUE(w.WriteBits(0x5, 3));
    const uint8_t bytes[] = {0x11, 0x22};
    ASSERT_TRUE(w.WriteBytes(bytes, sizeof bytes));
    ASSERT_TRUE(w.WriteBits(1, 1));
    EXPECT_EQ(w.Take(), (std::vector<uint8_t>{0xA0, 0x11, 0x22, 0x80}));
    // Take leaves an empty writer; more than 32 bits are refused unwritten.
    EXPECT_EQ(w.size(), 0u);
    EXPECT_FALSE(w.WriteBits(1, 33));
    ASSERT_TRUE(w.WriteBits(1, 1));
    EXPECT_EQ(w.Take(), std::vector<uint8_t>{0x80});
}

TEST(BitWriter, StartsAt256BytesAndGrowsBy256BelowFiveBytesOfHeadroom) {
    BitWriter w;
    EXPECT_EQ(w.capacity(), 256u);
    // The 252nd byte is written with exactly five bytes left: no growth.
    for (int i = 0; i < 252; ++i) ASSERT_TRUE(w.WriteBits(uint32_t(i), 8));
    EXPECT_EQ(w.capacity(), 256u);
    // Four bytes left before the next write: the buffer grows first.
    ASSERT_TRUE(w.WriteBits(0xAA, 8));
    EXPECT_EQ(w.capacity(), 512u);
    const std::vector<uint8_t> out = w.Take();
    ASSERT_EQ(out.size(), 253u);
    for (int i = 0; i < 252; ++i) ASSERT_EQ(out[size_t(i)], uint8_t(i));
    EXPECT_EQ(out[252], 0xAA);
}

TEST(BitWriter, ByteWritesGrowByTheirCount) {
    BitWriter w;
    std::vector<uint8_t> block(1000);
    for (size_t i = 0; i < block.size(); ++i) block[i] = uint8_t(i * 7);
    ASSERT_TRUE(w.WriteBits(1, 1));
    ASSERT_TRUE(w.WriteBytes(block.data(), block.size()));
    EXPECT_EQ(w.capacity(), 256u + 1000u);
    ASSERT_TRUE(w.WriteBits(0xF, 4));
    std::vector<uint8_t> expected{0x80};
    expected.insert(expected.end(), block.begin(), block.end());
    expected.push_back(0xF0);
    EXPECT_EQ(w.Take(), expected);
}

}  // namespace
