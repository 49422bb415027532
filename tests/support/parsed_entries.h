// Runs the sample-entry parser over entry bytes with memory accounting on,
// and checks that a failure leaves nothing behind and that the release gives
// every byte back.
#ifndef BXF_TEST_PARSED_ENTRIES_H
#define BXF_TEST_PARSED_ENTRIES_H

#include <gtest/gtest.h>

#include "sample_entries.h"
#include "support/box_writer.h"
#include "support/memory_file.h"

inline uint32_t fourcc_of(const char *c) { return BXF_FOURCC(c[0], c[1], c[2], c[3]); }

struct ParsedEntries {
    static constexpr uint64_t kEntriesOffset = 100;  // so file offsets differ from buffer positions

    MemoryFile file;
    LibraryInstance *inst = nullptr;
    SampleDescriptions d{};
    uint32_t code = 0;

    // `entries` is placed at kEntriesOffset and parsed as a track of `handler`,
    // with a pool-1 limit of `budget` bytes.
    ParsedEntries(const boxw::Bytes &entries, const char *handler, uint32_t entry_count = 16,
                  uint64_t budget = uint64_t(1) << 30) {
        file.bytes = boxw::cat({boxw::zeros(kEntriesOffset), entries});
        FileOps ops = memory_file_ops();
        bxf_create(&ops, &inst);
        bxf_set_memory_limits(inst, 0, budget, 0, 0);
        code = bxf::parse_sample_descriptions(io(), BoxRange{kEntriesOffset, entries.size()}, fourcc_of(handler),
                                              entry_count, &d);
        if (code != BXF_RET_OK) {
            EXPECT_EQ(d.head, nullptr) << "a failed parse keeps no entries";
            EXPECT_EQ(d.entry_count, 0u);
            EXPECT_EQ(inst->general_used, 0u) << "a failed parse releases what it built";
        }
    }
    ~ParsedEntries() {
        bxf::release_sample_entries(inst, &d);
        EXPECT_EQ(inst->general_used, 0u) << "the release returns every byte";
        bxf_destroy(inst);
    }

    bxf::Io io() { return bxf::Io{inst, &file}; }
    // The entry to look at; never null, so a missing one fails without a crash.
    const SampleEntry &first() const {
        static const SampleEntry kNone{};
        EXPECT_NE(d.head, nullptr);
        return d.head ? *d.head : kNone;
    }
};

inline boxw::Bytes bytes_of(const Blob &b) { return b.data ? boxw::Bytes(b.data, b.data + b.length) : boxw::Bytes{}; }
inline boxw::Bytes bytes_of(const ParameterSet *s) { return s ? bytes_of(s->bytes) : boxw::Bytes{}; }

#endif
