// Tracks in both parsing modes, the track queries, and the vendor lists (the
// malformed headers are the open's table).
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "bxf.h"
#include "play_handle.h"
#include "support/memory_file.h"
#include "support/opened_movie.h"
#include "support/track_writer.h"

using namespace boxw;

namespace {

Bytes movie(const Bytes &moov_children, const Bytes &top_level = {}) {
    return cat({ftyp(), top_level, box("moov", cat({mvhd(0, 1000), moov_children}))});
}

using Opened = OpenedMovie;

TEST(LocateMode, KeepsTheFirstOfEachHeader) {
    const Bytes mdia = box("mdia", cat({mdhd(1, 90000, 0x123456789ull, 0x95C7), hdlr("soun", "Sound"),
                                        hdlr("vide"), mdhd(0, 1, 1)}));
    const Bytes trak = box("trak", cat({tkhd(1, 7, 1ull << 33, 320u << 16, 240u << 16), mdia}));
    Opened o(movie(trak));
    ASSERT_EQ(o.code, BXF_RET_OK);
    const TrackNode *t = o.movie->moov.tracks_head;
    EXPECT_EQ(t->track_id, 7u);
    EXPECT_EQ(t->media_time_scale, 90000u);
    EXPECT_EQ(t->media_duration, 0x123456789ull) << "all 64 bits of a version-1 duration";
    EXPECT_EQ(t->handler_type, BXF_HDLR_MEDIA_SOUND) << "the first hdlr decides";
    EXPECT_EQ(t->handler_name.offset, t->hdlr_body.offset + 24);
    EXPECT_EQ(t->handler_name.size, t->hdlr_body.size - 24);
}

TEST(TrackQueries, ErrorCodesLeaveTheRecordAlone) {
    Opened o(movie(cat({trak(1, "vide", 600), box("trak", box("free"))})));
    ASSERT_EQ(o.code, BXF_RET_OK);
    TrackHeaderInfo th;
    std::memset(&th, 0xAB, sizeof th);
    const TrackHeaderInfo untouched = th;
    MediaHeaderInfo mh;
    HandlerInfo h;
    struct Row {
        const char *name;
        uint32_t code;
        uint32_t expected;
    } rows[] = {
        {"track 0", bxf_get_track_header(o.handle, 0, &th), BXF_RET_ARGS},
        {"beyond the count", bxf_get_track_header(o.handle, 3, &th), BXF_RET_NOTFOUND},
        {"no tkhd", bxf_get_track_header(o.handle, 2, &th), BXF_RET_NOTFOUND},
        {"null record", bxf_get_track_header(o.handle, 1, nullptr), BXF_RET_ARGS},
        {"null handle", bxf_get_track_header(nullptr, 1, &th), BXF_RET_ARGS},
        {"no mdhd", bxf_get_media_header(o.handle, 2, &mh), BXF_RET_NOTFOUND},
        {"media header beyond", bxf_get_media_header(o.handle, 3, &mh), BXF_RET_NOTFOUND},
        {"no hdlr", bxf_get_handler(o.handle, 2, &h), BXF_RET_NOTFOUND},
        {"handler track 0", bxf_get_handler(o.handle, 0, &h), BXF_RET_ARGS},
        {"open track 0", bxf_open_track(o.handle, 0), BXF_RET_ARGS},
        {"open beyond", bxf_open_track(o.handle, 3), BXF_RET_NOTFOUND},
        {"open null", bxf_open_track(nullptr, 1), BXF_RET_ARGS},
    };
    for (const Row &r : rows) EXPECT_EQ(r.code, r.expected) << r.name;
    EXPECT_EQ(std::memcmp(&th, &untouched, sizeof th), 0);
    uint32_t count = 0;
    EXPECT_EQ(bxf_get_track_count(o.handle, &count), BXF_RET_OK);
    EXPECT_EQ(count, 2u);
}

TEST(FullMode, RecordsWhatPlaybackNeeds) {
    const Bytes edts = box("edts", cat({full_box("elst", 1, 0, cat({u32(1), u64(1000), u64(0), u32(0x10000)})),
                                        full_box("elst", 0, 0, cat({u32(5)}))}));
    const Bytes senc = full_box("senc", 0, 2, u32(0));
    const Bytes entries = box("avc1", zeros(78));
    // minf holds smhd before vmhd: the first media header counts.
    const Bytes minf_box = box("minf", cat({full_box("smhd", 0, 0, zeros(4)), full_box("vmhd", 0, 1, zeros(8)),
                                            box("stbl", stsd(entries, 1))}));
    const Bytes track = box("trak", cat({tkhd(0, 1, 10), box("tref", box("chap", u32(2))), edts, senc,
                                         box("mdia", cat({mdhd(0, 600, 6000), hdlr("vide"), minf_box}))}));
    Opened o(movie(track));
    ASSERT_EQ(o.code, BXF_RET_OK);
    ASSERT_EQ(bxf_open_track(o.handle, 1), BXF_RET_OK);
    ASSERT_EQ(bxf_open_track(o.handle, 1), BXF_RET_OK) << "idempotent";
    const OpenedTrack *t = bxf::find_opened_track(o.handle, 1);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->next, nullptr) << "one record per track";
    EXPECT_EQ(t->elst_version_flags >> 24, 1u);
    EXPECT_EQ(t->elst_entry_count, 1u) << "the first elst is kept";
    EXPECT_EQ(t->elst_entries.size, 20u);
    EXPECT_EQ(t->media_header_type, BXF_FOURCC('s', 'm', 'h', 'd'));
    EXPECT_NE(t->tref_body.offset, 0u);
    ASSERT_NE(t->senc, nullptr);
    EXPECT_EQ(t->senc->version_flags, 2u);
    EXPECT_EQ(t->tables.stsd_entry_count, 1u);
    EXPECT_EQ(t->tables.stsd_entries.size, entries.size());
    EXPECT_EQ(o.file.bytes[t->tables.stsd_entries.offset + 4], 'a');
}

TEST(FullMode, EditListEntries) {
    // Version 0: 32-bit duration and signed media time (-1 an empty edit);
    // version 1: 64-bit both. A count past the entries the box holds ends
    // them at the last whole one.
    struct Row {
        const char *name;
        Bytes elst;
        std::vector<EditListEntry> entries;  // then BXF_RET_NOTFOUND
    } rows[] = {
        {"version 0, a leading empty edit",
         full_box("elst", 0, 0, cat({u32(3), u32(500), u32(0xFFFFFFFF), u32(0x10000), u32(1000), u32(2112),
                                     u32(0x0001FFFF)})),
         {{500, -1, 1, 0}, {1000, 2112, 1, -1}}},
        {"version 1, 64-bit fields",
         full_box("elst", 1, 0, cat({u32(1), u64(uint64_t(1) << 40), u64(uint64_t(1) << 33), u32(0x10000)})),
         {{uint64_t(1) << 40, int64_t(1) << 33, 1, 0}}},
    };
    const auto fields = [](const EditListEntry &e) {
        return std::make_tuple(e.segment_duration, e.media_time, e.media_rate_integer, e.media_rate_fraction);
    };
    for (const Row &r : rows) {
        Opened o(movie(trak(1, "vide", 600, stsd({}, 0), box("edts", r.elst))));
        ASSERT_EQ(o.code, BXF_RET_OK) << r.name;
        EditListEntry e{};
        EXPECT_EQ(bxf_get_edit_list_entry(o.handle, 1, 1, &e), BXF_RET_STATE) << r.name << ": the track is not open";
        ASSERT_EQ(bxf_open_track(o.handle, 1), BXF_RET_OK) << r.name;
        for (uint32_t n = 1; n <= r.entries.size(); ++n) {
            ASSERT_EQ(bxf_get_edit_list_entry(o.handle, 1, n, &e), BXF_RET_OK) << r.name << " " << n;
            EXPECT_EQ(fields(e), fields(r.entries[n - 1])) << r.name << " " << n;
        }
        EXPECT_EQ(bxf_get_edit_list_entry(o.handle, 1, uint32_t(r.entries.size() + 1), &e), BXF_RET_NOTFOUND)
            << r.name;
        EXPECT_EQ(bxf_get_edit_list_entry(o.handle, 1, 0, &e), BXF_RET_ARGS) << r.name;
    }
}

TEST(FullMode, ErrorsFailTheTrackOpenAndKeepNothing) {
    struct Row {
        const char *name;
        Bytes stbl_children;
        const char *handler;
        uint32_t code;
    } rows[] = {
        {"stsd version 1 in a video track", stsd({}, 0, 1), "vide", BXF_RET_FORMAT},
        {"stsd version 1 in a sound track", stsd({}, 0, 1), "soun", BXF_RET_OK},
        {"stsd version 2 in a sound track", stsd({}, 0, 2), "soun", BXF_RET_FORMAT},
        {"stsd without its count", full_box("stsd", 0, 0), "vide", BXF_RET_FORMAT},
    };
    for (const Row &r : rows) {
        Opened o(movie(trak(1, r.handler, 1000, r.stbl_children)));
        ASSERT_EQ(o.code, BXF_RET_OK) << r.name;
        const uint64_t used_before = o.inst->general_used;
        EXPECT_EQ(bxf_open_track(o.handle, 1), r.code) << r.name;
        EXPECT_EQ(bxf::find_opened_track(o.handle, 1) != nullptr, r.code == BXF_RET_OK) << r.name;
        if (r.code != BXF_RET_OK) {
            EXPECT_EQ(o.inst->general_used, used_before) << r.name;
        }
    }
}

Bytes vprf(uint32_t first_word, size_t words = 10) {
    Bytes body = u32(0);
    for (size_t i = 0; i < words; ++i) body = cat({body, u32(first_word + uint32_t(i))});
    return box("VPRF", body);
}

TEST(VendorBoxes, ProfileEntries) {
    const Bytes five = cat({box("FPRF", zeros(4)), vprf(100), vprf(0x00010002), box("APRF"), box("BPRF")});
    Opened o(movie(trak(1, "vide", 600), prof(3, five)));
    ASSERT_EQ(o.code, BXF_RET_OK);
    EXPECT_EQ(o.handle->movie.prof.entry_count, 3u) << "the announced count, not the boxes held";
    VideoProfileInfo info;
    ASSERT_EQ(bxf_get_video_profile(o.handle, 2, &info), BXF_RET_OK);
    EXPECT_EQ(info.word1, 0x00010002u);
    EXPECT_EQ(bxf_get_video_profile(o.handle, 3, &info), BXF_RET_NOTFOUND);
    EXPECT_EQ(bxf_get_video_profile(o.handle, 0, &info), BXF_RET_ARGS);
    const VendorEntry *entry = nullptr;
    EXPECT_EQ(bxf_find_vendor_entry(o.handle->movie.prof.head, BXF_FOURCC('F', 'P', 'R', 'F'), 1, &entry),
              BXF_RET_OK);
    EXPECT_EQ(entry->item_count, 0xFFFFFFFFu);
    EXPECT_EQ(bxf_find_vendor_entry(o.handle->movie.prof.head, BXF_FOURCC('A', 'P', 'R', 'F'), 1, &entry),
              BXF_RET_NOTFOUND)
        << "the fourth box is beyond the announced count";

    Opened short_vprf(movie(trak(1, "vide", 600), prof(1, vprf(1, 9))));
    ASSERT_EQ(short_vprf.code, BXF_RET_OK);
    EXPECT_EQ(bxf_get_video_profile(short_vprf.handle, 1, &info), BXF_RET_FORMAT) << "43-byte body";
    Opened no_prof(movie(trak(1, "vide", 600)));
    EXPECT_EQ(bxf_get_video_profile(no_prof.handle, 1, &info), BXF_RET_NOTFOUND);
}

TEST(VendorBoxes, MetadataLists) {
    const Bytes items = cat({box("MTDT", cat({u16(2), zeros(6)})), box("MTSM", zeros(3)), box("XXXX", zeros(2))});
    const Bytes usmt_in_trak = uuid_box(vendor_uuid("USMT"), box("MTDF", u16(9)));
    const Bytes file = movie(cat({uuid_box(vendor_uuid("USMT"), items), trak(1, "vide", 600, {}, usmt_in_trak)}),
                             cat({uuid_box(vendor_uuid("LICI"), items), uuid_box(vendor_uuid("LICI"))}));
    Opened o(file);
    ASSERT_EQ(o.code, BXF_RET_OK);
    EXPECT_EQ(o.flags & BXF_PLAY_INIT_EXIST_UUID_LICI_BOX, BXF_PLAY_INIT_EXIST_UUID_LICI_BOX);
    const VendorBoxRecord &lici = o.handle->movie.lici;
    EXPECT_EQ(lici.entry_count, 3u) << "the first LICI is kept, the second skipped";
    EXPECT_EQ(lici.head->item_count, 2u);
    EXPECT_EQ(lici.head->payload.size, 6u);
    EXPECT_EQ(lici.head->next->payload.size, 3u);
    EXPECT_EQ(lici.tail->payload.offset, 0u);
    EXPECT_EQ(o.handle->movie.moov.usmt.entry_count, 3u);
    EXPECT_EQ(o.movie->moov.tracks_head->usmt.entry_count, 1u);
    EXPECT_EQ(o.movie->moov.tracks_head->usmt.head->item_count, 9u);
}

}  // namespace
