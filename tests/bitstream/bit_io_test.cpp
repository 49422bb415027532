// The bit writer and both bit readers against the same hand-packed bytes, then
// what each does at its edges.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bit_reader.h"
#include "bit_string.h"
#include "bit_writer.h"
#include "nal_bit_reader.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Field {
    uint32_t value;
    unsigned count;
};

struct PackingRow {
    const char* name;
    std::vector<Field> fields;
    Bytes bytes;
};

// Written field by field, the bytes come out; read back field by field, the
// low bits of each value do.
const PackingRow kPackings[] = {
    {"nothing", {}, {}},
    {"zero-width field", {{1, 0}}, {}},
    {"three bits leave a partial byte", {{0x5, 3}}, {0xA0}},
    {"only the low bits count", {{0xFF, 4}}, {0xF0}},
    {"32 bits", {{0xDEADBEEF, 32}}, {0xDE, 0xAD, 0xBE, 0xEF}},
    {"32 bits from a mid-byte start", {{1, 1}, {0xFFFFFFFF, 32}}, {0xFF, 0xFF, 0xFF, 0xFF, 0x80}},
    {"widths across bytes",
     {{1, 1}, {2, 3}, {5, 4}, {0x0F123456, 32}, {7, 4}, {8, 4}},
     {0xA5, 0x0F, 0x12, 0x34, 0x56, 0x78}},
    {"record header",
     {{1, 8}, {0x64, 8}, {0, 8}, {0x1F, 8}, {0x3F, 6}, {3, 2}, {7, 3}, {1, 5}},
     {0x01, 0x64, 0x00, 0x1F, 0xFF, 0xE1}},
};

uint32_t LowBits(const Field& f) {
    return f.count == 0 ? 0 : uint32_t(uint64_t(f.value) & ((uint64_t(1) << f.count) - 1));
}

TEST(BitIo, WriterAndReadersAgreeOnThePacking) {
    for (const PackingRow& row : kPackings) {
        SCOPED_TRACE(row.name);
        BitWriter w;
        for (const Field& f : row.fields) ASSERT_TRUE(w.WriteBits(f.value, f.count));
        EXPECT_EQ(Bytes(w.data(), w.data() + w.size()), row.bytes);
        EXPECT_EQ(w.Take(), row.bytes);

        auto copy = ExactCopy(row.bytes.data(), row.bytes.size());
        BitReader r(copy.get(), row.bytes.size());
        NalBitReader nal(copy.get(), row.bytes.size());
        size_t bits = 0;
        for (const Field& f : row.fields) {
            EXPECT_EQ(r.Read(f.count), LowBits(f));
            uint32_t v = 99;
            ASSERT_TRUE(nal.ReadBits(f.count, &v));
            EXPECT_EQ(v, LowBits(f));
            bits += f.count;
        }
        EXPECT_FALSE(r.passed_end());
        EXPECT_EQ(nal.bits_left(), row.bytes.size() * 8 - bits);
    }
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
    const uint8_t bytes[] = {0x80, 0x00, 0x00, 0x00, 0x01};
    BitReader r(bytes, sizeof bytes);
    EXPECT_EQ(r.Read(0), 0u);
    EXPECT_EQ(r.Read(33), 0u);
    r.Skip(32);
    EXPECT_EQ(r.GetPosition().byte_offset, 0u);
    EXPECT_EQ(r.GetPosition().bit_offset, 0u);
    EXPECT_EQ(r.Read(1), 1u);
    r.Skip(0);
    r.Skip(31);
    r.Skip(7);
    EXPECT_EQ(r.Read(1), 1u);
    EXPECT_FALSE(r.passed_end());
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

TEST(BitWriter, BytesFollowAZeroPaddedByte) {
    BitWriter w;
    ASSERT_TRUE(w.WriteBits(0x5, 3));
    const uint8_t bytes[] = {0x11, 0x22};
    ASSERT_TRUE(w.WriteBytes(bytes, sizeof bytes));
    ASSERT_TRUE(w.WriteBits(1, 1));
    EXPECT_EQ(w.Take(), (Bytes{0xA0, 0x11, 0x22, 0x80}));
    // Take leaves an empty writer; more than 32 bits are refused unwritten.
    EXPECT_EQ(w.size(), 0u);
    EXPECT_FALSE(w.WriteBits(1, 33));
    ASSERT_TRUE(w.WriteBits(1, 1));
    EXPECT_EQ(w.Take(), Bytes{0x80});
}

TEST(BitWriter, GrowsBeforeAWriteCouldPassTheBuffer) {
    BitWriter w;
    EXPECT_EQ(w.capacity(), 256u);
    // The 252nd byte is written with exactly five bytes left: no growth.
    for (int i = 0; i < 252; ++i) ASSERT_TRUE(w.WriteBits(uint32_t(i), 8));
    EXPECT_EQ(w.capacity(), 256u);
    // Four bytes left before the next write: the buffer grows first.
    ASSERT_TRUE(w.WriteBits(0xAA, 8));
    EXPECT_EQ(w.capacity(), 512u);
    // Bytes grow it by their count, behind a padded bit.
    Bytes block(1000);
    for (size_t i = 0; i < block.size(); ++i) block[i] = uint8_t(i * 7);
    ASSERT_TRUE(w.WriteBits(1, 1));
    ASSERT_TRUE(w.WriteBytes(block.data(), block.size()));
    EXPECT_EQ(w.capacity(), 512u + 1000u);
    Bytes expected;
    for (int i = 0; i < 252; ++i) expected.push_back(uint8_t(i));
    expected.push_back(0xAA);
    expected.push_back(0x80);
    expected.insert(expected.end(), block.begin(), block.end());
    EXPECT_EQ(w.Take(), expected);
}

TEST(NalBitReader, FailsPastTheEndWithoutMoving) {
    const uint8_t bytes[] = {0xA5, 0x0F, 0, 0, 0, 0};
    auto copy = ExactCopy(bytes, sizeof bytes);
    NalBitReader r(copy.get(), sizeof bytes);
    uint32_t v = 0;
    ASSERT_TRUE(r.ReadBits(8, &v));
    EXPECT_FALSE(r.ReadBits(33, &v)) << "more than 32 bits, though they are there";
    ASSERT_TRUE(r.ReadBits(32, &v));
    EXPECT_EQ(v, 0x0F000000u);
    EXPECT_FALSE(r.ReadBits(9, &v));
    EXPECT_EQ(r.bits_left(), 8u);
    ASSERT_TRUE(r.ReadBits(8, &v));
    EXPECT_FALSE(r.ReadBits(1, &v));
}

TEST(RemoveEmulationPrevention, DropsThe03AfterTwoZeroBytes) {
    struct Row {
        Bytes in, out;
    };
    const Row rows[] = {
        {{}, {}},
        {{0x00, 0x00, 0x03, 0x01}, {0x00, 0x00, 0x01}},
        {{0x00, 0x00, 0x03}, {0x00, 0x00}},                                // the 03 as last byte
        {{0x00, 0x00, 0x03, 0x00, 0x00, 0x03}, {0x00, 0x00, 0x00, 0x00}},  // counting restarts behind it
        {{0x00, 0x00, 0x03, 0x03}, {0x00, 0x00, 0x03}},                    // only the first 03 goes
        {{0x00, 0x03, 0x00}, {0x00, 0x03, 0x00}},                          // one zero is not enough
        {{0x00, 0x00}, {0x00, 0x00}},                                      // 00 00 at the end
        {{0x05, 0x00, 0x00, 0x03, 0x00, 0x07}, {0x05, 0x00, 0x00, 0x00, 0x07}},
    };
    for (const Row& row : rows) {
        auto copy = ExactCopy(row.in.data(), row.in.size());
        EXPECT_EQ(RemoveEmulationPrevention(copy.get(), row.in.size()), row.out);
    }
}

TEST(NalBitReader, ExpGolombCodes) {
    struct Row {
        std::string bits;
        bool ok;
        uint64_t ue;
        int64_t se;
    };
    const std::string zeros32(32, '0');
    const Row rows[] = {
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
        {"00000000", false, 0, 0},                           // no one bit at all
        {"00000001", false, 0, 0},                           // the one bit, no suffix bits
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.bits);
        const Bytes bytes = BitString().text(row.bits).bytes();
        auto copy = ExactCopy(bytes.data(), bytes.size());
        uint64_t ue = 0;
        int64_t se = 0;
        NalBitReader ue_reader(copy.get(), bytes.size());
        NalBitReader se_reader(copy.get(), bytes.size());
        if (row.ok) {
            ASSERT_TRUE(ue_reader.ReadUe(&ue));
            EXPECT_EQ(ue, row.ue);
            ASSERT_TRUE(se_reader.ReadSe(&se));
            EXPECT_EQ(se, row.se);
            EXPECT_EQ(ue_reader.bits_left(), bytes.size() * 8 - row.bits.size());
        } else {
            EXPECT_FALSE(ue_reader.ReadUe(&ue));
            EXPECT_EQ(ue_reader.bits_left(), bytes.size() * 8) << "a failed read stays put";
        }
    }
}

}  // namespace
