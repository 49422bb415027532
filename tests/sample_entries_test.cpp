// Sample entries: kinds by handler, fixed fields and minimum bodies, the
// entry count, which child boxes each kind takes, protection schemes, and
// clean failure and release.
#include "support/parsed_entries.h"

using namespace boxw;

namespace {

Bytes fields(uint16_t data_reference_index, size_t extra = 0) {
    return cat({zeros(6), u16(data_reference_index), zeros(extra)});
}
Bytes esds_box() { return full_box("esds", 0, 0, descriptor(3, cat({u16(1), u8(0), descriptor(4, zeros(13))}))); }
Bytes avcc_box() { return box("avcC", cat({u8(1), u8(66), u8(0), u8(30), u8(0xFF), u8(0xE0), u8(0)})); }
Bytes hvcc_box() { return box("hvcC", zeros(23)); }
Bytes graphics(const Bytes &children = {}) { return box("grap", cat({fields(1, 24), children})); }
Bytes string_entry(const char *type, const Bytes &strings, const Bytes &children) {
    return box(type, cat({fields(1), strings, children}));
}

Bytes tenc_body(uint8_t version) { return cat({u32(uint32_t(version) << 24), be(1, 3), u8(8), Bytes(16, 0xA7)}); }
Bytes sinf_box(const Bytes &children) { return box("sinf", children); }
Bytes cenc_sinf(const char *format = "avc1") {
    return sinf_box(cat({box("frma", fourcc(format)), full_box("schm", 0, 0, cat({fourcc("cenc"), u32(0x10000)})),
                         box("schi", box("tenc", tenc_body(0)))}));
}

Bytes encv(const Bytes &children) { return visual_entry("encv", 8, 8, children); }
Bytes resv(const Bytes &children) { return visual_entry("resv", 8, 8, children); }

using Check = void (*)(const SampleEntry &);

struct Row {
    const char *name;
    const char *handler;
    Bytes entries;
    uint32_t code;
    Check check = nullptr;  // what else an OK parse must show
};

template <size_t N>
void run(const Row (&rows)[N]) {
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        ParsedEntries p(r.entries, r.handler);
        ASSERT_EQ(p.code, r.code);
        if (r.code == BXF_RET_OK && r.check) r.check(p.first());
    }
}

TEST(SampleEntries, KindByHandler) {
    struct KindRow {
        const char *name;
        const char *handler;
        Bytes entry;
        uint32_t kind;
        const char *type;
        uint16_t data_reference_index;
    } rows[] = {
        {"mp4v with esds", "vide", visual_entry("mp4v", 8, 8, esds_box()), BXF_FORMAT_TYPE_MP4V, "mp4v", 1},
        {"avc1 with avcC", "vide", visual_entry("avc1", 8, 8, avcc_box()), BXF_FORMAT_TYPE_AVC1, "avc1", 1},
        {"hvc1 with hvcC", "vide", visual_entry("hvc1", 8, 8, hvcc_box()), BXF_FORMAT_TYPE_HVC1, "hvc1", 1},
        {"s263 without configuration", "vide", visual_entry("s263", 8, 8), BXF_FORMAT_TYPE_MP4V, "s263", 1},
        {"twos in soun", "soun", audio_entry("twos", 2, 16, 48000u << 16), BXF_FORMAT_TYPE_MP4A, "twos", 1},
        {"samr in soun", "soun", audio_entry("samr", 1, 16, 8000u << 16), BXF_FORMAT_TYPE_MP4A, "samr", 1},
        {"mp4s in odsm", "odsm", box("mp4s", cat({fields(3), esds_box()})), BXF_FORMAT_TYPE_MP4S, "mp4s", 3},
        {"book data", "BKDT", box("book", fields(4)), BXF_FORMAT_TYPE_BOOK, "book", 4},
        {"packed data", "PKDT", box("pack", fields(5)), BXF_FORMAT_TYPE_PACKED_DATA, "pack", 5},
        {"metadata", "meta", box("metx", fields(6)), BXF_FORMAT_TYPE_META, "metx", 6},
        {"graphics", "GRAP", graphics(), BXF_FORMAT_TYPE_GRAPH, "grap", 1},
        {"graphics with 3STP", "GRAP", graphics(box("3STP", u32(9))), BXF_FORMAT_TYPE_GRAPH_3D, "grap", 1},
        {"subtitle", "subt", box("stpp", fields(7)), BXF_FORMAT_TYPE_SUBTITLE, "stpp", 7},
        {"other handler: type only", "hint", box("rtp ", fields(8)), BXF_FORMAT_TYPE_UNKNOWN, "rtp ", 0},
    };
    for (const KindRow &r : rows) {
        SCOPED_TRACE(r.name);
        ParsedEntries p(r.entry, r.handler);
        ASSERT_EQ(p.code, BXF_RET_OK);
        EXPECT_EQ(p.first().kind, r.kind);
        EXPECT_EQ(p.first().entry_type, fourcc_of(r.type));
        EXPECT_EQ(p.first().data_reference_index, r.data_reference_index);
    }
}

TEST(SampleEntries, MinimumBodies) {
    const Row rows[] = {
        {"visual of 77 bytes", "vide", box("avc1", zeros(77)), BXF_RET_FORMAT},
        {"visual of 78 bytes", "vide", box("avc1", zeros(78)), BXF_RET_OK},
        {"audio of 27 bytes", "soun", box("mp4a", zeros(27)), BXF_RET_FORMAT},
        {"audio of 28 bytes", "soun", box("mp4a", zeros(28)), BXF_RET_OK},
        {"graphics of 31 bytes", "GRAP", box("grap", zeros(31)), BXF_RET_FORMAT},
        {"graphics of 32 bytes", "GRAP", box("grap", zeros(32)), BXF_RET_OK},
        {"odsm of 7 bytes", "odsm", box("mp4s", zeros(7)), BXF_RET_FORMAT},
        {"book data of 7 bytes", "BKDT", box("book", zeros(7)), BXF_RET_FORMAT},
        {"metadata of 7 bytes", "meta", box("metx", zeros(7)), BXF_RET_FORMAT},
        {"subtitle of 7 bytes", "subt", box("stpp", zeros(7)), BXF_RET_FORMAT},
        {"other handler, empty body", "hint", box("rtp "), BXF_RET_OK},
    };
    run(rows);
}

TEST(SampleEntries, EntryCountAndList) {
    const Bytes a = audio_entry("mp4a", 2, 16, 0), b = audio_entry("twos", 2, 16, 0);
    const Bytes too_short = box("sowt", zeros(27));
    struct ListRow {
        const char *name;
        Bytes entries;
        uint32_t count;
        uint32_t code;
        std::vector<const char *> types;
    } rows[] = {
        {"count larger than the entries present", cat({a, b}), 5, BXF_RET_OK, {"mp4a", "twos"}},
        {"count stops the walk", cat({a, b, too_short}), 2, BXF_RET_OK, {"mp4a", "twos"}},
        {"count 0", a, 0, BXF_RET_OK, {}},
        {"empty entries area", {}, 5, BXF_RET_OK, {}},
        {"7 trailing bytes ignored", cat({a, zeros(7)}), 5, BXF_RET_OK, {"mp4a"}},
        {"size 0 runs to the end", box_sized(0, "sowt", zeros(28)), 5, BXF_RET_OK, {"sowt"}},
        {"size past the area is clipped", box_sized(200, "sowt", zeros(28)), 5, BXF_RET_OK, {"sowt"}},
        {"an entry of size 4", cat({a, box_sized(4, "twos", zeros(28))}), 5, BXF_RET_FORMAT, {}},
        {"a bad later entry fails the whole list", cat({a, b, too_short}), 3, BXF_RET_FORMAT, {}},
    };
    for (const ListRow &r : rows) {
        SCOPED_TRACE(r.name);
        ParsedEntries p(r.entries, "soun", r.count);
        ASSERT_EQ(p.code, r.code);
        std::vector<uint32_t> got, want;
        for (const SampleEntry *e = p.d.head; e; e = e->next) got.push_back(e->entry_type);
        for (const char *t : r.types) want.push_back(fourcc_of(t));
        EXPECT_EQ(got, want);
        EXPECT_EQ(p.d.entry_count, want.size());
        EXPECT_EQ(p.d.tail ? p.d.tail->entry_type : 0, want.empty() ? 0 : want.back());
    }
}

TEST(SampleEntries, FixedFields) {
    const Row rows[] =
        {
            {"QuickTime audio version 1: four u32, then the children", "soun",
             audio_entry("in24", 2, 24, 48000u << 16,
                         cat({u32(1), u32(3), u32(6), u32(2), box("wave", box("enda", u16(1)))}), 1),
             BXF_RET_OK,
             [](const SampleEntry &e) {
                 EXPECT_EQ(e.audio.entry_version, 1);
                 const SoundDescription &qt = e.audio.quicktime;
                 EXPECT_EQ(qt.has_version1, 1u);
                 EXPECT_EQ(qt.bytes_per_packet, 3u);
                 EXPECT_EQ(qt.bytes_per_frame, 6u);
                 EXPECT_EQ(qt.has_enda, 1u);
                 EXPECT_EQ(qt.little_endian, 1u);
                 EXPECT_EQ(e.audio.children.offset, ParsedEntries::kEntriesOffset + 8 + 28 + 16);
                 EXPECT_EQ(e.audio.children.size, 18u);
             }},
            {"ISO audio version 1: a box right after the 28 bytes", "soun",
             audio_entry("mp4a", 2, 16, 48000u << 16, cat({full_box("srat", 0, 0, u32(96000)), zeros(8)}), 1),
             BXF_RET_OK,
             [](const SampleEntry &e) {
                 EXPECT_EQ(e.audio.quicktime.has_version1, 0u);
                 EXPECT_EQ(e.audio.srat, 96000u);
                 EXPECT_EQ(e.audio.children.offset, ParsedEntries::kEntriesOffset + 8 + 28);
             }},
            {"QuickTime audio version 2 with a channel layout", "soun",
             audio_entry("lpcm", 3, 16, 1u << 16,
                         cat({u32(72), u64(0x40F7700000000000u), u32(6), u32(0x7F000000), u32(24), u32(0xC), u32(18),
                              u32(1),
                              full_box("chan", 0, 0,
                                       cat({u32(0), u32(0), u32(3), u32(1), zeros(16), u32(2), zeros(16)}))}),
                         2),
             BXF_RET_OK,
             [](const SampleEntry &e) {
                 const SoundDescription &qt = e.audio.quicktime;
                 EXPECT_EQ(qt.has_version2, 1u);
                 EXPECT_EQ(qt.audio_sample_rate, 96000.0);
                 EXPECT_EQ(qt.audio_channels, 6u);
                 EXPECT_EQ(qt.bits_per_channel, 24u);
                 EXPECT_EQ(qt.format_flags, BXF_LPCM_FLAG_SIGNED | BXF_LPCM_FLAG_PACKED);
                 EXPECT_EQ(qt.bytes_per_audio_packet, 18u);
                 EXPECT_EQ(qt.frames_per_audio_packet, 1u);
                 EXPECT_EQ(qt.has_chan, 1u);
                 EXPECT_EQ(qt.layout_tag, BXF_CHAN_LAYOUT_USE_DESCRIPTIONS);
                 // Three descriptions announced, two held: two labels kept.
                 EXPECT_EQ(qt.label_count, 2u);
                 EXPECT_EQ(qt.labels[1], 2u);
                 EXPECT_EQ(e.audio.children.offset, ParsedEntries::kEntriesOffset + 8 + 28 + 36);
             }},
            {"metadata range after the data reference index", "meta", box("urim", cat({fields(2), zeros(5)})),
             BXF_RET_OK,
             [](const SampleEntry &e) {
                 EXPECT_EQ(e.meta_fields.offset, ParsedEntries::kEntriesOffset + 16);
                 EXPECT_EQ(e.meta_fields.size, 5u);
             }},
            {"graphics fields", "GRAP",
             box("grap", cat({fields(1), u16(1), u16(2), u16(3), u16(4), u32(5), u32(6), u16(7), u8(8), zeros(5),
                              box("3STP", text("lr"))})),
             BXF_RET_OK,
             [](const SampleEntry &e) {
                 EXPECT_EQ(e.graphics.head16[3], 4);
                 EXPECT_EQ(e.graphics.values32[1], 6u);
                 EXPECT_EQ(e.graphics.tail16, 7);
                 EXPECT_EQ(e.graphics.tail8, 8);
                 EXPECT_EQ(bytes_of(e.graphics.stereo_3stp), text("lr"));
             }},
            {"subtitle strings, the last unterminated", "subt",
             box("stpp", cat({fields(1), text("ns"), u8(0), u8(0), text("ttml")})), BXF_RET_OK,
             [](const SampleEntry &e) {
                 EXPECT_EQ(bytes_of(e.subtitle.namespace_uri), cat({text("ns"), u8(0)}));
                 EXPECT_EQ(bytes_of(e.subtitle.schema_location), u8(0)) << "an empty string keeps its terminator";
                 EXPECT_EQ(bytes_of(e.subtitle.auxiliary_mime_types), cat({text("ttml"), u8(0)}));
             }},
            {"subtitle without strings", "subt", box("stpp", fields(1)), BXF_RET_OK,
             [](const SampleEntry &e) { EXPECT_EQ(e.subtitle.namespace_uri.data, nullptr); }},
        };
    run(rows);
}

TEST(SampleEntries, ChildBoxes) {
    const Bytes tail_3dds = cat({vendor_uuid("3DDS"), text("3d")});
    const Row rows[] = {
        {"avcC then esds: the esds is ignored", "vide", visual_entry("avc1", 8, 8, cat({avcc_box(), esds_box()})),
         BXF_RET_OK,
         [](const SampleEntry &e) {
             EXPECT_EQ(e.kind, BXF_FORMAT_TYPE_AVC1);
             EXPECT_EQ(e.esds, nullptr);
         }},
        {"esds then avcC: the avcC is ignored", "vide", visual_entry("mp4v", 8, 8, cat({esds_box(), avcc_box()})),
         BXF_RET_OK,
         [](const SampleEntry &e) {
             EXPECT_EQ(e.kind, BXF_FORMAT_TYPE_MP4V);
             EXPECT_EQ(e.avcc, nullptr);
             EXPECT_NE(e.esds, nullptr);
         }},
        {"hvcC then avcC", "vide", visual_entry("hvc1", 8, 8, cat({hvcc_box(), avcc_box()})), BXF_RET_OK,
         [](const SampleEntry &e) {
             EXPECT_EQ(e.kind, BXF_FORMAT_TYPE_HVC1);
             EXPECT_EQ(e.avcc, nullptr);
         }},
        {"avcC in a sound entry is not read", "soun", audio_entry("mp4a", 2, 16, 0, box("avcC", zeros(2))),
         BXF_RET_OK, [](const SampleEntry &e) { EXPECT_EQ(e.avcc, nullptr); }},
        {"sinf in an object descriptor entry is not read", "odsm", box("mp4s", cat({fields(1), cenc_sinf()})),
         BXF_RET_OK, [](const SampleEntry &e) { EXPECT_EQ(e.sinf_count, 0u); }},
        {"metx: the sinf follows three strings", "meta",
         string_entry("metx", cat({u8(0), text("urn:x"), u8(0), u8(0)}), cenc_sinf()), BXF_RET_OK,
         [](const SampleEntry &e) { EXPECT_EQ(e.sinf_count, 1u); }},
        {"stpp: the btrt follows three strings", "subt",
         string_entry("stpp", cat({text("a"), u8(0), u8(0), u8(0)}), box("btrt", cat({u32(1), u32(2), u32(3)}))),
         BXF_RET_OK,
         [](const SampleEntry &e) {
             EXPECT_EQ(e.subtitle.has_btrt, 1u);
             EXPECT_EQ(e.subtitle.avg_bitrate, 3u);
         }},
        {"btrt of 11 bytes", "subt", string_entry("stpp", zeros(3), box("btrt", zeros(11))), BXF_RET_FORMAT},
        {"the first 3DDS uuid, after its extended type", "vide",
         visual_entry("avc1", 8, 8,
                      cat({uuid_box(vendor_uuid("PROF")), box("uuid", tail_3dds), uuid_box(vendor_uuid("3DDS"))})),
         BXF_RET_OK, [](const SampleEntry &e) { EXPECT_EQ(bytes_of(e.stereo_3d), text("3d")); }},
        {"uuid shorter than its extended type", "vide", visual_entry("avc1", 8, 8, box("uuid", zeros(15))),
         BXF_RET_FORMAT},
        {"esds version 1", "soun", audio_entry("mp4a", 2, 16, 0, full_box("esds", 1, 0)), BXF_RET_FORMAT},
        {"esds of 3 bytes", "soun", audio_entry("mp4a", 2, 16, 0, box("esds", zeros(3))), BXF_RET_FORMAT},
        {"srat", "soun", audio_entry("mp4a", 2, 16, 0, full_box("srat", 0, 0, u32(96000))), BXF_RET_OK,
         [](const SampleEntry &e) {
             EXPECT_EQ(e.audio.has_srat, 1u);
             EXPECT_EQ(e.audio.srat, 96000u);
         }},
        {"srat version 1", "soun", audio_entry("mp4a", 2, 16, 0, full_box("srat", 1, 0, u32(96000))), BXF_RET_FORMAT},
        {"dac3, dec3, ddts and fcfg", "soun",
         audio_entry("ac-3", 2, 16, 0,
                     cat({box("dac3", be(0x50E1E0, 3)), box("dec3", u16(0x0C01)),
                          box("ddts", cat({u32(48000), u32(1), u32(2), u8(24), u32(0x12345678), u16(0xABCD), u8(0)})),
                          box("fcfg", text("f"))})),
         BXF_RET_OK,
         [](const SampleEntry &e) {
             ASSERT_NE(e.dac3_info, nullptr);
             // 01 01000 011 100 0 01111 00000: fscod 1, bsid 8, bsmod 3, acmod 4, lfeon 0, rate code 15.
             EXPECT_EQ(e.dac3_info->fscod, 1);
             EXPECT_EQ(e.dac3_info->bsid, 8);
             EXPECT_EQ(e.dac3_info->bsmod, 3);
             EXPECT_EQ(e.dac3_info->acmod, 4);
             EXPECT_EQ(e.dac3_info->bit_rate_code, 15);
             ASSERT_NE(e.dec3_info, nullptr);
             EXPECT_EQ(e.dec3_info->data_rate, 0x0C01 >> 3);
             EXPECT_EQ(e.dec3_info->num_ind_sub, 1);
             ASSERT_NE(e.ddts_info, nullptr);
             EXPECT_EQ(e.ddts_info->pcm_sample_depth, 24);
             EXPECT_EQ(e.ddts_info->channel_layout, 0xABCD);
             ASSERT_NE(e.fcfg_info, nullptr);
             EXPECT_EQ(bytes_of(e.fcfg_info->bytes), text("f"));
         }},
        {"dac3 of 2 bytes", "soun", audio_entry("ac-3", 2, 16, 0, box("dac3", zeros(2))), BXF_RET_FORMAT},
        {"ddts of 19 bytes", "soun", audio_entry("dtsc", 2, 16, 0, box("ddts", zeros(19))), BXF_RET_FORMAT},
    };
    run(rows);
}

TEST(SampleEntries, SchemeInfo) {
    const Bytes cbcs_fields = cat({fourcc("cbcs"), u32(1)});
    const Row rows[] = {
        {"sinf with frma, schm and tenc; ranges as file offsets", "vide", encv(cat({avcc_box(), cenc_sinf()})),
         BXF_RET_OK,
         [](const SampleEntry &e) {
             ASSERT_EQ(e.sinf_count, 1u);
             const SinfRecord &s = *e.sinf_head;
             const uint64_t at = ParsedEntries::kEntriesOffset + 8 + 78 + 15;  // after the entry fields and avcC
             EXPECT_EQ(s.box.offset, at);
             EXPECT_EQ(s.body.offset, at + 8);
             EXPECT_EQ(s.body.size, s.box.size - 8);
             EXPECT_EQ(s.body_bytes.length, s.body.size);
             EXPECT_EQ(s.scheme.kind, BXF_SCHEME_INFO_PROTECTION);
             EXPECT_EQ(s.scheme.data_format, BXF_FOURCC('a', 'v', 'c', '1'));
             EXPECT_EQ(s.scheme.scheme_type, BXF_FOURCC('c', 'e', 'n', 'c'));
             EXPECT_EQ(s.scheme.scheme_version, 0x10000u);
             EXPECT_EQ(s.scheme.scheme_uri.data, nullptr);
             EXPECT_EQ(s.scheme.has_tenc, 1u);
             EXPECT_EQ(s.scheme.default_is_encrypted, 1u);
             EXPECT_EQ(s.scheme.default_iv_size, 8);
             EXPECT_EQ(Bytes(s.scheme.default_kid, s.scheme.default_kid + 16), Bytes(16, 0xA7));
         }},
        {"two sinf in order, first frma of each", "soun",
         audio_entry("enca", 2, 16, 0,
                     cat({cenc_sinf("mp4a"), sinf_box(cat({box("frma", fourcc("ac-3")), box("frma", fourcc("xxxx"))}))})),
         BXF_RET_OK,
         [](const SampleEntry &e) {
             ASSERT_EQ(e.sinf_count, 2u);
             EXPECT_EQ(e.sinf_head->scheme.data_format, BXF_FOURCC('m', 'p', '4', 'a'));
             EXPECT_EQ(e.sinf_tail->scheme.data_format, BXF_FOURCC('a', 'c', '-', '3'));
             EXPECT_EQ(e.sinf_tail->scheme.has_schm, 0u);
         }},
        {"schm URI", "vide", encv(sinf_box(full_box("schm", 0, 1, cat({cbcs_fields, text("urn:k")})))),
         BXF_RET_OK,
         [](const SampleEntry &e) {
             EXPECT_EQ(bytes_of(e.sinf_head->scheme.scheme_uri), cat({text("urn:k"), u8(0)}));
         }},
        {"schm empty URI keeps one byte", "vide", encv(sinf_box(full_box("schm", 0, 1, cat({cbcs_fields, u8(0)})))),
         BXF_RET_OK, [](const SampleEntry &e) { EXPECT_EQ(bytes_of(e.sinf_head->scheme.scheme_uri), u8(0)); }},
        {"schm URI, flag bit 0 clear", "vide", encv(sinf_box(full_box("schm", 0, 0, cat({cbcs_fields, text("urn")})))),
         BXF_RET_OK, [](const SampleEntry &e) { EXPECT_EQ(e.sinf_head->scheme.scheme_uri.length, 0u); }},
        {"rinf with stvi; a tenc there is not read", "vide",
         visual_entry("resv", 8, 8,
                      box("rinf", box("schi", cat({box("tenc", tenc_body(0)),
                                                   full_box("stvi", 0, 0, cat({u32(0xFFFFFFFE), u32(3), u32(2),
                                                                                u16(0x0102)}))})))),
         BXF_RET_OK,
         [](const SampleEntry &e) {
             ASSERT_NE(e.rinf, nullptr);
             EXPECT_EQ(e.rinf->kind, BXF_SCHEME_INFO_RESTRICTED);
             EXPECT_EQ(e.rinf->has_tenc, 0u);
             EXPECT_EQ(e.rinf->has_stvi, 1u);
             EXPECT_EQ(e.rinf->single_view_allowed, 2);
             EXPECT_EQ(e.rinf->stereo_scheme, 3u);
             EXPECT_EQ(bytes_of(e.rinf->stereo_indication_type), u16(0x0102));
         }},
        {"frma of 3 bytes", "vide", encv(sinf_box(box("frma", zeros(3)))), BXF_RET_FORMAT},
        {"schm of 11 bytes", "vide", encv(sinf_box(box("schm", zeros(11)))), BXF_RET_FORMAT},
        {"schm version 1", "vide", encv(sinf_box(full_box("schm", 1, 0, zeros(8)))), BXF_RET_FORMAT},
        {"tenc of 23 bytes", "vide", encv(sinf_box(box("schi", box("tenc", zeros(23))))), BXF_RET_FORMAT},
        {"tenc version 1 (cbcs): the block pattern and a constant IV", "vide",
         visual_entry("encv", 8, 8,
                      sinf_box(box("schi", box("tenc", cat({u32(1u << 24), u8(0), u8(0x19), u8(1), u8(0),
                                                           Bytes(16, 0xA7), u8(16), Bytes(16, 0x3C)}))))),
         BXF_RET_OK,
         [](const SampleEntry &e) {
             const SchemeInfo &s = e.sinf_head->scheme;
             EXPECT_EQ(s.tenc_version, 1);
             EXPECT_EQ(s.default_crypt_byte_block, 1);
             EXPECT_EQ(s.default_skip_byte_block, 9);
             EXPECT_EQ(s.default_is_encrypted, 1u);
             EXPECT_EQ(s.default_iv_size, 0);
             EXPECT_EQ(Bytes(s.default_kid, s.default_kid + 16), Bytes(16, 0xA7));
             ASSERT_EQ(s.default_constant_iv_size, 16);
             EXPECT_EQ(Bytes(s.default_constant_iv, s.default_constant_iv + 16), Bytes(16, 0x3C));
         }},
        {"tenc version 2", "vide", encv(sinf_box(box("schi", box("tenc", tenc_body(2))))), BXF_RET_FORMAT},
        {"stvi of 15 bytes", "vide", resv(box("rinf", box("schi", box("stvi", zeros(15))))), BXF_RET_FORMAT},
        {"stvi indication running past its box", "vide",
         resv(box("rinf", box("schi", full_box("stvi", 0, 0, cat({u32(0), u32(0), u32(3)}))))),
         BXF_RET_FORMAT},
    };
    run(rows);
}

// Every allocation of a rich parse fails in turn: each failure is
// BXF_RET_NOMEM with nothing kept and every byte given back.
TEST(SampleEntries, OutOfMemoryAtEveryStep) {
    const Bytes protection = cat({cenc_sinf(), sinf_box(full_box("schm", 0, 1, cat({u32(0), u32(0), text("u")})))});
    const struct {
        const char *handler;
        Bytes entries;
    } cases[] = {
        {"vide",
         cat({visual_entry(
                  "encv", 8, 8,
                  cat({box("avcC", cat({u8(1), u8(100), u8(0), u8(30), u8(0xFF), u8(0xE1), u16(2), u16(0x6742), u8(1),
                                        u16(1), u8(0x68), u8(0xFC), u8(0xF8), u8(0xF8), u8(1), u16(1), u8(0x6D)})),
                       protection,
                       box("rinf", box("schi", full_box("stvi", 0, 0, cat({u32(0), u32(0), u32(1), u8(1)})))),
                       uuid_box(vendor_uuid("3DDS"), text("x"))})),
              visual_entry("hvc1", 8, 8, box("hvcC", cat({zeros(22), u8(1), u8(0x20), u16(1), u16(1), u8(0x40)})))})},
        {"soun",
         audio_entry("enca", 2, 16, 0,
                     cat({full_box("esds", 0, 0,
                                   descriptor(3, cat({u16(1), u8(0),
                                                      descriptor(4, cat({zeros(13), descriptor(5, u16(0x1210))}))}))),
                          box("dac3", zeros(3)), box("dec3", zeros(2)), box("ddts", zeros(20)), box("fcfg", zeros(1)),
                          protection}))},
        {"subt", box("stpp", cat({fields(1), text("a"), u8(0), text("b"), u8(0), text("c"), u8(0), protection}))},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.handler);
        ParsedEntries probe(c.entries, c.handler);
        ASSERT_EQ(probe.code, BXF_RET_OK);
        uint32_t failures = 0;
        for (uint64_t budget = 1;; ++budget) {
            ParsedEntries p(c.entries, c.handler, 16, budget);
            if (p.code == BXF_RET_OK) break;
            ASSERT_EQ(p.code, BXF_RET_NOMEM) << "budget " << budget;
            ++failures;
        }
        EXPECT_GT(failures, 20u) << "the sweep reached the nested allocations";
    }
}

TEST(SampleEntries, ArgumentsAndFileErrors) {
    const Bytes entry = audio_entry("mp4a", 2, 16, 0);
    ParsedEntries p(entry, "soun");
    ASSERT_EQ(p.code, BXF_RET_OK);
    SampleDescriptions fresh{};
    const BoxRange range{ParsedEntries::kEntriesOffset, entry.size()};
    const uint32_t soun = fourcc_of("soun");
    EXPECT_EQ(bxf::parse_sample_descriptions(p.io(), range, soun, 1, nullptr), BXF_RET_ARGS);
    EXPECT_EQ(bxf::parse_sample_descriptions(bxf::Io{nullptr, &p.file}, range, soun, 1, &fresh), BXF_RET_ARGS);
    EXPECT_EQ(bxf::parse_sample_descriptions(p.io(), range, soun, 1, &p.d), BXF_RET_ARGS)
        << "a list already filled is not overwritten";
    EXPECT_EQ(p.d.entry_count, 1u);
    EXPECT_EQ(bxf::parse_sample_descriptions(p.io(), BoxRange{range.offset, range.size + 1}, soun, 1, &fresh),
              BXF_RET_FILE)
        << "entries past the end of the file";
    p.file.fail_reads = true;
    EXPECT_EQ(bxf::parse_sample_descriptions(p.io(), range, soun, 1, &fresh), BXF_RET_FILE);
    EXPECT_EQ(fresh.head, nullptr);
    bxf::release_sample_entries(p.inst, nullptr);
}

}  // namespace
