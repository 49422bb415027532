#include "avc_config_writer.h"

#include <new>

namespace {

constexpr uint32_t kConfigurationVersion = 1;
constexpr uint32_t kLowFourBits = 0x0F;
constexpr uint32_t kTopThreeBits = 0xE0;

}  // namespace

bool AvcConfigWriter::WriteHeader(uint32_t profile, uint32_t profile_compatibility, uint32_t level,
                                  uint32_t length_size_minus_one) {
    if (header_written_ || finished_) return false;
    if (profile > 0xFF || profile_compatibility > 0xFF || level > 0xFF) return false;
    if (level < kMinLevel || length_size_minus_one > kMaxLengthSizeMinusOne) return false;
    // Reserved low bits set mean the flags cannot be trusted beyond
    // constraint_set0..2; constraint_set3 goes with them.
    if (profile_compatibility & kLowFourBits) profile_compatibility &= kTopThreeBits;
    const bool ok = writer_.WriteBits(kConfigurationVersion, 8) && writer_.WriteBits(profile, 8) &&
                    writer_.WriteBits(profile_compatibility, 8) && writer_.WriteBits(level, 8) &&
                    writer_.WriteBits(0x3F, 6) && writer_.WriteBits(length_size_minus_one, 2);
    if (!ok) return false;
    header_written_ = true;
    record_size_ = kHeaderBytes;
    return true;
}

bool AvcConfigWriter::Add(const uint8_t *unit, uint32_t size, uint32_t limit, std::vector<uint8_t> *entries,
                          uint32_t *count) {
    if (finished_ || *count >= limit || size > kMaxUnitSize || (unit == nullptr && size != 0)) return false;
    try {
        entries->push_back(uint8_t(size >> 8));
        entries->push_back(uint8_t(size));
        entries->insert(entries->end(), unit, unit + size);
    } catch (const std::bad_alloc &) {
        return false;
    }
    ++*count;
    record_size_ += 2 + uint64_t(size);
    return true;
}

bool AvcConfigWriter::AddSps(const uint8_t *unit, uint32_t size) {
    return Add(unit, size, kMaxSps, &sps_entries_, &sps_count_);
}

bool AvcConfigWriter::AddPps(const uint8_t *unit, uint32_t size) {
    return Add(unit, size, kMaxPps, &pps_entries_, &pps_count_);
}

bool AvcConfigWriter::Finish(std::vector<uint8_t> *record) {
    if (!header_written_ || finished_ || record == nullptr) return false;
    finished_ = true;
    const bool ok = writer_.WriteBits(0x7, 3) && writer_.WriteBits(sps_count_, 5) &&
                    writer_.WriteBytes(sps_entries_.data(), sps_entries_.size()) &&
                    writer_.WriteBits(pps_count_, 8) &&
                    writer_.WriteBytes(pps_entries_.data(), pps_entries_.size());
    if (!ok) return false;
    record_size_ += 2;  // the two count bytes
    try {
        *record = writer_.Take();
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}
