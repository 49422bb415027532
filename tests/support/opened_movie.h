// The one way a test opens a movie: a library instance over a file in
// memory, the movie opened from it, and on close both memory pools checked
// back to empty, so that every test that opens a movie also shows that
// closing it releases all it allocated.
#ifndef BXF_TEST_OPENED_MOVIE_H
#define BXF_TEST_OPENED_MOVIE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

#include "bxf.h"
#include "internal.h"
#include "support/memory_file.h"

// The blocks the library holds, seen through its allocate and release
// operations; each block's header names its pool once the library has
// written it.
struct BlockLedger {
    std::set<const uint8_t *> live;

    uint64_t in_pool(uint32_t pool) const {
        uint64_t n = 0;
        for (const uint8_t *b : live) n += b[0] == 'B' && b[1] == 'X' && b[2] == 'F' && b[3] == pool;
        return n;
    }
    static void *allocate(uintptr_t context, uint64_t count) {
        auto *block = static_cast<uint8_t *>(std::malloc(count));
        if (block) reinterpret_cast<BlockLedger *>(context)->live.insert(block);
        return block;
    }
    static void release(uintptr_t context, void *pointer) {
        reinterpret_cast<BlockLedger *>(context)->live.erase(static_cast<uint8_t *>(pointer));
        std::free(pointer);
    }
};

// An instance over `bytes`; when it goes, pool 1 and pool 2 must hold no
// block, by the ledger of its allocations and, when the instance counts
// them, by its own counters.
struct TestInstance {
    MemoryFile file;
    BlockLedger ledger;
    LibraryInstance *inst = nullptr;

    explicit TestInstance(std::vector<uint8_t> bytes) {
        file.bytes = std::move(bytes);
        FileOps ops = memory_file_ops();
        ops.context = reinterpret_cast<uintptr_t>(&ledger);
        ops.allocate = BlockLedger::allocate;
        ops.release = BlockLedger::release;
        EXPECT_EQ(bxf_create(&ops, &inst), BXF_RET_OK);
    }
    ~TestInstance() {
        if (!inst) return;
        EXPECT_EQ(ledger.in_pool(BXF_POOL_GENERAL), 0u) << "pool 1 back to empty";
        EXPECT_EQ(ledger.in_pool(BXF_POOL_SAMPLE), 0u) << "pool 2 back to empty";
        EXPECT_EQ(inst->general_used, 0u) << "pool 1's counter back to 0";
        EXPECT_EQ(inst->sample_used, 0u) << "pool 2's counter back to 0";
        bxf_destroy(inst);
    }
    TestInstance(const TestInstance &) = delete;
    TestInstance &operator=(const TestInstance &) = delete;

    bxf::Io io() { return bxf::Io{inst, &file}; }
};

// The movie in `bytes` opened with `params`; `code` is the open's result.
struct OpenedMovie : TestInstance {
    PlayHandle *handle = nullptr;
    uint32_t code = BXF_RET_INTERNAL;
    uint32_t flags = 0xDEADBEEF;  // a failed open writes nothing here
    const MovieRecord *movie = nullptr;

    explicit OpenedMovie(std::vector<uint8_t> bytes, OpenParams params = {0, 0, 1, 0})
        : TestInstance(std::move(bytes)) {
        if (!inst) return;
        code = bxf_play_open(inst, &file, &params, &handle, &flags);
        if (code == BXF_RET_OK) bxf_play_get_movie(handle, &movie);
    }
    ~OpenedMovie() { bxf_play_close(handle); }

    // Sample n of `track`, whose lookup must answer `expect`.
    SampleInfo sample_info(uint32_t n, uint32_t want_run = 0, uint32_t expect = BXF_RET_OK, uint32_t track = 1) {
        SampleInfo s{};
        EXPECT_EQ(bxf_play_get_sample_info(handle, track, n, want_run, &s), expect) << "sample " << n;
        return s;
    }
    // The track's duration: with `whole`, its fragments' too.
    uint64_t duration(uint32_t track = 1, uint32_t whole = 1) {
        uint64_t d = 0;
        EXPECT_EQ(bxf_play_get_track_duration(handle, track, whole, &d), BXF_RET_OK);
        return d;
    }
};

#endif
