#include "bit_writer.h"

#include <cstring>
#include <limits>
#include <new>

BitWriter::BitWriter() : buffer_(kInitialBytes, 0) {}

bool BitWriter::Grow(size_t bytes) {
    if (bytes > std::numeric_limits<size_t>::max() - buffer_.size()) return false;
    try {
        buffer_.resize(buffer_.size() + bytes, 0);
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

bool BitWriter::WriteBits(uint32_t value, unsigned count) {
    if (count > 32) return false;
    if (buffer_.size() - bit_position_ / 8 < kHeadroomBytes && !Grow(kGrowthBytes)) return false;
    for (unsigned i = count; i > 0; --i) {
        const uint32_t bit = (value >> (i - 1)) & 1u;
        // The buffer is zero-filled: only one bits need writing.
        if (bit) buffer_[bit_position_ / 8] |= uint8_t(0x80u >> (bit_position_ % 8));
        ++bit_position_;
    }
    return true;
}

bool BitWriter::WriteBytes(const uint8_t *bytes, size_t size) {
    bit_position_ = (bit_position_ + 7) / 8 * 8;
    if (size == 0) return true;
    if (!Grow(size)) return false;
    std::memcpy(buffer_.data() + bit_position_ / 8, bytes, size);
    bit_position_ += size * 8;
    return true;
}

std::vector<uint8_t> BitWriter::Take() {
    std::vector<uint8_t> out(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(size()));
    buffer_.assign(kInitialBytes, 0);
    bit_position_ = 0;
    return out;
}
