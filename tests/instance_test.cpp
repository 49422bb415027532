// The instance's accounted pools, the allocation header and the 128-bit
// budget arithmetic.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "bxf.h"
#include "wide_math.h"

namespace {

struct Instance {
    LibraryInstance *inst = nullptr;
    Instance() {
        FileOps ops;
        bxf_fill_file_ops(&ops);
        EXPECT_EQ(bxf_create(&ops, &inst), BXF_RET_OK);
    }
    ~Instance() { bxf_destroy(inst); }
};

TEST(MemoryLimits, SplitsTheBudgetAndChecksItsArguments) {
    struct Row {
        uint64_t budget;
        uint32_t percent;
        uint64_t minimum_general;
        uint32_t reserve;
        uint32_t code;
        uint64_t sample_limit, general_limit;
        uint32_t accounting;
    } rows[] = {
        {1000, 30, 0, 1, BXF_RET_OK, 300, 700, 1},
        {1000, 101, 0, 1, BXF_RET_ARGS, 0, 0, 0},
        {1000, 30, 701, 1, BXF_RET_ARGS, 0, 0, 0},
        {1000, 30, 700, 1, BXF_RET_OK, 300, 700, 1},
        {1000, 100, 0, 0, BXF_RET_OK, 1000, 0, 1},
        // The product needs 128 bits: 2^64-1 * 99 / 100.
        {UINT64_MAX, 99, 0, 1, BXF_RET_OK, 18262276632972456098ull, UINT64_MAX - 18262276632972456098ull, 1},
        {0, 250, 0, 1, BXF_RET_OK, 0x20000, 0, 0},  // no budget: the percentage is not looked at
        {0, 0, 0, 0, BXF_RET_OK, 0, 0, 0},
    };
    for (const Row &r : rows) {
        Instance i;
        i.inst->general_used = 5;
        ASSERT_EQ(bxf_set_memory_limits(i.inst, r.reserve, r.budget, r.percent, r.minimum_general), r.code)
            << r.budget << " " << r.percent;
        if (r.code != BXF_RET_OK) {
            EXPECT_EQ(i.inst->general_used, 5u) << "a refused call changes nothing";
            continue;
        }
        EXPECT_EQ(i.inst->sample_limit, r.sample_limit);
        EXPECT_EQ(i.inst->general_limit, r.general_limit);
        EXPECT_EQ(i.inst->accounting_enabled, r.accounting);
        EXPECT_EQ(i.inst->general_used, 0u);
    }
    EXPECT_EQ(bxf_set_memory_limits(nullptr, 1, 0, 0, 0), BXF_RET_ARGS);
}

TEST(Allocation, CountsHeadersAndRefusesBadRequests) {
    Instance i;
    ASSERT_EQ(bxf_set_memory_limits(i.inst, 1, 1000, 30, 0), BXF_RET_OK);
    // Pool 2 holds 300 bytes: 292 requested + 8 of header fill it exactly.
    void *full = bxf_alloc(i.inst, BXF_POOL_SAMPLE, 292);
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(i.inst->sample_used, 300u);
    EXPECT_EQ(bxf_alloc(i.inst, BXF_POOL_SAMPLE, 1), nullptr);
    bxf_free(i.inst, full);
    EXPECT_EQ(i.inst->sample_used, 0u);
    EXPECT_EQ(bxf_alloc(i.inst, BXF_POOL_SAMPLE, 293), nullptr);

    auto *block = static_cast<uint8_t *>(bxf_alloc(i.inst, BXF_POOL_GENERAL, 100));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::memcmp(block - 8, "BXF\x01\x00\x00\x00\x6c", 8), 0) << "magic, pool 1, 108 big-endian";
    for (int k = 0; k < 100; ++k) ASSERT_EQ(block[k], 0) << "zero-filled";
    EXPECT_EQ(i.inst->general_used, 108u);
    // A block whose header is damaged is not ours any more: neither released
    // nor counted.
    block[-8] = 'Z';
    bxf_free(i.inst, block);
    EXPECT_EQ(i.inst->general_used, 108u);
    block[-8] = 'B';
    bxf_free(i.inst, block);
    EXPECT_EQ(i.inst->general_used, 0u);

    EXPECT_EQ(bxf_alloc(nullptr, 1, 8), nullptr);
    EXPECT_EQ(bxf_alloc(i.inst, 0, 8), nullptr);
    EXPECT_EQ(bxf_alloc(i.inst, 3, 8), nullptr);
    EXPECT_EQ(bxf_alloc(i.inst, 1, 0xFFFFFFFFull - 7), nullptr) << "size + 8 must fit 32 bits";
    bxf_free(i.inst, nullptr);
    bxf_free(nullptr, nullptr);
}

TEST(WideMath, MultipliesShiftsAndDivides) {
    using namespace bxf;
    const auto halves = [](U128 v) { return std::make_pair(v.hi, v.lo); };  // high first
    const U128 p = u128_mul_64x64(UINT64_MAX, UINT64_MAX);                  // (2^64-1)^2 = 2^128 - 2^65 + 1
    EXPECT_EQ(halves(p), halves(U128{UINT64_MAX - 1, 1}));
    uint64_t q = 0, r = 0;
    EXPECT_EQ(u128_div_64(p, UINT64_MAX, &q, &r), BXF_RET_OK);
    EXPECT_EQ(halves(U128{q, r}), halves(U128{UINT64_MAX, 0}));
    EXPECT_EQ(u128_div_64(U128{1, 0}, 1, &q, &r), BXF_RET_OVERFLOW);
    EXPECT_EQ(u128_div_64(U128{0, 5}, 0, &q, &r), BXF_RET_ARGS);
    EXPECT_EQ(u128_div_64(U128{0, 1001}, 10, &q, &r), BXF_RET_OK);
    EXPECT_EQ(halves(U128{q, r}), halves(U128{100, 1}));

    U128 s{};
    EXPECT_EQ(u128_shift_left(U128{0, 3}, 64, &s), BXF_RET_OK);
    EXPECT_EQ(halves(s), halves(U128{3, 0}));
    EXPECT_EQ(u128_shift_left(U128{0, 0x8000000000000001ull}, 1, &s), BXF_RET_OK);
    EXPECT_EQ(halves(s), halves(U128{1, 2}));
    EXPECT_EQ(u128_shift_left(U128{0, 1}, 127, &s), BXF_RET_OK);
    EXPECT_EQ(halves(s), halves(U128{0x8000000000000000ull, 0}));
    EXPECT_EQ(u128_shift_left(U128{0, 1}, 128, &s), BXF_RET_ARGS);

    const U128 sum = u128_add(U128{0, UINT64_MAX}, U128{0, 1});
    EXPECT_EQ(halves(sum), halves(U128{1, 0}));
    EXPECT_EQ(halves(u128_sub(sum, U128{0, 1})), halves(U128{0, UINT64_MAX}));
}

}  // namespace
