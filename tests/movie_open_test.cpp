// Opening synthetic movies: the top-level, moov and trak walks, presence
// flags, the kept ranges, and the release of everything on every path.
#include <gtest/gtest.h>

#include <utility>

#include "bxf.h"
#include "support/fragment_writer.h"
#include "support/memory_file.h"
#include "support/opened_movie.h"

using namespace boxw;

namespace {

const Bytes kBookUuid = {0x50, 0x8E, 0x0C, 0xF1, 0x21, 0x86, 0x4C, 0xCF,
                         0xAA, 0xB2, 0x63, 0x44, 0xD2, 0x49, 0x80, 0x06};

Bytes trak() { return boxw::trak(1, "vide", 600); }
Bytes moov(const Bytes &children) { return box("moov", cat({mvhd(0, 1000), children})); }
// A moov of one track whose mvex holds `mvex_children`.
Bytes fragmented(const Bytes &mvex_children) { return moov(cat({trak(), box("mvex", mvex_children)})); }

using Opened = OpenedMovie;

TEST(PlayOpen, PresenceFlags) {
    const Bytes pssh_v0 = full_box("pssh", 0, 0, cat({zeros(16), u32(0)}));
    struct Row {
        const char *name;
        Bytes file;
        uint32_t code;
        uint32_t flags;
    } rows[] = {
        {"ftyp and mdat only", cat({ftyp(), box("mdat", zeros(16))}), BXF_RET_OK, 0x10},
        {"empty file", {}, BXF_RET_OK, 0},
        {"progressive movie", cat({ftyp(), moov(trak()), box("mdat")}), BXF_RET_OK, 0x50},
        {"moov children",
         cat({moov(cat({trak(), full_box("iods", 0, 0, zeros(4)), full_box("meta", 0, 0), pssh_v0,
                        full_box("ainf", 0, 0, u32(7)), box("free")}))}),
         BXF_RET_OK, 0x40 | 0x80 | 0x20000 | 0x1000 | 0x10000 | 0x2000},
        {"free not last", moov(cat({box("free"), trak()})), BXF_RET_OK, 0x40},
        {"top-level boxes",
         cat({full_box("pdin", 0, 0), full_box("bloc", 0, 0, zeros(1024)), full_box("meta", 0, 0), box("mdri"),
              box("mfra"), uuid_box(vendor_uuid("LICI")), uuid_box(vendor_uuid("MTSD")),
              uuid_box(vendor_uuid("PROF"), cat({u32(0), u32(0)})), uuid_box(kBookUuid)}),
         BXF_RET_OK, 0x4000 | 0x8000 | 0x40000 | 0x800 | 0x8 | 0x100 | 0x200 | 0x20 | 0x400},
        {"fragmented",
         cat({fragmented(cat({full_box("mehd", 0, 0, u32(5)), trex(1)})), box("moof"), box("mdat"), box("moof"),
              box("mdat")}),
         BXF_RET_OK, 0x40 | 0x1 | 0x2 | 0x4},
        {"trex without trak", moov(box("mvex", trex(1))), BXF_RET_FORMAT, 0},
        {"uuid PROF with another suffix is skipped",
         uuid_box(cat({fourcc("PROF"), u32(0x21D24FCE), u32(0xBB88695C), u32(0)})), BXF_RET_OK, 0},
        {"mvhd under 100 bytes", box("moov", full_box("mvhd", 0, 0, zeros(95))), BXF_RET_FORMAT, 0},
        {"mvhd version 1 under 112 bytes", box("moov", full_box("mvhd", 1, 0, zeros(100))), BXF_RET_FORMAT, 0},
        {"mvhd version 2", box("moov", full_box("mvhd", 2, 0, zeros(120))), BXF_RET_FORMAT, 0},
        {"bloc under 1028 bytes", full_box("bloc", 0, 0, zeros(1023)), BXF_RET_FORMAT, 0},
        {"bloc version 1", full_box("bloc", 1, 0, zeros(1024)), BXF_RET_FORMAT, 0},
        {"pdin version 1", full_box("pdin", 1, 0), BXF_RET_FORMAT, 0},
        {"trex version 1", fragmented(full_box("trex", 1, 0, zeros(20))), BXF_RET_FORMAT, 0},
        {"trex too short", fragmented(full_box("trex", 0, 0, zeros(19))), BXF_RET_FORMAT, 0},
        {"mehd version 2", fragmented(full_box("mehd", 2, 0, u64(1))), BXF_RET_FORMAT, 0},
        // The trak's headers, read at open; its sample descriptions are not.
        {"tkhd of 83 bytes", moov(box("trak", full_box("tkhd", 0, 0, zeros(79)))), BXF_RET_FORMAT, 0},
        {"tkhd of 84 bytes", moov(box("trak", full_box("tkhd", 0, 0, zeros(80)))), BXF_RET_OK, 0x40},
        {"tkhd version 1 needs 96 bytes", moov(box("trak", full_box("tkhd", 1, 0, zeros(88)))), BXF_RET_FORMAT, 0},
        {"tkhd version 2", moov(box("trak", full_box("tkhd", 2, 0, zeros(100)))), BXF_RET_FORMAT, 0},
        {"mdhd of 23 bytes", moov(box("trak", box("mdia", full_box("mdhd", 0, 0, zeros(19))))), BXF_RET_FORMAT, 0},
        {"mdhd version 1 of 24 bytes", moov(box("trak", box("mdia", full_box("mdhd", 1, 0, zeros(20))))),
         BXF_RET_FORMAT, 0},
        {"hdlr of 23 bytes", moov(box("trak", box("mdia", full_box("hdlr", 0, 0, zeros(19))))), BXF_RET_FORMAT, 0},
        {"hdlr version 1", moov(box("trak", box("mdia", full_box("hdlr", 1, 0, zeros(20))))), BXF_RET_FORMAT, 0},
        {"trak without headers", moov(box("trak", box("free"))), BXF_RET_OK, 0x40},
        {"bad stsd", moov(box("trak", box("mdia", box("minf", box("stbl", box("stsd")))))), BXF_RET_OK, 0x40},
        // The vendor lists.
        {"MTDT without its count", uuid_box(vendor_uuid("LICI"), box("MTDT", u8(1))), BXF_RET_FORMAT, 0},
        {"PROF version 1", prof(0, {}, 1), BXF_RET_FORMAT, 0},
        {"PROF without its count", uuid_box(vendor_uuid("PROF"), u32(0)), BXF_RET_FORMAT, 0},
        {"PROF entry of size 4", prof(1, box_sized(4, "VPRF")), BXF_RET_FORMAT, 0},
        {"PROF announcing 0 entries", prof(0, box_sized(4, "VPRF")), BXF_RET_OK, 0x20},
    };
    for (const Row &r : rows) {
        Opened o(r.file);
        EXPECT_EQ(o.code, r.code) << r.name;
        EXPECT_EQ(o.flags, r.code == BXF_RET_OK ? r.flags : 0xDEADBEEF) << r.name << ": a failed open writes nothing";
    }
}

TEST(PlayOpen, KeepsFirstOccurrencesAndRanges) {
    const Bytes first_moov = box("moov", cat({mvhd(1, 90000, 1ull << 40), mvhd(0, 600), trak(), trak()}));
    const Bytes second_moov = box("moov", cat({mvhd(0, 44100), trak()}));
    const Bytes file = cat({ftyp(), first_moov, second_moov, box("mdat", zeros(3))});
    Opened o(file);
    ASSERT_EQ(o.code, BXF_RET_OK);
    EXPECT_EQ(o.movie->moov.time_scale, 90000u) << "first mvhd of the first moov";
    uint32_t tracks = 0;
    EXPECT_EQ(bxf_get_track_count(o.handle, &tracks), BXF_RET_OK);
    EXPECT_EQ(tracks, 2u);
    const auto range = [](const BoxRange &r) { return std::make_pair(r.offset, r.size); };
    EXPECT_EQ(range(o.movie->ftyp_body), range({8, ftyp().size() - 8}));
    EXPECT_EQ(range(o.movie->moov_box), range({ftyp().size(), first_moov.size()}));
    EXPECT_EQ(range(o.movie->moov.mvhd_body), range({ftyp().size() + 16, 112}));
    const TrackNode *second = o.movie->moov.tracks_head->next;
    EXPECT_EQ(second->trak_box.offset, ftyp().size() + 8 + 120 + 108 + trak().size());
    EXPECT_EQ(second->next, nullptr);
    EXPECT_EQ(o.movie->moov.tracks_tail, second);
}

TEST(PlayOpen, FragmentWalk) {
    const Bytes head = cat({ftyp(), fragmented(cat({trex(1), trex(2)}))});
    const Bytes file = cat({head, box("moof", zeros(4)), box("mdat"), box("moof"), box("mdat"), box("mfra")});
    for (uint32_t walk_all : {0u, 1u}) {
        Opened o(file, OpenParams{0, 0, walk_all, 0});
        ASSERT_EQ(o.code, BXF_RET_OK);
        ASSERT_NE(o.movie->moof_head, nullptr);
        EXPECT_EQ(o.movie->moof_head->box_offset, head.size());
        EXPECT_EQ(o.movie->moof_head->box_size, 12u);
        EXPECT_EQ(o.movie->moof_head->next, nullptr) << "only the first moof is recorded";
        EXPECT_EQ(o.movie->moov.mvex.trex_count, 2u);
        EXPECT_EQ(o.movie->moov.mvex.trex_tail->track_id, 2u);
        // Walking everything finds the index after the fragments.
        EXPECT_EQ((o.flags & BXF_PLAY_INIT_EXIST_MFRA_BOX) != 0, walk_all == 1) << walk_all;
    }
}

TEST(PlayOpen, ProtectionSystemHeaders) {
    const Bytes system_id = {0xED, 0xEF, 0x8B, 0xA9, 0x79, 0xD6, 0x4A, 0xCE,
                             0xA3, 0xC8, 0x27, 0xDC, 0xD5, 0x1D, 0x21, 0xED};
    const Bytes kid1(16, 0x11), kid2(16, 0x22);
    struct Row {
        const char *name;
        Bytes pssh;
        uint32_t code;
        uint32_t kids;
        uint64_t data_size;
    } rows[] = {
        {"version 1 with two KIDs", full_box("pssh", 1, 0, cat({system_id, u32(2), kid1, kid2, u32(3), zeros(3)})),
         BXF_RET_OK, 2, 3},
        {"version 0", full_box("pssh", 0, 0, cat({system_id, u32(2), zeros(2)})), BXF_RET_OK, 0, 2},
        {"data size past the box is cut to it", full_box("pssh", 0, 0, cat({system_id, u32(100), zeros(5)})),
         BXF_RET_OK, 0, 5},
        {"no room for the data size", full_box("pssh", 1, 0, cat({system_id, u32(1), kid1})), BXF_RET_FORMAT, 0, 0},
        {"body under 24 bytes", full_box("pssh", 0, 0, system_id), BXF_RET_FORMAT, 0, 0},
    };
    for (const Row &r : rows) {
        const Bytes m = moov(cat({trak(), r.pssh, r.pssh}));
        Opened o(m);
        ASSERT_EQ(o.code, r.code) << r.name;
        if (r.code != BXF_RET_OK) continue;
        ASSERT_EQ(o.movie->moov.pssh_count, 2u) << "every pssh is kept";
        const PsshRecord *p = o.movie->moov.pssh_head;
        EXPECT_EQ(Bytes(p->system_id, p->system_id + 16), system_id) << r.name;
        EXPECT_EQ(p->kid_count, r.kids) << r.name;
        if (r.kids == 2) {
            EXPECT_EQ(Bytes(p->kids + 16, p->kids + 32), kid2) << r.name;
        }
        EXPECT_EQ(p->data.size, r.data_size) << r.name;
        EXPECT_EQ(p->data.offset + p->data.size, p->body.offset + p->body.size) << r.name;
    }
}

TEST(PlayOpen, ArgumentsAndFileErrors) {
    TestInstance t(cat({ftyp(), moov(trak())}));
    LibraryInstance *inst = t.inst;
    OpenParams params{0, 0, 1, 0};
    PlayHandle *handle = nullptr;
    uint32_t flags = 0;
    EXPECT_EQ(bxf_play_open(nullptr, &t.file, &params, &handle, &flags), BXF_RET_ARGS);
    EXPECT_EQ(bxf_play_open(inst, nullptr, &params, &handle, &flags), BXF_RET_ARGS);
    EXPECT_EQ(bxf_play_open(inst, &t.file, nullptr, &handle, &flags), BXF_RET_ARGS);
    EXPECT_EQ(bxf_play_open(inst, &t.file, &params, nullptr, &flags), BXF_RET_ARGS);
    EXPECT_EQ(bxf_play_open(inst, &t.file, &params, &handle, nullptr), BXF_RET_ARGS);
    params.sample_percent = 101;
    params.memory_budget = 100000;
    EXPECT_EQ(bxf_play_open(inst, &t.file, &params, &handle, &flags), BXF_RET_ARGS);
    params.sample_percent = 0;
    params.memory_budget = 16;
    EXPECT_EQ(bxf_play_open(inst, &t.file, &params, &handle, &flags), BXF_RET_ARGS)
        << "a budget too small for the handle";
    params.memory_budget = 0;
    t.file.fail_reads = true;
    EXPECT_EQ(bxf_play_open(inst, &t.file, &params, &handle, &flags), BXF_RET_FILE);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(bxf_play_close(nullptr), BXF_RET_OK);
}

// With every budget from too small to enough, the open either fails with
// NOMEM or succeeds, and closing leaves both pools empty: nothing leaks on
// any failure path.
TEST(PlayOpen, EveryBudgetReleasesEverything) {
    const Bytes pssh = full_box("pssh", 1, 0, cat({zeros(16), u32(1), zeros(16), u32(0)}));
    const Bytes file = cat({ftyp(), moov(cat({trak(), trak(), pssh, box("mvex", cat({trex(1), trex(2)}))})),
                            box("moof"), box("moof")});
    bool opened = false;
    for (uint64_t budget = 1; budget < 4096 && !opened; budget += 8) {
        SCOPED_TRACE(budget);
        Opened o(file, OpenParams{budget, 0, 1, 0});  // closed here, its pools checked back to empty
        ASSERT_TRUE(o.code == BXF_RET_OK || o.code == BXF_RET_NOMEM || o.code == BXF_RET_ARGS) << bxf_ret_name(o.code);
        opened = o.code == BXF_RET_OK;
    }
    EXPECT_TRUE(opened);
}

}  // namespace
