#include "nal_bit_reader.h"

std::vector<uint8_t> RemoveEmulationPrevention(const uint8_t *bytes, size_t size) {
    std::vector<uint8_t> rbsp;
    rbsp.reserve(size);
    size_t i = 0;
    while (i < size) {
        if (size - i >= 3 && bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 3) {
            rbsp.push_back(0);
            rbsp.push_back(0);
            i += 3;
        } else {
            rbsp.push_back(bytes[i++]);
        }
    }
    return rbsp;
}

bool NalBitReader::ReadBits(unsigned count, uint32_t *value) {
    if (count > 32 || count > bits_left()) return false;
    uint64_t v = 0;
    for (unsigned i = 0; i < count; ++i, ++bit_position_) {
        v = (v << 1) | ((bytes_[bit_position_ / 8] >> (7 - bit_position_ % 8)) & 1u);
    }
    *value = static_cast<uint32_t>(v);
    return true;
}

bool NalBitReader::ReadFlag(bool *flag) {
    uint32_t bit = 0;
    if (!ReadBits(1, &bit)) return false;
    *flag = bit != 0;
    return true;
}

bool NalBitReader::ReadUe(uint64_t *value) {
    const size_t start = bit_position_;
    unsigned zeros = 0;
    for (;;) {
        uint32_t bit = 0;
        if (!ReadBits(1, &bit)) {
            bit_position_ = start;
            return false;
        }
        if (bit) break;
        if (++zeros > kMaxLeadingZeros) {
            bit_position_ = start;
            return false;
        }
    }
    uint32_t suffix = 0;
    if (!ReadBits(zeros, &suffix)) {
        bit_position_ = start;
        return false;
    }
    *value = ((uint64_t(1) << zeros) - 1) + suffix;
    return true;
}

bool NalBitReader::ReadSe(int64_t *value) {
    uint64_t k = 0;
    if (!ReadUe(&k)) return false;
    *value = (k & 1) ? int64_t((k + 1) / 2) : -int64_t(k / 2);
    return true;
}
