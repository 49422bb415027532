// The NAL units of an HEVCDecoderConfigurationRecord (ISO/IEC 14496-15
// 8.3.3.1: 22 bytes of fields, the array count, then per array a type byte,
// a unit count and each unit behind a 2-byte length), read on their own so
// that tests need not trust the library's reader.
#ifndef KELO_TESTS_HVCC_UNITS_H
#define KELO_TESTS_HVCC_UNITS_H

#include <cstddef>
#include <cstdint>
#include <vector>

struct HvccUnit {
    unsigned type;     // nal_unit_type of its array
    size_t array_at;   // its array's type byte
    size_t length_at;  // its 2-byte length, the unit right after
    size_t length;
};

// Every unit in record order; throws std::out_of_range on a record cut short.
inline std::vector<HvccUnit> HvccUnits(const std::vector<uint8_t> &hvcc) {
    std::vector<HvccUnit> units;
    size_t at = 23;
    for (unsigned array = 0; array < hvcc.at(22); ++array) {
        const size_t array_at = at;
        const unsigned count = unsigned(hvcc.at(at + 1)) << 8 | hvcc.at(at + 2);
        at += 3;
        for (unsigned i = 0; i < count; ++i) {
            const size_t length = size_t(hvcc.at(at)) << 8 | hvcc.at(at + 1);
            units.push_back({hvcc.at(array_at) & 0x3Fu, array_at, at, length});
            at += 2 + length;
        }
    }
    return units;
}

#endif
