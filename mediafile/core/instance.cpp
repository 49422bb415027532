// The library instance and its two accounted memory pools.
#include "internal.h"
#include "wide_math.h"

using namespace bxf;

namespace {

constexpr uint64_t kHeaderSize = 8;
// With no budget, pool 2 still gets this much so sample access can run.
constexpr uint64_t kReservedSamplePool = 0x20000;

uint64_t *used_counter(LibraryInstance *inst, uint32_t pool) {
    return pool == BXF_POOL_GENERAL ? &inst->general_used : &inst->sample_used;
}

}  // namespace

extern "C" uint32_t bxf_create(const FileOps *ops, LibraryInstance **out_instance) {
    if (!ops || !out_instance || !ops->allocate || !ops->fill_memory || !ops->copy_memory) return BXF_RET_ARGS;
    auto *inst = static_cast<LibraryInstance *>(ops->allocate(ops->context, sizeof(LibraryInstance)));
    if (!inst) return BXF_RET_NOMEM;
    ops->fill_memory(ops->context, inst, 0, sizeof(LibraryInstance));
    if (!ops->copy_memory(ops->context, &inst->ops, sizeof(inst->ops), ops, sizeof(FileOps))) {
        ops->release(ops->context, inst);
        return BXF_RET_INTERNAL;
    }
    *out_instance = inst;
    return BXF_RET_OK;
}

extern "C" uint32_t bxf_destroy(LibraryInstance *instance) {
    if (instance) instance->ops.release(instance->ops.context, instance);
    return BXF_RET_OK;
}

extern "C" uint32_t bxf_set_memory_limits(LibraryInstance *instance, uint32_t reserve_sample_pool, uint64_t budget,
                                          uint32_t sample_percent, uint64_t minimum_general) {
    if (!instance) return BXF_RET_ARGS;
    uint64_t general_limit = 0, sample_limit = 0;
    uint32_t accounting = 0;
    if (budget != 0) {
        if (sample_percent > 100) return BXF_RET_ARGS;
        uint32_t ret = mul_div_u64(budget, sample_percent, 100, &sample_limit);
        if (ret != BXF_RET_OK) return ret;
        general_limit = budget - sample_limit;
        if (general_limit < minimum_general) return BXF_RET_ARGS;
        accounting = 1;
    } else if (reserve_sample_pool) {
        sample_limit = kReservedSamplePool;
    }
    instance->accounting_enabled = accounting;
    instance->general_limit = general_limit;
    instance->sample_limit = sample_limit;
    instance->general_used = 0;
    instance->sample_used = 0;
    return BXF_RET_OK;
}

extern "C" void *bxf_alloc(LibraryInstance *instance, uint32_t pool, uint64_t size) {
    if (!instance || (pool != BXF_POOL_GENERAL && pool != BXF_POOL_SAMPLE)) return nullptr;
    if (size > 0xFFFFFFFFu - kHeaderSize) return nullptr;
    const uint64_t total = size + kHeaderSize;
    if (instance->accounting_enabled) {
        const uint64_t limit = pool == BXF_POOL_GENERAL ? instance->general_limit : instance->sample_limit;
        const uint64_t used = *used_counter(instance, pool);
        if (used > limit || total > limit - used) return nullptr;
    }
    auto *block = static_cast<uint8_t *>(instance->ops.allocate(instance->ops.context, total));
    if (!block) return nullptr;
    if (!instance->ops.fill_memory(instance->ops.context, block, 0, total)) {
        instance->ops.release(instance->ops.context, block);
        return nullptr;
    }
    // Header: "BXF", the pool, the total block size big-endian.
    block[0] = 'B';
    block[1] = 'X';
    block[2] = 'F';
    block[3] = static_cast<uint8_t>(pool);
    for (int i = 0; i < 4; ++i) block[4 + i] = static_cast<uint8_t>(total >> (24 - 8 * i));
    if (instance->accounting_enabled) *used_counter(instance, pool) += total;
    return block + kHeaderSize;
}

extern "C" void bxf_free(LibraryInstance *instance, void *pointer) {
    if (!instance || reinterpret_cast<uintptr_t>(pointer) < kHeaderSize) return;
    uint8_t *block = static_cast<uint8_t *>(pointer) - kHeaderSize;
    const uint32_t pool = block[3];
    const uint32_t total = load_u32_be(block + 4);
    // A damaged header is never handed to release: the block is not ours.
    if (block[0] != 'B' || block[1] != 'X' || block[2] != 'F') return;
    if ((pool != BXF_POOL_GENERAL && pool != BXF_POOL_SAMPLE) || total < kHeaderSize) return;
    instance->ops.fill_memory(instance->ops.context, block, 0, kHeaderSize);
    instance->ops.release(instance->ops.context, block);
    if (instance->accounting_enabled) {
        uint64_t *used = used_counter(instance, pool);
        *used = *used >= total ? *used - total : 0;
    }
}
