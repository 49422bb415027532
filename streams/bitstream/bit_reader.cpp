#include "bit_reader.h"

BitReader::BitReader(const uint8_t *bytes, size_t size, unsigned bit_offset)
    : bytes_(bytes), size_(bytes == nullptr ? 0 : size), bit_position_(bit_offset % 8) {}

uint32_t BitReader::Read(unsigned count) {
    if (count < 1 || count > 32) return 0;
    // Five bytes hold any 32 bits that start inside the first one; bytes at
    // or past the end are taken as zeros, never read.
    const uint64_t first = bit_position_ / 8;
    uint64_t window = 0;
    for (uint64_t i = 0; i < 5; ++i) {
        const uint64_t byte = first + i;
        window = (window << 8) | (byte < size_ ? bytes_[byte] : 0u);
    }
    const unsigned shift = 40 - static_cast<unsigned>(bit_position_ % 8) - count;
    bit_position_ += count;
    return static_cast<uint32_t>((window >> shift) & ((uint64_t(1) << count) - 1));
}

void BitReader::Skip(unsigned count) {
    if (count <= 31) bit_position_ += count;
}

void BitReader::AlignToByte() { bit_position_ = (bit_position_ + 7) / 8 * 8; }

BitReader::Position BitReader::GetPosition() const {
    return Position{static_cast<size_t>(bit_position_ / 8), static_cast<unsigned>(bit_position_ % 8), passed_end()};
}
