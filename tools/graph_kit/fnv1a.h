// 64-bit FNV-1a: a cheap, well-known hash that lets two runs, or a run and a
// reference file, be compared sample by sample without keeping the bytes.
#ifndef KELO_TOOLS_GRAPH_KIT_FNV1A_H
#define KELO_TOOLS_GRAPH_KIT_FNV1A_H

#include <cstddef>
#include <cstdint>

constexpr uint64_t kFnv1aOffsetBasis = 14695981039346656037ull;
constexpr uint64_t kFnv1aPrime = 1099511628211ull;

// Continues a hash over more bytes: Fnv1a(b, Fnv1a(a)) == Fnv1a(a + b).
inline uint64_t Fnv1a(const void* data, size_t size, uint64_t hash = kFnv1aOffsetBasis) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= kFnv1aPrime;
    }
    return hash;
}

#endif
