// Builds an AVCDecoderConfigurationRecord (ISO/IEC 14496-15) from header
// values and parameter sets: the header, then 3 one-bits and the SPS count
// (5 bits), the SPS entries, the PPS count (8 bits) and the PPS entries,
// each entry a 16-bit big-endian length and the NAL unit. No profile
// extension fields follow the PPS entries.
#ifndef KELO_BITSTREAM_AVC_CONFIG_WRITER_H
#define KELO_BITSTREAM_AVC_CONFIG_WRITER_H

#include <cstdint>
#include <vector>

#include "bit_writer.h"

class AvcConfigWriter {
public:
    static constexpr uint32_t kMaxSps = 31;    // the count's 5 bits
    static constexpr uint32_t kMaxPps = 255;   // the count's 8 bits
    static constexpr uint32_t kMinLevel = 9;
    static constexpr uint32_t kMaxLengthSizeMinusOne = 3;
    static constexpr uint32_t kMaxUnitSize = 0xFFFF;  // the entry's 16-bit length
    static constexpr uint32_t kHeaderBytes = 5;

    // configurationVersion 1, the profile, profile_compatibility (when any
    // of its low four bits is set only its top three bits are kept),
    // the level, six one-bits and lengthSizeMinusOne. False for a level
    // below 9, lengthSizeMinusOne above 3, a value above 8 bits or a
    // second call.
    bool WriteHeader(uint32_t profile, uint32_t profile_compatibility, uint32_t level,
                     uint32_t length_size_minus_one);
    // False when 31 SPS (255 PPS) are held, for a unit above 65,535 bytes
    // and when memory runs out.
    bool AddSps(const uint8_t *unit, uint32_t size);
    bool AddPps(const uint8_t *unit, uint32_t size);
    // The finished record; false without a header or when memory runs out.
    // The writer is spent afterwards.
    bool Finish(std::vector<uint8_t> *record);

    // Bytes of the record so far: 5 after the header, plus every entry, plus
    // the two count bytes once finished.
    uint64_t record_size() const { return record_size_; }
    uint32_t sps_count() const { return sps_count_; }
    uint32_t pps_count() const { return pps_count_; }

private:
    bool Add(const uint8_t *unit, uint32_t size, uint32_t limit, std::vector<uint8_t> *entries, uint32_t *count);

    BitWriter writer_;
    bool header_written_ = false;
    bool finished_ = false;
    std::vector<uint8_t> sps_entries_;
    std::vector<uint8_t> pps_entries_;
    uint32_t sps_count_ = 0;
    uint32_t pps_count_ = 0;
    uint64_t record_size_ = 0;
};

#endif
