// What the bitstream fuzz targets check: a broken invariant aborts, so
// libFuzzer stops, prints the stack and keeps the input.
#ifndef KELO_FUZZ_BITSTREAM_CHECKS_H
#define KELO_FUZZ_BITSTREAM_CHECKS_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>

inline void check(bool holds, const char *what) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// Reads every byte, so the address checker sees a range past its block.
inline void touch(const uint8_t *bytes, uint64_t length) {
    volatile uint8_t sink = 0;
    for (uint64_t i = 0; i < length; ++i) sink = sink ^ bytes[i];
}

#endif
