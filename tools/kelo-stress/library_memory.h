// What the stress build of the module reports of the library's memory: the
// blocks handed out through its FileOps and not yet released.
#ifndef KELO_TOOLS_KELO_STRESS_LIBRARY_MEMORY_H
#define KELO_TOOLS_KELO_STRESS_LIBRARY_MEMORY_H

#include <cstdint>

struct LibraryMemoryUse {
    int64_t live_bytes = 0;  // requested bytes of the blocks still held
    int64_t live_blocks = 0;
    int64_t peak_bytes = 0;   // the most live bytes at any time
    int64_t allocations = 0;  // blocks handed out so far
};

// The export of KeloMervaneStress.ax that fills it.
using LibraryMemoryFunction = void(__stdcall*)(LibraryMemoryUse* use);
constexpr const char kLibraryMemoryExport[] = "KeloStressLibraryMemory";

#endif
