// A FileOps allocator that counts the blocks the library holds and refuses
// to hand out a block above a bound, so a fuzz target can see that every
// block comes back and that no input makes the library ask for memory out of
// proportion to it.
#ifndef BXF_FUZZ_COUNTING_ALLOCATOR_H
#define BXF_FUZZ_COUNTING_ALLOCATOR_H

#include <cstdint>

#include "bxf.h"

struct AllocationCounter {
    uint64_t live_blocks = 0;
    uint64_t live_bytes = 0;
    uint64_t largest = 0;
    // A request above this aborts at once, so the report's stack names the
    // caller that computed the size.
    uint64_t bound = UINT64_MAX;
};

// Routes `ops`' allocate and release through `counter`, which becomes the
// table's context and must outlive every use of the table.
void count_allocations(FileOps *ops, AllocationCounter *counter);

#endif
