// Every field of every query record, read from boxes whose fields all hold
// different values laid out as ISO/IEC 14496-12 and 14496-15 define them, so
// that a field read from the wrong place or into the wrong member shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "bxf.h"
#include "support/opened_movie.h"
#include "support/track_writer.h"

using namespace boxw;

namespace {

const Bytes kSps1 = {0x67, 0x64, 0x00, 0x29, 0xAC}, kSps2 = {0x67, 0x64, 0x00, 0x28};
const Bytes kPps1 = {0x68, 0xEE}, kPps2 = {0x68, 0xEF, 0x01}, kPps3 = {0x68, 0xCE, 0x02, 0x03};
const Bytes kSpsExt = {0x6D, 0x10};

Bytes tkhd_fields() {
    Bytes matrix;
    for (uint32_t m = 1; m <= 9; ++m) matrix = cat({matrix, u32(0x01010101u * m)});
    return full_box("tkhd", 1, 0x000007,
                    cat({u64(0x1100000001ull), u64(0x2200000002ull), u32(7), u32(0), u64(0x3300000003ull), zeros(8),
                         u16(2), u16(3), u16(0x0240), u16(0), matrix, u32(0x01400080), u32(0x00F00040)}));
}

// The pad bit is set in the file and must not reach the record.
Bytes mdhd_fields() {
    return full_box("mdhd", 1, 0,
                    cat({u64(0x4400000004ull), u64(0x5500000005ull), u32(90000), u64(0x6600000006ull), u16(0x95C7), u16(0)}));
}

// avc1: data reference index 3, 1920x1080, 72.16 x 96.32 dpi, two frames per
// sample, a compressor name, depth 0x18; a High-profile avcC with its
// chroma and bit-depth extension.
Bytes avc1_entry() {
    Bytes name = zeros(32);
    const char kName[] = "kelo encoder";
    name[0] = uint8_t(sizeof kName - 1);
    std::copy(kName, kName + sizeof kName - 1, name.begin() + 1);
    const Bytes avcc = box("avcC", cat({Bytes{1, 100, 0x08, 41, 0xFC | 1, 0xE0 | 2}, u16(uint16_t(kSps1.size())), kSps1,
                                        u16(uint16_t(kSps2.size())), kSps2, u8(3), u16(uint16_t(kPps1.size())), kPps1,
                                        u16(uint16_t(kPps2.size())), kPps2, u16(uint16_t(kPps3.size())), kPps3,
                                        Bytes{0xFC | 2, 0xF8 | 3, 0xF8 | 4, 1}, u16(uint16_t(kSpsExt.size())), kSpsExt}));
    return box("avc1", cat({zeros(6), u16(3), zeros(16), u16(1920), u16(1080), u32(0x00480010), u32(0x00600020), u32(0),
                            u16(2), name, u16(0x18), u16(0xFFFF), avcc}));
}

// mp4a: data reference index 5, six channels of 24 bits at 44100 + 0x1234/65536
// Hz, an esds whose DecoderConfigDescriptor sets the up-stream bit, and srat.
Bytes mp4a_entry() {
    const Bytes config = cat({Bytes{0x40, 0x17}, be(0x1800, 3), u32(128000), u32(96000), descriptor(5, {0x11, 0x90, 0x56})});
    const Bytes esds = full_box("esds", 0, 0, descriptor(3, cat({u16(1), u8(0), descriptor(4, config), descriptor(6, {2})})));
    return box("mp4a", cat({zeros(6), u16(5), u16(0), zeros(6), u16(6), u16(24), u32(0), u32(44100u << 16 | 0x1234),
                            esds, full_box("srat", 0, 0, u32(88200))}));
}

Bytes media(const char *handler, const Bytes &media_header, const Bytes &entry) {
    return box("mdia", cat({mdhd_fields(), hdlr(handler, "Sound"), minf(media_header, stsd(entry, 1))}));
}

// A video profile list in a top-level PROF box: one VPRF entry.
Bytes prof() {
    Bytes words;
    for (uint32_t w = 1; w <= 10; ++w) words = cat({words, u32(0x00010002u * w + (w << 24))});
    return uuid_box(vendor_uuid("PROF"), cat({u32(0), u32(1), full_box("VPRF", 0, 0, words)}));
}

Bytes movie() {
    return cat({ftyp(), prof(),
                box("moov", cat({mvhd(0, 1000), box("trak", cat({tkhd_fields(), media("vide", full_box("vmhd", 0, 1, zeros(8)), avc1_entry())})),
                                 box("trak", cat({tkhd(0, 2, 1000), media("soun", full_box("smhd", 0, 0, zeros(4)), mp4a_entry())}))}))});
}

TEST(QueryRecords, TrackHeader) {
    OpenedMovie m(movie());
    ASSERT_EQ(m.code, BXF_RET_OK);
    TrackHeaderInfo th;
    ASSERT_EQ(bxf_get_track_header(m.handle, 1, &th), BXF_RET_OK);
    EXPECT_EQ(th.flags, 7u);
    EXPECT_EQ(th.creation_time, 0x1100000001ull);
    EXPECT_EQ(th.modification_time, 0x2200000002ull);
    EXPECT_EQ(th.track_id, 7u);
    EXPECT_EQ(th.duration, 0x3300000003ull);
    EXPECT_EQ(th.layer, 2);
    EXPECT_EQ(th.alternate_group, 3);
    EXPECT_EQ(th.volume_integer, 2);
    EXPECT_EQ(th.volume_fraction, 0x40);
    for (uint32_t i = 0; i < 9; ++i) EXPECT_EQ(th.matrix[i], 0x01010101u * (i + 1)) << "matrix " << i;
    EXPECT_EQ(th.width_integer, 320);
    EXPECT_EQ(th.width_fraction, 0x80);
    EXPECT_EQ(th.height_integer, 240);
    EXPECT_EQ(th.height_fraction, 0x40);
}

TEST(QueryRecords, MediaHeaderAndHandler) {
    OpenedMovie m(movie());
    ASSERT_EQ(m.code, BXF_RET_OK);
    MediaHeaderInfo mh;
    ASSERT_EQ(bxf_get_media_header(m.handle, 1, &mh), BXF_RET_OK);
    EXPECT_EQ(mh.creation_time, 0x4400000004ull);
    EXPECT_EQ(mh.modification_time, 0x5500000005ull);
    EXPECT_EQ(mh.time_scale, 90000u);
    EXPECT_EQ(mh.duration, 0x6600000006ull);
    EXPECT_EQ(mh.language, BXF_LANG_ISO639_ENG);

    HandlerInfo h;
    ASSERT_EQ(bxf_get_handler(m.handle, 2, &h), BXF_RET_OK);
    EXPECT_EQ(h.handler_type, BXF_HDLR_MEDIA_SOUND);
    // The name lies where its bytes are in the file (the first "Sound" is
    // track 1's), with its terminator.
    const Bytes name = text("Sound");
    const auto first = std::search(m.file.bytes.begin(), m.file.bytes.end(), name.begin(), name.end());
    const auto second = std::search(first + 1, m.file.bytes.end(), name.begin(), name.end());
    ASSERT_NE(second, m.file.bytes.end());
    EXPECT_EQ(h.handler_name.offset, uint64_t(second - m.file.bytes.begin()));
    EXPECT_EQ(h.handler_name.size, 6u);
}

TEST(QueryRecords, VideoProfile) {
    OpenedMovie m(movie());
    ASSERT_EQ(m.code, BXF_RET_OK);
    VideoProfileInfo p;
    ASSERT_EQ(bxf_get_video_profile(m.handle, 1, &p), BXF_RET_OK);
    auto word = [](uint32_t w) { return 0x00010002u * w + (w << 24); };
    EXPECT_EQ(p.word1, word(1));
    EXPECT_EQ(p.word2, word(2));
    EXPECT_EQ(p.word3, word(3));
    EXPECT_EQ(p.word4, word(4));
    EXPECT_EQ(p.word5, word(5));
    EXPECT_EQ(p.word6, word(6));
    EXPECT_EQ(p.word7_integer, word(7) >> 16);
    EXPECT_EQ(p.word7_fraction, word(7) & 0xFFFF);
    EXPECT_EQ(p.word8_integer, word(8) >> 16);
    EXPECT_EQ(p.word8_fraction, word(8) & 0xFFFF);
    EXPECT_EQ(p.word9_integer, word(9) >> 16);
    EXPECT_EQ(p.word9_fraction, word(9) & 0xFFFF);
    EXPECT_EQ(p.word10_integer, word(10) >> 16);
    EXPECT_EQ(p.word10_fraction, word(10) & 0xFFFF);
    EXPECT_EQ(bxf_get_video_profile(m.handle, 2, &p), BXF_RET_NOTFOUND) << "one entry only";
}

class EntryRecords : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(m.code, BXF_RET_OK);
        ASSERT_EQ(m.open_tracks(), BXF_RET_OK);
        ASSERT_EQ(bxf_get_sample_descriptions(m.handle, 1, &video), BXF_RET_OK);
        ASSERT_EQ(bxf_get_sample_descriptions(m.handle, 2, &audio), BXF_RET_OK);
    }
    void TearDown() override {
        bxf_release_sample_descriptions(m.handle, video);
        bxf_release_sample_descriptions(m.handle, audio);
    }
    OpenedMovie m{movie()};
    SampleDescriptions *video = nullptr;
    SampleDescriptions *audio = nullptr;
};

TEST_F(EntryRecords, Visual) {
    VisualEntryInfo v;
    ASSERT_EQ(bxf_get_visual_entry(m.handle, video, 1, &v), BXF_RET_OK);
    EXPECT_EQ(v.kind, BXF_FORMAT_TYPE_AVC1);
    EXPECT_EQ(v.entry_type, BXF_FOURCC('a', 'v', 'c', '1'));
    EXPECT_EQ(v.data_reference_index, 3u);
    EXPECT_EQ(v.width, 1920);
    EXPECT_EQ(v.height, 1080);
    EXPECT_EQ(v.horizresolution_integer, 72);
    EXPECT_EQ(v.horizresolution_fraction, 0x10);
    EXPECT_EQ(v.vertresolution_integer, 96);
    EXPECT_EQ(v.vertresolution_fraction, 0x20);
    EXPECT_EQ(v.frame_count, 2);
    EXPECT_EQ(v.compressorname[0], 12) << "the name's length byte";
    EXPECT_EQ(std::memcmp(v.compressorname + 1, "kelo encoder", 12), 0);
    EXPECT_EQ(v.compressorname[13], 0);
    EXPECT_EQ(v.depth, 0x18);
}

TEST_F(EntryRecords, AvcConfig) {
    AvcConfigInfo a;
    ASSERT_EQ(bxf_get_avc_config(m.handle, video, 1, &a), BXF_RET_OK);
    EXPECT_EQ(a.configuration_version, 1);
    EXPECT_EQ(a.avc_profile_indication, 100);
    EXPECT_EQ(a.profile_compatibility, 0x08);
    EXPECT_EQ(a.avc_level_indication, 41);
    EXPECT_EQ(a.length_size_minus_one, 1);
    EXPECT_EQ(a.sps_count, 2u);
    EXPECT_EQ(a.pps_count, 3u);
    EXPECT_EQ(a.has_extension, 1u);
    EXPECT_EQ(a.chroma_format, 2);
    EXPECT_EQ(a.bit_depth_luma_minus8, 3);
    EXPECT_EQ(a.bit_depth_chroma_minus8, 4);
    EXPECT_EQ(a.sps_ext_count, 1u);
}

TEST_F(EntryRecords, AudioAndDecoderConfig) {
    AudioEntryInfo a;
    ASSERT_EQ(bxf_get_audio_entry(m.handle, audio, 1, &a), BXF_RET_OK);
    EXPECT_EQ(a.kind, BXF_FORMAT_TYPE_MP4A);
    EXPECT_EQ(a.entry_type, BXF_FOURCC('m', 'p', '4', 'a'));
    EXPECT_EQ(a.data_reference_index, 5u);
    EXPECT_EQ(a.entry_version, 0);
    EXPECT_EQ(a.channel_count, 6);
    EXPECT_EQ(a.sample_size, 24);
    EXPECT_EQ(a.sample_rate_integer, 44100);
    EXPECT_EQ(a.sample_rate_fraction, 0x1234);
    EXPECT_EQ(a.has_sampling_rate_box, 1u);

    DecoderConfigInfo d;
    ASSERT_EQ(bxf_get_decoder_config(m.handle, audio, 1, &d), BXF_RET_OK);
    EXPECT_EQ(d.object_type_indication, BXF_ESDS_OBJECT_TYPE_AUDIO_MPEG4_AAC);
    EXPECT_EQ(d.stream_type, BXF_ESDS_STREAM_TYPE_AUDIO);
    EXPECT_EQ(d.up_stream, 1);
    EXPECT_EQ(d.buffer_size_db, 0x1800u);
    EXPECT_EQ(d.max_bitrate, 128000u);
    EXPECT_EQ(d.avg_bitrate, 96000u);
    EXPECT_EQ(d.decoder_specific_info_size, 3u);
}

}  // namespace
