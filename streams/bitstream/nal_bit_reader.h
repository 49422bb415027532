// Reading the raw byte sequence payload (RBSP) of an H.264 NAL unit: the
// emulation-prevention bytes removed, then fixed-width and Exp-Golomb codes.
#ifndef KELO_BITSTREAM_NAL_BIT_READER_H
#define KELO_BITSTREAM_NAL_BIT_READER_H

#include <cstddef>
#include <cstdint>
#include <vector>

// Copies `size` bytes, dropping every 0x03 that follows two zero bytes
// (00 00 03 -> 00 00); scanning resumes behind the dropped byte.
std::vector<uint8_t> RemoveEmulationPrevention(const uint8_t *bytes, size_t size);

// MSB-first reader over an RBSP. A read whose last bit would lie past the
// buffer fails and leaves the position where it was.
class NalBitReader {
public:
    static constexpr unsigned kMaxLeadingZeros = 32;

    NalBitReader(const uint8_t *bytes, size_t size) : bytes_(bytes), size_(size) {}

    // u(n), n up to 32.
    bool ReadBits(unsigned count, uint32_t *value);
    bool ReadFlag(bool *flag);
    // ue(v): up to 32 leading zeros, so the value can reach 2^33 - 2.
    bool ReadUe(uint64_t *value);
    // se(v): k odd -> (k + 1) / 2, k even -> -(k / 2).
    bool ReadSe(int64_t *value);

    size_t bits_left() const { return size_ * 8 - bit_position_; }

private:
    const uint8_t *bytes_;
    size_t size_;
    size_t bit_position_ = 0;
};

#endif
