// The sample-entry parsers alone: the input is the entries area of an `stsd`
// (the bytes after its entry count), so every mutation lands in an entry, an
// avcC, hvcC, esds, sinf or audio extension box at once, without a movie
// around it. The last byte chooses the track's handler, the pool-1 budget and
// the entry count. The parsed records must hold what their lengths and counts
// say, a failed parse must keep nothing, and the release must give back every
// byte.
#include <algorithm>

#include "counting_allocator.h"
#include "fuzz_checks.h"
#include "sample_entries.h"
#include "support/memory_file.h"

namespace {

// Handlers that select each kind of entry, and one the library does not know.
constexpr uint32_t kHandlers[8] = {
    BXF_FOURCC('v', 'i', 'd', 'e'), BXF_FOURCC('s', 'o', 'u', 'n'), BXF_FOURCC('o', 'd', 's', 'm'),
    BXF_FOURCC('m', 'e', 't', 'a'), BXF_FOURCC('s', 'u', 'b', 't'), BXF_FOURCC('G', 'R', 'A', 'P'),
    BXF_FOURCC('B', 'K', 'D', 'T'), BXF_FOURCC('h', 'i', 'n', 't')};
// Plenty, and budgets that run out part of the way through an entry.
constexpr uint64_t kBudgets[4] = {uint64_t(1) << 30, 4096, 512, 64};
constexpr uint32_t kEntryCounts[8] = {1, 2, 3, 4, 8, 16, 255, 0xFFFFFFFFu};

// Entries start here in the file, so file offsets and buffer positions differ.
constexpr uint64_t kEntriesOffset = 16;

// The parser reads the entries area whole and copies parts of it; every other
// block is a fixed-size record.
constexpr uint64_t kRecordSlack = 64 * 1024;

void check_blob(const Blob &b) {
    require((b.data == nullptr) == (b.length == 0), "a blob has data exactly when it has a length");
    read_bytes(b.data, b.length);
}

void check_parameter_sets(const ParameterSetList &list) {
    uint32_t n = 0;
    for (const ParameterSet *p = list.head; p; p = p->next, ++n) check_blob(p->bytes);
    require(n == list.count, "a parameter-set list holds count sets");
}

void check_scheme(const SchemeInfo &s) {
    check_blob(s.scheme_uri);
    check_blob(s.stereo_indication_type);
    require(s.tenc_version <= 1 && s.default_crypt_byte_block < 16 && s.default_skip_byte_block < 16,
            "a tenc's version and block pattern are in range");
    require(s.default_constant_iv_size == 0 || s.default_constant_iv_size == 8 || s.default_constant_iv_size == 16,
            "a constant IV is 8 or 16 bytes");
    require(s.tenc_version == 1 || (s.default_crypt_byte_block == 0 && s.default_skip_byte_block == 0),
            "only a version 1 tenc has a block pattern");
}

void check_entry(const SampleEntry &e) {
    check_blob(e.graphics.stereo_3stp);
    check_blob(e.subtitle.namespace_uri);
    check_blob(e.subtitle.schema_location);
    check_blob(e.subtitle.auxiliary_mime_types);
    check_blob(e.stereo_3d);
    if (e.esds) {
        check_blob(e.esds->descriptors);
        check_blob(e.esds->decoder_specific_info);
    }
    if (e.avcc) {
        check_parameter_sets(e.avcc->sps);
        check_parameter_sets(e.avcc->pps);
        check_parameter_sets(e.avcc->sps_ext);
    }
    if (e.hvcc) {
        uint32_t arrays = 0;
        for (const NalArray *a = e.hvcc->arrays_head; a; a = a->next, ++arrays) check_parameter_sets(a->nal_units);
        require(arrays == e.hvcc->array_count, "an hvcC holds array_count arrays");
    }
    if (e.rinf) check_scheme(*e.rinf);
    if (e.dec3_info) check_blob(e.dec3_info->bytes);
    if (e.fcfg_info) check_blob(e.fcfg_info->bytes);
    uint32_t sinfs = 0;
    for (const SinfRecord *s = e.sinf_head; s; s = s->next, ++sinfs) {
        check_blob(s->body_bytes);
        check_scheme(s->scheme);
    }
    require(sinfs == e.sinf_count, "an entry holds sinf_count sinf records");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    const uint8_t choice = data[size - 1];
    const uint32_t handler = kHandlers[choice & 7];
    const uint64_t budget = kBudgets[(choice >> 3) & 3];
    const uint32_t entry_count = kEntryCounts[choice >> 5];
    const uint64_t entries_size = size - 1;

    MemoryFile file;
    file.bytes.assign(kEntriesOffset, 0);
    file.bytes.insert(file.bytes.end(), data, data + entries_size);

    AllocationCounter counter;
    counter.bound = entries_size + kRecordSlack;
    FileOps ops = memory_file_ops();
    count_allocations(&ops, &counter);
    LibraryInstance *inst = nullptr;
    require(bxf_create(&ops, &inst) == BXF_RET_OK, "the instance is created");
    require(bxf_set_memory_limits(inst, 0, budget, 0, 0) == BXF_RET_OK, "the limits are set");

    SampleDescriptions d{};
    const uint32_t ret = documented(bxf::parse_sample_descriptions(
        bxf::Io{inst, &file}, BoxRange{kEntriesOffset, entries_size}, handler, entry_count, &d));
    if (ret == BXF_RET_OK) {
        uint32_t entries = 0;
        for (const SampleEntry *e = d.head; e; e = e->next, ++entries) check_entry(*e);
        require(entries == d.entry_count, "the list holds entry_count entries");
        require(d.entry_count <= entry_count, "no more entries than the count asked for");
    } else {
        require(d.head == nullptr && d.tail == nullptr && d.entry_count == 0, "a failed parse keeps no entries");
        require(inst->general_used == 0, "a failed parse gives back what it built");
    }
    bxf::release_sample_entries(inst, &d);
    require(inst->general_used == 0 && inst->sample_used == 0, "the release gives back every byte");
    bxf_destroy(inst);
    require(counter.live_blocks == 0, "every block comes back");
    return 0;
}
