// A FileOps whose file is a byte vector in memory, with a switch that makes
// its reads fail, so tests and fuzzing need no disk.
#ifndef BXF_TEST_MEMORY_FILE_H
#define BXF_TEST_MEMORY_FILE_H

#include <cstdint>
#include <vector>

#include "bxf.h"

struct MemoryFile {
    std::vector<uint8_t> bytes;
    uint64_t position = 0;
    bool fail_reads = false;
    uint64_t reads = 0;       // how many read calls were made
    uint64_t bytes_read = 0;  // and how many bytes they returned
};

// The default table with read/seek/tell/size served from a MemoryFile.
FileOps memory_file_ops();

#endif
