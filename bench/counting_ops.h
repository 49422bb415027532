// The library's heap counted through its FileOps: every block it asks for
// is tracked, so the peak of what it holds at once can be reported.
#ifndef BXF_BENCH_COUNTING_OPS_H
#define BXF_BENCH_COUNTING_OPS_H

#include <cstdint>

#include "bxf.h"

struct HeapCounter {
    uint64_t outstanding = 0;  // bytes asked for and not yet released
    uint64_t peak = 0;
};

// Replaces allocate and release of `ops` (and its context) with ones that
// count in `counter`, which must outlive every use of the table.
void count_heap(FileOps &ops, HeapCounter &counter);

#endif
