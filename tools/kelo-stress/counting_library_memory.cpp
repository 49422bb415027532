// Built only into the stress build of the module (KeloMervaneStress.ax): the
// library's memory operations count every block they hand out, so that the
// stress program can see the pools go back to where they started. The filter
// code is the production code unchanged; the link (ld --wrap) sends its call
// of bxf_fill_file_ops here, which fills the table as usual and then puts
// counting operations in front of the allocator.
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "bxf.h"
#include "library_memory.h"

extern "C" uint32_t __real_bxf_fill_file_ops(FileOps* ops);

namespace {

using AllocateFunction = void* (*)(uintptr_t, uint64_t);
using ReleaseFunction = void (*)(uintptr_t, void*);

// Each block carries its size in a header of its own, kept 16-byte aligned.
constexpr uint64_t kHeader = 16;

std::atomic<AllocateFunction> real_allocate{nullptr};
std::atomic<ReleaseFunction> real_release{nullptr};
std::atomic<int64_t> live_bytes{0}, live_blocks{0}, peak_bytes{0}, allocations{0};

void* CountedAllocate(uintptr_t context, uint64_t count) {
    if (count > UINT64_MAX - kHeader) return nullptr;
    auto* block = static_cast<uint8_t*>(real_allocate.load()(context, count + kHeader));
    if (!block) return nullptr;
    *reinterpret_cast<uint64_t*>(block) = count;
    const int64_t now = live_bytes += static_cast<int64_t>(count);
    ++live_blocks;
    ++allocations;
    for (int64_t peak = peak_bytes.load(); now > peak && !peak_bytes.compare_exchange_weak(peak, now);) {
    }
    return block + kHeader;
}

void CountedRelease(uintptr_t context, void* pointer) {
    if (!pointer) return;
    uint8_t* block = static_cast<uint8_t*>(pointer) - kHeader;
    live_bytes -= static_cast<int64_t>(*reinterpret_cast<uint64_t*>(block));
    --live_blocks;
    real_release.load()(context, block);
}

}  // namespace

extern "C" uint32_t __wrap_bxf_fill_file_ops(FileOps* ops) {
    const uint32_t code = __real_bxf_fill_file_ops(ops);
    if (code != BXF_RET_OK) return code;
    real_allocate = ops->allocate;
    real_release = ops->release;
    ops->allocate = CountedAllocate;
    ops->release = CountedRelease;
    return code;
}

extern "C" void WINAPI KeloStressLibraryMemory(LibraryMemoryUse* use) {
    use->live_bytes = live_bytes;
    use->live_blocks = live_blocks;
    use->peak_bytes = peak_bytes;
    use->allocations = allocations;
}
