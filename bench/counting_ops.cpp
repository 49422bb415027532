#include "counting_ops.h"

#include <cstdlib>

namespace {

// Each block carries its size in front of it; 16 bytes keep the block the
// caller sees as aligned as malloc's.
constexpr uint64_t kPrefix = 16;

void *counted_allocate(uintptr_t context, uint64_t count) {
    auto *block = static_cast<unsigned char *>(std::malloc(size_t(count + kPrefix)));
    if (!block) return nullptr;
    *reinterpret_cast<uint64_t *>(block) = count;
    auto *counter = reinterpret_cast<HeapCounter *>(context);
    counter->outstanding += count;
    if (counter->outstanding > counter->peak) counter->peak = counter->outstanding;
    return block + kPrefix;
}

void counted_release(uintptr_t context, void *pointer) {
    if (!pointer) return;
    unsigned char *block = static_cast<unsigned char *>(pointer) - kPrefix;
    reinterpret_cast<HeapCounter *>(context)->outstanding -= *reinterpret_cast<uint64_t *>(block);
    std::free(block);
}

}  // namespace

void count_heap(FileOps &ops, HeapCounter &counter) {
    ops.context = reinterpret_cast<uintptr_t>(&counter);
    ops.allocate = counted_allocate;
    ops.release = counted_release;
}
