// Decoder configurations inside sample entries: esds with its descriptor
// walk, avcC with its parameter sets and high-profile fields, hvcC arrays.
#include "support/parsed_entries.h"

using namespace boxw;

namespace {

Bytes es_descriptor(const Bytes &inner, uint8_t flags = 0, const Bytes &optional = {}) {
    return descriptor(3, cat({u16(1), u8(flags), optional, inner}));
}
Bytes decoder_config(uint8_t stream_byte, const Bytes &inner = {}) {
    return descriptor(4, cat({u8(0x40), u8(stream_byte), be(0x1800, 3), u32(128000), u32(64000), inner}));
}
Bytes dsi(const Bytes &b) { return descriptor(5, b); }
Bytes ps(const Bytes &b) { return cat({u16(uint16_t(b.size())), b}); }

// Rows hold the descriptors of an esds (version 0, flags 0) in an mp4a entry.
TEST(Esds, DescriptorWalk) {
    const Bytes aac = u16(0x1210), sl = descriptor(6, u8(2));
    struct Row {
        const char *name;
        Bytes descriptors;
        uint32_t code;
        uint32_t has_decoder_config = 0;
        Bytes decoder_specific_info = {};
    } rows[] = {
        {"AAC with DecoderSpecificInfo", cat({es_descriptor(decoder_config(0x15, dsi(aac))), sl}), BXF_RET_OK, 1, aac},
        {"DecoderSpecificInfo absent", es_descriptor(cat({decoder_config(0x11), sl})), BXF_RET_OK, 1},
        {"DecoderConfigDescriptor absent", es_descriptor(sl), BXF_RET_OK, 0},
        {"ES_Descriptor after another tag", cat({sl, es_descriptor(decoder_config(0x15, dsi(aac)))}), BXF_RET_OK, 1,
         aac},
        {"the first DecoderSpecificInfo", es_descriptor(decoder_config(0x15, cat({dsi(aac), dsi(u8(9))}))), BXF_RET_OK,
         1, aac},
        {"four-byte descriptor sizes",
         descriptor(
             3, cat({u16(1), u8(0), descriptor(4, cat({u8(0x40), u8(0x15), zeros(11), descriptor(5, aac, 4)}), 4)}), 4),
         BXF_RET_OK, 1, aac},
        {"dependsOn, URL and OCR fields",
         es_descriptor(decoder_config(0x15, dsi(aac)), 0xE0, cat({u16(2), u8(3), text("a:b"), u16(4)})), BXF_RET_OK, 1,
         aac},
        {"URL running past the descriptor", es_descriptor({}, 0x40, cat({u8(50), text("a:b")})), BXF_RET_FORMAT},
        {"OCR field missing", es_descriptor({}, 0x20, u8(1)), BXF_RET_FORMAT},
        {"DecoderConfigDescriptor of 12 bytes", es_descriptor(descriptor(4, zeros(12))), BXF_RET_FORMAT},
        {"ES_Descriptor of 2 bytes", descriptor(3, u16(1)), BXF_RET_FORMAT},
        {"descriptor size of five bytes", cat({u8(3), Bytes(5, 0x80), zeros(4)}), BXF_RET_FORMAT},
        {"no descriptors", {}, BXF_RET_OK, 0},
        // Lengths past the box: each is clipped to the box, the complete
        // descriptors inside are kept.
        {"DecoderConfigDescriptor longer than the box",
         es_descriptor(cat({u8(4), u8(0x60), u8(0x40), u8(0x15), zeros(11), dsi(aac), sl})), BXF_RET_OK, 1, aac},
        {"both lengths past the box, four size bytes",
         cat({u8(3), Bytes{0x80, 0x80, 0x81, 0x00}, u16(1), u8(0), u8(4), Bytes{0x80, 0x80, 0x80, 0x7F}, u8(0x40),
              u8(0x15), zeros(11), dsi(aac)}),
         BXF_RET_OK, 1, aac},
        {"DecoderSpecificInfo cut by the box end",
         es_descriptor(cat({u8(4), u8(0x60), u8(0x40), u8(0x15), zeros(11), u8(5), u8(9), aac})), BXF_RET_OK, 1},
        {"a descriptor header cut by the box end",
         cat({es_descriptor(decoder_config(0x15, dsi(aac))), Bytes{6, 0x80, 0x80}}), BXF_RET_OK, 1, aac},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        ParsedEntries p(audio_entry("mp4a", 2, 16, 0, full_box("esds", 0, 0, r.descriptors)), "soun");
        ASSERT_EQ(p.code, r.code);
        if (r.code != BXF_RET_OK) continue;
        const EsdsRecord *e = p.first().esds;
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(bytes_of(e->descriptors), r.descriptors) << "all after version/flags";
        EXPECT_EQ(e->has_decoder_config, r.has_decoder_config);
        EXPECT_EQ(bytes_of(e->decoder_specific_info), r.decoder_specific_info);
    }
}

Bytes avcc(uint8_t profile, uint8_t sps_byte, const Bytes &rest) {
    return box("avcC", cat({u8(1), u8(profile), u8(0xC0), u8(30), u8(0xFF), u8(sps_byte), rest}));
}

TEST(AvcConfig, ParameterSetsAndExtension) {
    const Bytes sps = {0x67, 0x42, 0xC0, 0x1E}, pps = {0x68, 0xCE}, ext = {0x6D, 1};
    // One SPS and one PPS; the chroma and bit-depth bytes of the high profiles.
    const Bytes sets = cat({ps(sps), u8(1), ps(pps)}), high = {0xFD, 0xF9, 0xFA};
    struct Row {
        const char *name;
        Bytes avcc;
        uint32_t code;
        uint32_t sps_count = 0, pps_count = 0, has_extension = 0, ext_count = 0;
    } rows[] = {
        {"profile 66 with 4 trailing bytes", avcc(66, 0xE1, cat({sets, high, u8(0)})), BXF_RET_OK, 1, 1},
        {"profile 100 ending after the PPS", avcc(100, 0xE1, sets), BXF_RET_OK, 1, 1},
        {"profile 100 with extension", avcc(100, 0xE1, cat({sets, high, u8(1), ps(ext)})), BXF_RET_OK, 1, 1, 1, 1},
        {"profile 100 with 3 trailing bytes", avcc(100, 0xE1, cat({sets, high})), BXF_RET_OK, 1, 1},
        {"profile 144, extension without sets", avcc(144, 0xE0, cat({u8(0), u8(0xFE), u8(0xF8), u8(0xF8), u8(0)})),
         BXF_RET_OK, 0, 0, 1},
        {"SPS data end early: the PPS count follows", avcc(66, 0xE3, cat({ps(sps), u8(0)})), BXF_RET_OK, 1},
        {"PPS count beyond the sets present", avcc(66, 0xE1, cat({ps(sps), u8(3), ps(pps), u8(0)})), BXF_RET_OK, 1, 1},
        {"no byte left for the PPS count", avcc(66, 0xE1, ps(sps)), BXF_RET_FORMAT},
        {"SPS length past the body", avcc(66, 0xE1, cat({u16(10), sps})), BXF_RET_FORMAT},
        {"extension length past the body", avcc(100, 0xE0, cat({u8(0), high, u8(1), u16(3), u8(1)})), BXF_RET_FORMAT},
        {"body of 5 bytes", box("avcC", zeros(5)), BXF_RET_FORMAT},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        ParsedEntries p(visual_entry("avc1", 8, 8, r.avcc), "vide");
        ASSERT_EQ(p.code, r.code);
        if (r.code != BXF_RET_OK) continue;
        const AvcConfig *a = p.first().avcc;
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->sps.count, r.sps_count);
        EXPECT_EQ(a->pps.count, r.pps_count);
        EXPECT_EQ(a->has_extension, r.has_extension);
        EXPECT_EQ(a->sps_ext.count, r.ext_count);
        EXPECT_EQ(bytes_of(a->sps.head), r.sps_count ? sps : Bytes{});
        EXPECT_EQ(bytes_of(a->pps.tail), r.pps_count ? pps : Bytes{});
        EXPECT_EQ(bytes_of(a->sps_ext.head), r.ext_count ? ext : Bytes{});
    }
}

Bytes hvcc(uint8_t arrays, const Bytes &rest) {
    return box("hvcC", cat({u8(1), u8(0x62), u32(0x60000000), u16(0x9000), u32(0x00000001), u8(93), u16(0xF123),
                            u8(0xFD), u8(0xFD), u8(0xFC), u8(0xFE), u16(25), u8(0x9F), u8(arrays), rest}));
}

TEST(HevcConfig, FixedFields) {
    ParsedEntries p(visual_entry("hvc1", 8, 8, hvcc(0, {})), "vide");
    ASSERT_EQ(p.code, BXF_RET_OK);
    ASSERT_NE(p.first().hvcc, nullptr);
    const HevcConfig &h = *p.first().hvcc;
    // The fields in record order; min_spatial_segmentation_idc is kept with
    // its reserved bits.
    using Fields = std::vector<uint64_t>;
    EXPECT_EQ((Fields{h.configuration_version, h.general_profile_space, h.general_tier_flag, h.general_profile_idc,
                      h.general_profile_compatibility_flags, h.general_constraint_indicator_flags, h.general_level_idc,
                      h.min_spatial_segmentation_idc, h.parallelism_type, h.chroma_format, h.bit_depth_luma_minus8,
                      h.bit_depth_chroma_minus8, h.avg_frame_rate, h.constant_frame_rate, h.num_temporal_layers,
                      h.temporal_id_nested, h.length_size_minus_one}),
              (Fields{1, 1, 1, 2, 0x60000000, 0x900000000001, 93, 0xF123, 1, 1, 4, 6, 25, 2, 3, 1, 3}));
}

TEST(HevcConfig, Arrays) {
    const Bytes vps = {0x40, 0x01}, sps = {0x42, 0x01, 0x01};
    const Bytes vps_array = cat({u8(0xA0), u16(1), ps(vps)}), sps_array = cat({u8(0x21), u16(2), ps(sps), ps(u8(7))});
    struct Row {
        const char *name;
        Bytes hvcc;
        uint32_t code;
        std::vector<uint32_t> units_per_array;
    } rows[] = {
        {"two arrays", hvcc(2, cat({vps_array, sps_array})), BXF_RET_OK, {1, 2}},
        {"array count beyond the arrays present", hvcc(3, cat({vps_array, sps_array})), BXF_RET_OK, {1, 2}},
        {"2 bytes where an array is due", hvcc(2, cat({vps_array, u16(0)})), BXF_RET_OK, {1}},
        {"unit count beyond the units present", hvcc(1, cat({u8(0xA0), u16(5), ps(vps)})), BXF_RET_OK, {1}},
        {"unit length past the body", hvcc(1, cat({u8(0x21), u16(1), u16(9), sps})), BXF_RET_FORMAT, {}},
        {"body of 22 bytes", box("hvcC", zeros(22)), BXF_RET_FORMAT, {}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        ParsedEntries p(visual_entry("hvc1", 8, 8, r.hvcc), "vide");
        ASSERT_EQ(p.code, r.code);
        if (r.code != BXF_RET_OK) continue;
        const HevcConfig &h = *p.first().hvcc;
        std::vector<uint32_t> units;
        for (const NalArray *a = h.arrays_head; a; a = a->next) units.push_back(a->nal_units.count);
        EXPECT_EQ(units, r.units_per_array);
        EXPECT_EQ(h.array_count, units.size());
        EXPECT_EQ(h.arrays_head->array_completeness, 1);
        EXPECT_EQ(h.arrays_head->nal_unit_type, 32);
        EXPECT_EQ(bytes_of(h.arrays_head->nal_units.head), vps);
    }
}

}  // namespace
