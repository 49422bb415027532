// Test inputs written bit by bit, independently of the library's writer:
// fixed-width fields, Exp-Golomb codes and "0101" strings, packed MSB first.
#ifndef KELO_TESTS_BIT_STRING_H
#define KELO_TESTS_BIT_STRING_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class BitString {
public:
    BitString &u(unsigned count, uint64_t value) {
        for (unsigned i = count; i > 0; --i) bits_.push_back((value >> (i - 1)) & 1);
        return *this;
    }
    BitString &flag(bool value) { return u(1, value ? 1 : 0); }
    // ue(v): M zeros, then the M + 1 bits of value + 1.
    BitString &ue(uint64_t value) {
        const uint64_t code = value + 1;
        unsigned length = 0;
        while ((code >> length) > 1) ++length;
        u(length, 0);
        return u(length + 1, code);
    }
    BitString &se(int64_t value) { return ue(value > 0 ? uint64_t(value) * 2 - 1 : uint64_t(-value) * 2); }
    // '0' and '1'; anything else (spaces) is ignored.
    BitString &text(const std::string &digits) {
        for (char c : digits)
            if (c == '0' || c == '1') bits_.push_back(c == '1');
        return *this;
    }
    BitString &byte_align() {
        while (bits_.size() % 8) bits_.push_back(false);
        return *this;
    }
    // rbsp_trailing_bits(): a one bit, then zeros to the byte boundary.
    BitString &trailing() { return flag(true).byte_align(); }

    size_t bit_count() const { return bits_.size(); }
    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> out((bits_.size() + 7) / 8, 0);
        for (size_t i = 0; i < bits_.size(); ++i)
            if (bits_[i]) out[i / 8] |= uint8_t(0x80 >> (i % 8));
        return out;
    }

private:
    std::vector<bool> bits_;
};

// The NAL unit for an RBSP: header byte first, then 0x03 inserted wherever
// two zero bytes would otherwise be followed by a byte of 0..3.
inline std::vector<uint8_t> ToNalUnit(uint8_t header, const std::vector<uint8_t> &rbsp) {
    std::vector<uint8_t> nal{header};
    unsigned zeros = 0;
    for (uint8_t b : rbsp) {
        if (zeros >= 2 && b <= 3) {
            nal.push_back(3);
            zeros = 0;
        }
        nal.push_back(b);
        zeros = b == 0 ? zeros + 1 : 0;
    }
    return nal;
}

// A heap copy of exactly `size` bytes, so the address checker reports any
// read at or past its end.
inline std::unique_ptr<uint8_t[]> ExactCopy(const uint8_t *bytes, size_t size) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size == 0 ? 1 : size]);
    for (size_t i = 0; i < size; ++i) copy[i] = bytes[i];
    return copy;
}

// One of the parsers (bytes, size, record) run on an exact copy of `bytes`.
template <typename Parser, typename Info>
auto ParseExact(Parser parse, const std::vector<uint8_t> &bytes, Info *info) {
    auto copy = ExactCopy(bytes.data(), bytes.size());
    return parse(copy.get(), static_cast<uint32_t>(bytes.size()), info);
}

#endif
