// An MSB-first bit reader over a byte range [start, end). Bits at or beyond
// the end read as 0, and the reader never touches a byte at or past the end;
// whether it ran past is asked once, at the end of a parse.
#ifndef KELO_BITSTREAM_BIT_READER_H
#define KELO_BITSTREAM_BIT_READER_H

#include <cstddef>
#include <cstdint>

class BitReader {
public:
    struct Position {
        size_t byte_offset;   // from the range start: the byte holding the next unread bit
        unsigned bit_offset;  // 0..7 inside that byte, 0 being the most significant
        bool passed_end;
    };

    // Starts `bit_offset` bits (0..7; larger values are reduced) into the range.
    BitReader(const uint8_t *bytes, size_t size, unsigned bit_offset = 0);

    // The next `count` bits (1..32) as an unsigned value; 0 and no movement
    // for any other count.
    uint32_t Read(unsigned count);
    // Skips `count` bits (0..31); a larger count moves nothing.
    void Skip(unsigned count);
    // Moves to the next byte boundary counted from the range start.
    void AlignToByte();

    // passed_end compares the exact bit position with the end: it is true
    // once a read or skip consumed a bit at or beyond the end, and false at
    // the end itself. A reader standing anywhere before the last bit never
    // reports it, whatever the alignment of the range.
    Position GetPosition() const;
    bool passed_end() const { return bit_position_ > uint64_t(size_) * 8; }

private:
    const uint8_t *bytes_;
    size_t size_;
    uint64_t bit_position_;
};

#endif
