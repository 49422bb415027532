// What the fuzz targets check after each call and each input. A broken
// invariant aborts, so libFuzzer stops, prints the stack and keeps the input.
#ifndef BXF_FUZZ_CHECKS_H
#define BXF_FUZZ_CHECKS_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bxf.h"

inline void require(bool holds, const char *what) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// Every library operation answers with one of the documented codes.
inline uint32_t documented(uint32_t code) {
#define BXF_DOCUMENTED_CASE(code) case code:
    switch (code) {
        BXF_RET_EACH(BXF_DOCUMENTED_CASE)
        return code;
#undef BXF_DOCUMENTED_CASE
    default:
        std::fprintf(stderr, "undocumented return code 0x%X\n", (unsigned)code);
        std::abort();
    }
}

// Reads every byte of a block that a record hands out, so the address
// checker sees a length that runs past the block.
inline void read_bytes(const uint8_t *bytes, uint64_t length) {
    volatile uint8_t sink = 0;
    for (uint64_t i = 0; i < length; ++i) sink = sink ^ bytes[i];
}

// An out-parameter filled with a pattern before the call, so that a failed
// call can be seen to have left it alone: the library writes results only
// on success.
template <class T>
struct Out {
    static constexpr uint8_t kPattern = 0xA5;
    T value;
    Out() { std::memset(static_cast<void *>(&value), kPattern, sizeof value); }
    bool untouched() const {
        const auto *p = reinterpret_cast<const uint8_t *>(&value);
        for (size_t i = 0; i < sizeof value; ++i)
            if (p[i] != kPattern) return false;
        return true;
    }
};

// Checks a call's code and, when it failed, that its out-parameters are as
// they were; returns the code.
template <class... Outs>
uint32_t checked(uint32_t code, const Outs &...outs) {
    documented(code);
    if (code != BXF_RET_OK) require((outs.untouched() && ...), "a failed call wrote an out-parameter");
    return code;
}

#endif
