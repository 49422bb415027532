// A memory measurement run in a forked child: its peak RSS is then its own,
// and nothing it leaves behind colours the next measurement.
#ifndef BXF_BENCH_CHILD_RUN_H
#define BXF_BENCH_CHILD_RUN_H

#include <cstdint>

struct ChildFigures {
    bool ok = false;
    uint64_t heap_bytes = 0;  // what the task reported
    uint64_t peak_rss_kib = 0;
};

// `task` runs in the child on `path` and returns its heap figure, or
// UINT64_MAX when it failed.
ChildFigures run_in_child(uint64_t (*task)(const char *path), const char *path);

#endif
