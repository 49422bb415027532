// Box and descriptor headers, the container walk rule (uuid rows included),
// full-box headers, read both from a file and from memory.
#include <gtest/gtest.h>

#include "box_reader.h"
#include "container_walk.h"
#include "support/box_writer.h"
#include "support/memory_file.h"
#include "support/opened_movie.h"

using namespace boxw;

namespace {

TEST(ReadBox, HeaderRules) {
    struct Row {
        const char *name;
        Bytes bytes;
        uint64_t available;
        uint32_t code;
        uint64_t box_size, body_offset;
    } rows[] = {
        {"plain", box("free", zeros(4)), 12, BXF_RET_OK, 12, 8},
        {"size 0 runs to the end of the parent", box_sized(0, "mdat", zeros(20)), 28, BXF_RET_OK, 28, 8},
        {"size past the parent is clipped", box_sized(100, "mdat", zeros(4)), 12, BXF_RET_OK, 12, 8},
        {"size 4", box_sized(4, "free", zeros(4)), 12, BXF_RET_FORMAT, 0, 0},
        {"size 7", box_sized(7, "free", zeros(4)), 12, BXF_RET_FORMAT, 0, 0},
        {"less than 8 available", box("free"), 7, BXF_RET_FORMAT, 0, 0},
        {"largesize", large_box("mdat", zeros(4)), 20, BXF_RET_OK, 20, 16},
        {"largesize 12", large_box("mdat", zeros(4), 12), 20, BXF_RET_FORMAT, 0, 0},
        {"largesize 8", large_box("mdat", zeros(4), 8), 20, BXF_RET_FORMAT, 0, 0},
        {"largesize 3", large_box("mdat", zeros(4), 3), 20, BXF_RET_FORMAT, 0, 0},
        {"largesize 0 runs to the end", large_box("mdat", zeros(8), 0x0), 24, BXF_RET_OK, 24, 16},
        {"largesize 2^63 is clipped", large_box("mdat", zeros(4), 1ull << 63), 20, BXF_RET_OK, 20, 16},
        {"largesize without room for it", cat({u32(1), fourcc("mdat"), zeros(4)}), 12, BXF_RET_FORMAT, 0, 0},
    };
    for (const Row &r : rows) {
        TestInstance f(r.bytes);
        BoxRecord file_rec{}, mem_rec{};
        EXPECT_EQ(bxf::read_box(f.io(), 0, r.available, &file_rec), r.code) << r.name;
        EXPECT_EQ(bxf::read_box_in_buffer(r.bytes.data(), 0, r.available, &mem_rec), r.code) << r.name;
        if (r.code != BXF_RET_OK) continue;
        for (const BoxRecord &rec : {file_rec, mem_rec}) {
            EXPECT_EQ(rec.m_box_size, r.box_size) << r.name;
            EXPECT_EQ(rec.m_body_offset, r.body_offset) << r.name;
            EXPECT_EQ(rec.m_body_size, r.box_size - r.body_offset) << r.name;
        }
    }
}

TEST(ReadBox, ShortReadIsAFileErrorNotAFormatError) {
    TestInstance f(box("free", zeros(8)));
    BoxRecord rec;
    // The parent claims more than the file holds.
    EXPECT_EQ(bxf::read_box(f.io(), 12, 100, &rec), BXF_RET_FILE);
    f.file.fail_reads = true;
    EXPECT_EQ(bxf::read_box(f.io(), 0, 16, &rec), BXF_RET_FILE);
    EXPECT_EQ(bxf::read_box(f.io(), 0, 16, nullptr), BXF_RET_ARGS);
}

TEST(ReadDescriptor, SizeBytes) {
    struct Row {
        const char *name;
        Bytes bytes;
        uint32_t code;
        uint64_t total, header;
    } rows[] = {
        {"one size byte", {0x03, 0x02, 0xAA, 0xBB}, BXF_RET_OK, 4, 2},
        {"four size bytes", {0x04, 0x80, 0x80, 0x80, 0x05, 1, 2, 3, 4, 5}, BXF_RET_OK, 10, 5},
        {"two size bytes", {0x05, 0x81, 0x00, 0, 0}, BXF_RET_OK, 5, 3},  // 128, clipped
        {"five continuation bytes", {0x04, 0x80, 0x80, 0x80, 0x80, 0x05, 0, 0}, BXF_RET_FORMAT, 0, 0},
        {"continuation past the end", {0x04, 0x80, 0x80}, BXF_RET_NOTFOUND, 0, 0},
        {"too small", {0x04}, BXF_RET_FORMAT, 0, 0},
    };
    for (const Row &r : rows) {
        BoxRecord rec{};
        ASSERT_EQ(bxf::read_descriptor(r.bytes.data(), 0, r.bytes.size(), &rec), r.code) << r.name;
        if (r.code != BXF_RET_OK) continue;
        EXPECT_EQ(rec.type, r.bytes[0]) << r.name;
        EXPECT_EQ(rec.m_box_size, r.total) << r.name;
        EXPECT_EQ(rec.m_body_offset, r.header) << r.name;
    }
}

TEST(ReadFullBox, VersionsAndSizes) {
    struct Row {
        Bytes body;
        uint32_t max_version;
        uint32_t code;
    } rows[] = {
        {cat({u32(0x00000005), u32(7)}), 0, BXF_RET_OK},
        {cat({u32(0x01000005), u32(7)}), 0, BXF_RET_FORMAT},
        {cat({u32(0x01000005), u32(7)}), 1, BXF_RET_OK},
        {cat({u32(0x02000005), u32(7)}), 1, BXF_RET_FORMAT},
        {u32(0), 0, BXF_RET_FORMAT},
    };
    for (const Row &r : rows) {
        TestInstance f(r.body);
        bxf::FullBoxHeader h{};
        ASSERT_EQ(bxf::read_full_box_header(f.io(), BoxRange{0, r.body.size()}, r.max_version, &h), r.code);
        if (r.code != BXF_RET_OK) continue;
        EXPECT_EQ(h.flags(), 5u);
        EXPECT_EQ(h.entry_count, 7u);
        EXPECT_EQ(h.rest_offset, 8u);
    }
}

// A container whose rows record what the walk handed them.
struct Seen {
    std::vector<uint32_t> types;
    std::vector<uint64_t> sizes;
};
uint32_t note(const bxf::Io &, const BoxRecord &b, Seen &s) {
    s.types.push_back(b.type);
    s.sizes.push_back(b.m_box_size);
    return BXF_RET_OK;
}
// slt1 and slt2 fill one field: they share slot 1.
const bxf::ChildRule<Seen> kRules[] = {
    {BXF_FOURCC('o', 'n', 'c', 'e'), bxf::Occurs::once, note},
    {BXF_FOURCC('m', 'a', 'n', 'y'), bxf::Occurs::repeat, note},
    {BXF_FOURCC('s', 'l', 't', '1'), bxf::Occurs::once, note, 1},
    {BXF_FOURCC('s', 'l', 't', '2'), bxf::Occurs::once, note, 1},
    bxf::uuid_rule(bxf::vendor_uuid(BXF_FOURCC('P', 'R', 'O', 'F')), note),
};

TEST(WalkContainer, ChildrenRules) {
    struct Row {
        const char *name;
        Bytes body;
        uint32_t code;
        std::vector<uint64_t> sizes;
    } rows[] = {
        {"first once wins, repeats all, unknown skipped",
         cat({box("once", zeros(1)), box("skip"), box("once", zeros(2)), box("many"), box("many")}), BXF_RET_OK,
         {9, 8, 8}},
        {"7 trailing bytes ignored", cat({box("many"), zeros(7)}), BXF_RET_OK, {8}},
        {"7-byte body has no children", zeros(7), BXF_RET_OK, {}},
        {"size 0 ends at the container's end", cat({box("many"), box_sized(0, "many", zeros(4))}), BXF_RET_OK,
         {8, 12}},
        {"a child past the end is clipped", cat({box_sized(64, "many", zeros(4))}), BXF_RET_OK, {12}},
        {"a bad child ends the walk", cat({box("many"), box_sized(3, "many", zeros(4))}), BXF_RET_FORMAT, {8}},
        {"of a shared slot the first child wins, whichever row it matches",
         cat({box("slt2", zeros(1)), box("slt1"), box("slt2")}), BXF_RET_OK, {9}},
        {"uuid rows take the first child of their extended type",
         cat({uuid_box(vendor_uuid("LICI")), uuid_box(vendor_uuid("PROF"), zeros(1)), uuid_box(vendor_uuid("PROF"))}),
         BXF_RET_OK, {25}},
        {"a uuid too short for its extended type", cat({box("many"), box("uuid", zeros(4))}), BXF_RET_FORMAT, {8}},
    };
    for (const Row &r : rows) {
        TestInstance f(r.body);
        Seen seen;
        EXPECT_EQ(bxf::walk_container(f.io(), BoxRange{0, r.body.size()}, kRules, seen), r.code) << r.name;
        EXPECT_EQ(seen.sizes, r.sizes) << r.name;
    }
}

TEST(BodyBuffer, ReadsWholeAndFailsOnShortReads) {
    TestInstance f(cat({u32(0x11223344), u32(0x55667788)}));
    bxf::BodyBuffer body(f.inst);
    ASSERT_EQ(body.read(f.io(), BoxRange{4, 4}), BXF_RET_OK);
    EXPECT_EQ(bxf::load_u32_be(body.data()), 0x55667788u);
    EXPECT_EQ(body.read(f.io(), BoxRange{4, 8}), BXF_RET_FILE);
    EXPECT_EQ(body.data(), nullptr);
}

}  // namespace
