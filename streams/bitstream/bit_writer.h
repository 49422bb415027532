// An MSB-first bit writer into a zero-filled, growing buffer.
#ifndef KELO_BITSTREAM_BIT_WRITER_H
#define KELO_BITSTREAM_BIT_WRITER_H

#include <cstddef>
#include <cstdint>
#include <vector>

class BitWriter {
public:
    static constexpr size_t kInitialBytes = 256;
    static constexpr size_t kGrowthBytes = 256;
    // A bit write needs at most five bytes (32 bits from a mid-byte start);
    // below that headroom the buffer grows first.
    static constexpr size_t kHeadroomBytes = 5;

    BitWriter();

    // Appends the low `count` bits of `value`, most significant first.
    // False for a count above 32 or when the buffer cannot grow.
    bool WriteBits(uint32_t value, unsigned count);
    // Pads the current byte with zero bits, then appends `size` bytes.
    bool WriteBytes(const uint8_t *bytes, size_t size);

    // The bytes written; a partly written last byte counts as a byte.
    size_t size() const { return (bit_position_ + 7) / 8; }
    const uint8_t *data() const { return buffer_.data(); }
    size_t capacity() const { return buffer_.size(); }
    // Hands out the written bytes and leaves the writer empty.
    std::vector<uint8_t> Take();

private:
    bool Grow(size_t bytes);

    std::vector<uint8_t> buffer_;
    size_t bit_position_ = 0;
};

#endif
