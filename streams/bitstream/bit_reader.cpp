#include "bit_reader.h"

BitReader::BitReader(const uint8_t *bytes, size_t size, unsigned bit_offset)
    : bytes_(bytes), size_(bytes == nullptr ? 0 : size), bit_position_(bit_offset % 8) {}

uint32_t BitReader::BitAt(uint64_t bit) const {
    const uint64_t byte = bit / 8;
    if (byte >= size_) return 0;
    return (bytes_[byte] >> (7 - bit % 8)) & 1u;
}

uint32_t BitReader::Read(unsigned count) {
    if (count < 1 || count > 32) return 0;
    uint64_t value = 0;
    unsigned taken = 0;
    // Whole bytes at once where the position is aligned and the byte exists.
    while (taken < count) {
        const uint64_t byte = bit_position_ / 8;
        if (bit_position_ % 8 == 0 && count - taken >= 8) {
            value = (value << 8) | (byte < size_ ? bytes_[byte] : 0u);
            taken += 8;
            bit_position_ += 8;
        } else {
            value = (value << 1) | BitAt(bit_position_);
            ++taken;
            ++bit_position_;
        }
    }
    return static_cast<uint32_t>(value);
}

void BitReader::Skip(unsigned count) {
    if (count <= 31) bit_position_ += count;
}

void BitReader::AlignToByte() { bit_position_ = (bit_position_ + 7) / 8 * 8; }

BitReader::Position BitReader::GetPosition() const {
    return Position{static_cast<size_t>(bit_position_ / 8), static_cast<unsigned>(bit_position_ % 8), passed_end()};
}
