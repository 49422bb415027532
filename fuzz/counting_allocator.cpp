#include "counting_allocator.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Each block carries its size in front, so release can take it off the
// count; 16 bytes keep the caller's pointer aligned as malloc's is.
constexpr uint64_t kHeader = 16;

AllocationCounter *counter_of(uintptr_t context) { return reinterpret_cast<AllocationCounter *>(context); }

void *counted_allocate(uintptr_t context, uint64_t count) {
    AllocationCounter *c = counter_of(context);
    if (count > c->bound) {
        std::fprintf(stderr, "allocation of %llu bytes above the bound of %llu\n", (unsigned long long)count,
                     (unsigned long long)c->bound);
        std::abort();
    }
    auto *block = static_cast<uint8_t *>(std::malloc(count + kHeader));
    if (!block) return nullptr;
    std::memcpy(block, &count, sizeof count);
    ++c->live_blocks;
    c->live_bytes += count;
    if (count > c->largest) c->largest = count;
    return block + kHeader;
}

void counted_release(uintptr_t context, void *pointer) {
    if (!pointer) return;
    AllocationCounter *c = counter_of(context);
    uint8_t *block = static_cast<uint8_t *>(pointer) - kHeader;
    uint64_t count = 0;
    std::memcpy(&count, block, sizeof count);
    --c->live_blocks;
    c->live_bytes -= count;
    std::free(block);
}

}  // namespace

void count_allocations(FileOps *ops, AllocationCounter *counter) {
    ops->context = reinterpret_cast<uintptr_t>(counter);
    ops->allocate = counted_allocate;
    ops->release = counted_release;
}
