// Reads the binary record the filter mapper keeps for a registered filter
// (the "FilterData" value of its moniker's property bag): merit, pins, and
// each pin's flags and media types.
#ifndef KELO_TESTS_REGISTRATION_FILTER_DATA_H
#define KELO_TESTS_REGISTRATION_FILTER_DATA_H

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct RegisteredMediaType {
    GUID major;
    GUID minor;
};

struct RegisteredPin {
    DWORD flags;  // REG_PINFLAG_B_* bits
    DWORD instances;
    DWORD medium_count;
    std::vector<RegisteredMediaType> types;
};

struct RegisteredFilter {
    DWORD version;
    DWORD merit;
    std::vector<RegisteredPin> pins;
};

// Layout, all fields 32-bit little-endian, offsets from the start of the record:
//   header   version, merit, pin count, reserved
//   per pin  signature '<pin index digit>pi3', flags, instances, type count,
//            medium count, category offset (0: none); then per type the
//            signature '<type index digit>ty3', reserved, major offset, minor
//            offset; then one offset per medium
// and the GUIDs the offsets point at after the pins. Returns false with a
// description in *error when the record is shorter than what it claims or a
// signature is wrong; never reads outside [data, data + size).
bool ParseFilterData(const uint8_t* data, size_t size, RegisteredFilter* out, std::string* error);

#endif
