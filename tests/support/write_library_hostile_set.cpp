// Writes the library's hostile files into a folder: each class of malformed input that has broken MP4 parsers, in a
// small movie of one four-sample video track or one fragment. The library tests replay the folder and the fuzz
// targets take it as seeds. Each file's name starts with the codes a player's questions must get, up to "--":
// the open, track 1's open, its first and its last sample, the sample at a late time and the whole duration, each
// a BXF_RET_ name without its prefix, "x" where the question is not reached.
// usage: write_library_hostile_set DIR
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fragment_writer.h"

using namespace boxw;

namespace {

struct HostileFile {
    const char *expected;  // six codes, '.' between them
    const char *name;
    Bytes bytes;
};

const Bytes kAvcC = box("avcC", cat({Bytes{1, 66, 0xC0, 30, 0xFF, 0xE1}, u16(4), Bytes{0x67, 1, 2, 3}, u8(1), u16(2),
                                     Bytes{0x68, 4}}));

// A valid four-sample video track's tables, any of which a file replaces.
struct Tables {
    Bytes stsd = boxw::stsd(visual_entry("avc1", 64, 64, kAvcC), 1);
    Bytes stts = boxw::stts({{4, 10}});
    Bytes ctts = boxw::ctts({{4, 0}});
    Bytes stsc = boxw::stsc({{1, 2, 1}});
    Bytes stsz = boxw::stsz({5, 6, 7, 8});
    Bytes stco = boxw::stco({200, 300});
    Bytes stss = boxw::stss({1});
    Bytes extra;
    Bytes all() const { return cat({stsd, stts, ctts, stsc, stsz, stco, stss, extra}); }
};

Bytes progressive(const Tables &t, uint64_t duration = 40) {
    return cat({table_movie(t.all(), duration), box("mdat", zeros(64))});
}

Tables with(Bytes Tables::*table, Bytes value) {
    Tables t;
    t.*table = std::move(value);
    return t;
}

// A count of 0xFFFFFFFF with 8 bytes behind it, in any full box.
Bytes huge_count(const char *type, uint8_t version = 0, const Bytes &before = {}) {
    return full_box(type, version, 0, cat({before, u32(0xFFFFFFFF), zeros(8)}));
}

// The file with the time scales of its mvhd and mdhd set to 0: nothing in the library divides by them.
Bytes zero_time_scales(Bytes file) {
    for (const char *type : {"mvhd", "mdhd"}) {
        const auto at = std::search(file.begin(), file.end(), type, type + 4);
        std::fill(at + 16, at + 20, 0);  // type, version/flags, two 32-bit times
    }
    return file;
}

Bytes one_fragment(const Bytes &traf_children, const Bytes &after = {}) {
    return cat({fragmented_movie(1, trex(1, 10, 4), moof(1, traf(traf_children))), after});
}

const char *const ALL_OK = "OK.OK.OK.OK.OK.OK";

void sample_tables(std::vector<HostileFile> &set) {
    Tables aux_counts;
    aux_counts.extra =
        cat({huge_count("sbgp", 0, fourcc("roll")), full_box("saio", 0, 0, cat({u32(0xFFFFFFFF), zeros(8)})),
             full_box("saiz", 0, 1, cat({fourcc("cenc"), u32(0), u8(0), u32(0xFFFFFFFF), zeros(8)}))});
    const Bytes past_2e63 = full_box("co64", 0, 0, cat({u32(2), u64(UINT64_MAX - 3), u64(0)}));
    const Bytes past_2e64 = full_box("co64", 0, 0, cat({u32(2), u64(UINT64_MAX - 3), u64(UINT64_MAX)}));
    const Bytes bad_avcc = box("avcC", cat({Bytes{1, 66, 0, 30, 0xFF, 0xE1}, u16(900), zeros(4)}));
    set.insert(set.end(), {
        {ALL_OK, "valid", progressive(Tables{})},
        {"OK.OK.NOTFOUND.NOTFOUND.NOTFOUND.OK", "stts-count-2e32", progressive(with(&Tables::stts, huge_count("stts")))},
        {ALL_OK, "ctts-count-2e32", progressive(with(&Tables::ctts, huge_count("ctts")))},
        {"OK.OK.NOTFOUND.NOTFOUND.NOTFOUND.OK", "stsc-count-2e32", progressive(with(&Tables::stsc, huge_count("stsc")))},
        {"OK.OK.OK.OK.NOTFOUND.OK", "stsz-count-2e32", progressive(with(&Tables::stsz, huge_count("stsz", 0, u32(0))))},
        {ALL_OK, "stco-count-2e32", progressive(with(&Tables::stco, huge_count("stco")))},
        {"OK.OK.OK.NOTFOUND.NOTFOUND.OK", "co64-count-2e32", progressive(with(&Tables::stco, huge_count("co64")))},
        {ALL_OK, "stss-count-2e32", progressive(with(&Tables::stss, huge_count("stss")))},
        {ALL_OK, "stsd-count-2e32", progressive(with(&Tables::stsd, huge_count("stsd")))},
        {ALL_OK, "saio-saiz-sbgp-counts-2e32", progressive(aux_counts)},
        {"OK.OK.FORMAT.FORMAT.NOTFOUND.OK", "stsz-count-times-4-wraps",
         progressive(with(&Tables::stsz, full_box("stsz", 0, 0, cat({u32(0), u32(0x40000001), u32(5)}))))},
        {"OK.OK.FORMAT.FORMAT.FORMAT.OK", "stsc-first-chunk-0", progressive(with(&Tables::stsc, stsc({{0, 2, 1}})))},
        {"OK.OK.FORMAT.FORMAT.FORMAT.OK", "stsc-first-chunk-decreasing",
         progressive(with(&Tables::stsc, stsc({{2, 2, 1}, {1, 2, 1}})))},
        {"OK.OK.OK.NOTFOUND.NOTFOUND.OK", "stsc-past-the-chunks",
         progressive(with(&Tables::stsc, stsc({{1, 1, 1}, {9, 1, 1}})))},
        {"OK.OK.OK.OK.NOTFOUND.OK", "stts-delta-0", progressive(with(&Tables::stts, stts({{4, 0}})), 0)},
        {"OK.OVERFLOW.STATE.x.STATE.STATE", "stts-sum-past-2e64",
         progressive(with(&Tables::stts, stts({{0xFFFFFFFF, 0xFFFFFFFF}, {0xFFFFFFFF, 0xFFFFFFFF}, {4, 1}})))},
        {"OK.OK.FORMAT.FORMAT.FORMAT.OK", "ctts-counts-past-2e32-samples",
         progressive(with(&Tables::ctts, ctts({{0xFFFFFFFF, 1}, {0xFFFFFFFF, 1}})))},
        {"OK.OK.OK.NOTFOUND.OK.OK", "stts-shorter-than-the-samples", progressive(with(&Tables::stts, stts({{2, 10}})))},
        {ALL_OK, "chunk-offset-past-2e63", progressive(with(&Tables::stco, past_2e63))},
        {"OK.OK.OK.OVERFLOW.OVERFLOW.OK", "sizes-past-2e64-in-a-chunk", progressive(with(&Tables::stco, past_2e64))},
        {ALL_OK, "time-scales-0", zero_time_scales(progressive(Tables{}))},
        // Opens and plays; its descriptions are what fail.
        {ALL_OK, "avcc-set-past-its-box",
         progressive(with(&Tables::stsd, stsd(visual_entry("avc1", 8, 8, bad_avcc), 1)))},
    });
}

void box_sizes_and_nesting(std::vector<HostileFile> &set) {
    const Bytes valid = progressive(Tables{});
    Bytes repeated, nested = box("free");
    for (int i = 0; i < 5000; ++i) append(repeated, box("free"));
    for (int i = 0; i < 3000; ++i) nested = box("udta", nested);
    const Bytes pssh = full_box("pssh", 1, 0, cat({zeros(16), u32(0xFFFFFFFF), zeros(8)}));
    set.insert(set.end(), {
        {ALL_OK, "largesize-0-runs-to-the-end", cat({valid, large_box("free", zeros(4), 0x0)})},
        {"FORMAT.x.x.x.x.x", "largesize-8", cat({valid, large_box("free", zeros(4), 8)})},
        {ALL_OK, "largesize-2e63", cat({valid, large_box("free", zeros(4), 1ull << 63)})},
        {"OK.NOTFOUND.STATE.x.STATE.STATE", "size-0-in-moov",
         cat({ftyp(), box("moov", cat({mvhd(0, 1000), box_sized(0, "free")}))})},
        {ALL_OK, "size-2e32-1", cat({valid, box_sized(0xFFFFFFFF, "mdat", zeros(4))})},
        {ALL_OK, "5000-repeated-boxes", cat({valid, repeated})},
        {ALL_OK, "3000-nested-boxes", cat({ftyp(), nested, valid})},
        {"FORMAT.x.x.x.x.x", "pssh-kid-count-2e32", cat({ftyp(), box("moov", cat({mvhd(0, 1000), pssh}))})},
    });
}

void fragments(std::vector<HostileFile> &set) {
    const Bytes head = tfhd({1, 0x020000});
    const Bytes run = trun(0x300, {{10, 4}});
    const uint64_t moof_at = fragmented_movie(1, trex(1, 10, 4), {}).size();
    set.insert(set.end(), {
        {"OK.OK.OK.x.OK.OK", "valid-fragments",
         one_fragment(cat({head, tfdt(0), trun(0x700, {{10, 4, 0}, {10, 4, 0x10000}})}),
                      mfra(tfra(1, 1, 0, 1, {TfraEntry{0, moof_at, 1, 1, 1}})))},
        {"OK.OK.OK.x.OK.OK", "trun-count-2e32-with-8-bytes",
         one_fragment(cat({head, tfdt(0), full_box("trun", 0, 0x200, cat({u32(0xFFFFFFFF), zeros(8)}))}))},
        // 2^32-1 samples of the defaults.
        {"OK.OK.OK.x.OK.OK", "trun-of-2e32-default-samples",
         one_fragment(cat({head, tfdt(0), full_box("trun", 0, 0, u32(0xFFFFFFFF))}))},
        {"OK.OK.OVERFLOW.x.OVERFLOW.OVERFLOW", "trun-data-offset-past-2e64",
         one_fragment(cat({tfhd({1, 0x1, UINT64_MAX - 2}), tfdt(0), trun(0x201, {{0, 4}}, 100)}))},
        // The fragment starts after every time asked, and a lookup reads on into it: its run ends past 2^64.
        {"OK.OK.OVERFLOW.x.OVERFLOW.OVERFLOW", "tfdt-near-2e64", one_fragment(cat({head, tfdt(UINT64_MAX - 5), run}))},
        {"OK.OK.OVERFLOW.x.OVERFLOW.OVERFLOW", "tfdt-near-2e64-default-samples",
         one_fragment(cat({head, tfdt(UINT64_MAX - 5), trun(0, {{}})}))},
        {"OK.OK.FORMAT.x.FORMAT.FORMAT", "more-traf-than-tracks",
         fragmented_movie(1, trex(1), moof(1, cat({traf(cat({head, trun(0x300, {{1, 1}})})), traf(head)})))},
        {"OK.OK.OK.x.OK.OK", "tfra-count-2e32",
         one_fragment(cat({head, tfdt(0), run}), mfra(huge_count("tfra", 1, cat({u32(1), u32(0)}))))},
        {"OK.OK.OK.x.OK.OK", "mfro-past-the-file", one_fragment(cat({head, tfdt(0), run}), mfro(0x7FFFFFFF))},
        {"OK.OK.OK.x.OK.OK", "mfro-at-itself", one_fragment(cat({head, tfdt(0), run}), mfro(16))},
    });
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_library_hostile_set DIR\n");
        return 2;
    }
    std::filesystem::remove_all(argv[1]);  // no file of an earlier set stays
    std::filesystem::create_directories(argv[1]);
    std::vector<HostileFile> set;
    sample_tables(set);
    box_sizes_and_nesting(set);
    fragments(set);
    for (const HostileFile &file : set) {
        const std::string path = std::string(argv[1]) + "/" + file.expected + "--" + file.name + ".mp4";
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char *>(file.bytes.data()), static_cast<std::streamsize>(file.bytes.size()));
        if (!out) {
            std::fprintf(stderr, "write_library_hostile_set: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
