#include "wide_math.h"

#include "bxf.h"

namespace bxf {

U128 u128_add(U128 a, U128 b) {
    U128 r{a.hi + b.hi, a.lo + b.lo};
    if (r.lo < a.lo) ++r.hi;
    return r;
}

U128 u128_sub(U128 a, U128 b) {
    U128 r{a.hi - b.hi, a.lo - b.lo};
    if (a.lo < b.lo) --r.hi;
    return r;
}

U128 u128_mul_64x64(uint64_t a, uint64_t b) {
    // Schoolbook on 32-bit halves: four partial products.
    const uint64_t a_lo = a & 0xFFFFFFFFu, a_hi = a >> 32;
    const uint64_t b_lo = b & 0xFFFFFFFFu, b_hi = b >> 32;
    const uint64_t ll = a_lo * b_lo, lh = a_lo * b_hi, hl = a_hi * b_lo, hh = a_hi * b_hi;
    const uint64_t middle = (ll >> 32) + (lh & 0xFFFFFFFFu) + (hl & 0xFFFFFFFFu);
    U128 r;
    r.lo = (middle << 32) | (ll & 0xFFFFFFFFu);
    r.hi = hh + (lh >> 32) + (hl >> 32) + (middle >> 32);
    return r;
}

uint32_t u128_shift_left(U128 a, uint32_t bits, U128 *out) {
    if (bits > 127) return BXF_RET_ARGS;
    if (bits == 0) {
        *out = a;
    } else if (bits >= 64) {
        *out = U128{a.lo << (bits - 64), 0};
    } else {
        *out = U128{(a.hi << bits) | (a.lo >> (64 - bits)), a.lo << bits};
    }
    return BXF_RET_OK;
}

static bool u128_less(U128 a, U128 b) { return a.hi < b.hi || (a.hi == b.hi && a.lo < b.lo); }

uint32_t u128_div_64(U128 dividend, uint64_t divisor, uint64_t *out_quotient, uint64_t *out_remainder) {
    if (divisor == 0) return BXF_RET_ARGS;
    if (dividend.hi >= divisor) return BXF_RET_OVERFLOW;  // quotient needs more than 64 bits
    // Restoring division, one quotient bit per step from the top.
    U128 remainder{0, 0};
    const U128 d{0, divisor};
    uint64_t quotient = 0;
    for (int bit = 127; bit >= 0; --bit) {
        const uint64_t next = bit >= 64 ? (dividend.hi >> (bit - 64)) & 1u : (dividend.lo >> bit) & 1u;
        remainder = U128{(remainder.hi << 1) | (remainder.lo >> 63), (remainder.lo << 1) | next};
        if (!u128_less(remainder, d)) {
            remainder = u128_sub(remainder, d);
            if (bit < 64) quotient |= uint64_t(1) << bit;
        }
    }
    *out_quotient = quotient;
    if (out_remainder) *out_remainder = remainder.lo;
    return BXF_RET_OK;
}

uint32_t mul_div_u64(uint64_t a, uint64_t b, uint64_t c, uint64_t *out) {
    return u128_div_64(u128_mul_64x64(a, b), c, out, nullptr);
}

}  // namespace bxf
