// Unsigned 128-bit arithmetic for the budget split (budget * percent / 100
// must not wrap for any 64-bit budget). Two 64-bit halves, no compiler
// extension, so every target computes the same result.
#ifndef BXF_WIDE_MATH_H
#define BXF_WIDE_MATH_H

#include <cstdint>

namespace bxf {

struct U128 {
    uint64_t hi;
    uint64_t lo;
};

U128 u128_add(U128 a, U128 b);
U128 u128_sub(U128 a, U128 b);
U128 u128_mul_64x64(uint64_t a, uint64_t b);
// Shifts left by 0..127 bits; a larger count is BXF_RET_ARGS.
uint32_t u128_shift_left(U128 a, uint32_t bits, U128 *out);
// Divides by a non-zero 64-bit divisor by shift-and-subtract. A zero divisor
// is BXF_RET_ARGS; a quotient that does not fit 64 bits is BXF_RET_OVERFLOW.
uint32_t u128_div_64(U128 dividend, uint64_t divisor, uint64_t *out_quotient, uint64_t *out_remainder);
// a * b / c with the full 128-bit product.
uint32_t mul_div_u64(uint64_t a, uint64_t b, uint64_t c, uint64_t *out);

}  // namespace bxf

#endif
