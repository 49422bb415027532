// The public queries on a movie's tracks and sample descriptions: every field
// of every record, read from boxes whose fields all hold different values
// laid out as ISO/IEC 14496-12 and 14496-15 define them, so that a field read
// from the wrong place or into the wrong member shows; which entry and which
// parameter set a query reads; the argument, state and kind checks; the
// copying rules and the release.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "bxf.h"
#include "support/opened_movie.h"
#include "support/track_writer.h"

using namespace boxw;

namespace {

using Fields = std::vector<uint64_t>;

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
    return full_box(
        "mdhd", 1, 0,
        cat({u64(0x4400000004ull), u64(0x5500000005ull), u32(90000), u64(0x6600000006ull), u16(0x95C7), u16(0)}));
}

Bytes esds(uint8_t stream_byte, const Bytes &decoder_specific_info) {
    const Bytes config = cat({Bytes{0x40, stream_byte}, be(0x1A2B3C, 3), u32(128000), u32(96000),
                              decoder_specific_info.empty() ? Bytes{} : descriptor(5, decoder_specific_info)});
    return full_box("esds", 0, 0, descriptor(3, cat({u16(1), u8(0), descriptor(4, config), descriptor(6, {2})})));
}

Bytes ps(const Bytes &set) { return cat({u16(uint16_t(set.size())), set}); }

// avc1: data reference index 3, 1920x1080, 72.16 x 96.32 dpi, two frames per
// sample, a compressor name, depth 0x18; a High-profile avcC with its
// chroma and bit-depth extension.
Bytes avc1_entry() {
    const Bytes name = cat({u8(12), text("kelo encoder"), zeros(19)});
    const Bytes avcc =
        box("avcC", cat({Bytes{1, 100, 0x08, 41, 0xFC | 1, 0xE0 | 2}, ps(kSps1), ps(kSps2), u8(3), ps(kPps1), ps(kPps2),
                         ps(kPps3), Bytes{0xFC | 2, 0xF8 | 3, 0xF8 | 4, 1}, ps(kSpsExt)}));
    return box("avc1", cat({zeros(6), u16(3), zeros(16), u16(1920), u16(1080), u32(0x00480010), u32(0x00600020), u32(0),
                            u16(2), name, u16(0x18), u16(0xFFFF), avcc}));
}

// mp4a: data reference index 5, six channels of 24 bits at 44100 + 0x1234/65536
// Hz, an esds whose DecoderConfigDescriptor sets the up-stream bit, and srat.
Bytes mp4a_entry() {
    return box("mp4a", cat({zeros(6), u16(5), u16(0), zeros(6), u16(6), u16(24), u32(0), u32(44100u << 16 | 0x1234),
                            esds(0x17, {0x11, 0x90, 0x56}), full_box("srat", 0, 0, u32(88200))}));
}

Bytes media(const char *handler, const Bytes &media_header, const Bytes &entries, uint32_t count) {
    return box("mdia", cat({mdhd_fields(), hdlr(handler, "Sound"), minf(media_header, stsd(entries, count))}));
}

// A video profile list in a top-level PROF box: one VPRF entry.
Bytes prof() {
    Bytes words;
    for (uint32_t w = 1; w <= 10; ++w) words = cat({words, u32(0x00010002u * w + (w << 24))});
    return uuid_box(vendor_uuid("PROF"), cat({u32(0), u32(1), full_box("VPRF", 0, 0, words)}));
}

// Track 1: avc1 then mp4v; track 2: mp4a, mp4a without a
// DecoderSpecificInfo, then sowt; track 3: no stsd.
Bytes movie() {
    const Bytes video = cat({avc1_entry(), visual_entry("mp4v", 320, 240, esds(0x11, {}))});
    const Bytes audio = cat({mp4a_entry(), audio_entry("mp4a", 1, 16, 44100u << 16, esds(0x15, {})),
                             audio_entry("sowt", 2, 16, 48000u << 16)});
    return cat(
        {ftyp(), prof(),
         box("moov",
             cat({mvhd(0, 1000),
                  box("trak", cat({tkhd_fields(), media("vide", full_box("vmhd", 0, 1, zeros(8)), video, 2)})),
                  box("trak", cat({tkhd(0, 2, 1000), media("soun", full_box("smhd", 0, 0, zeros(4)), audio, 3)})),
                  trak(3, "vide", 600, Bytes{})}))});
}

class Queries : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(m.code, BXF_RET_OK); }
    void TearDown() override {
        bxf_release_sample_descriptions(m.handle, video);
        bxf_release_sample_descriptions(m.handle, audio);
    }
    void open_both() {
        ASSERT_EQ(bxf_open_track(m.handle, 1), BXF_RET_OK);
        ASSERT_EQ(bxf_open_track(m.handle, 2), BXF_RET_OK);
        ASSERT_EQ(bxf_get_sample_descriptions(m.handle, 1, &video), BXF_RET_OK);
        ASSERT_EQ(bxf_get_sample_descriptions(m.handle, 2, &audio), BXF_RET_OK);
    }

    OpenedMovie m{movie()};
    SampleDescriptions *video = nullptr;
    SampleDescriptions *audio = nullptr;
};

TEST_F(Queries, TrackHeader) {
    TrackHeaderInfo th;
    ASSERT_EQ(bxf_get_track_header(m.handle, 1, &th), BXF_RET_OK);
    // The fields in box order, then the matrix.
    EXPECT_EQ((Fields{th.flags, th.creation_time, th.modification_time, th.track_id, th.duration, th.layer,
                      th.alternate_group, th.volume_integer, th.volume_fraction, th.width_integer, th.width_fraction,
                      th.height_integer, th.height_fraction}),
              (Fields{7, 0x1100000001, 0x2200000002, 7, 0x3300000003, 2, 3, 2, 0x40, 320, 0x80, 240, 0x40}));
    for (uint32_t i = 0; i < 9; ++i) EXPECT_EQ(th.matrix[i], 0x01010101u * (i + 1)) << "matrix " << i;
}

TEST_F(Queries, MediaHeaderAndHandler) {
    MediaHeaderInfo mh;
    ASSERT_EQ(bxf_get_media_header(m.handle, 1, &mh), BXF_RET_OK);
    EXPECT_EQ((Fields{mh.creation_time, mh.modification_time, mh.time_scale, mh.duration, mh.language}),
              (Fields{0x4400000004, 0x5500000005, 90000, 0x6600000006, BXF_LANG_ISO639_ENG}));

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

TEST_F(Queries, VideoProfile) {
    VideoProfileInfo p;
    ASSERT_EQ(bxf_get_video_profile(m.handle, 1, &p), BXF_RET_OK);
    auto word = [](uint32_t w) { return 0x00010002u * w + (w << 24); };
    const uint32_t whole[] = {p.word1, p.word2, p.word3, p.word4, p.word5, p.word6};
    for (uint32_t w = 1; w <= 6; ++w) EXPECT_EQ(whole[w - 1], word(w)) << "word " << w;
    // Words 7 to 10 as 16.16 fixed point.
    const uint16_t halves[][2] = {{p.word7_integer, p.word7_fraction},
                                  {p.word8_integer, p.word8_fraction},
                                  {p.word9_integer, p.word9_fraction},
                                  {p.word10_integer, p.word10_fraction}};
    for (uint32_t w = 7; w <= 10; ++w) {
        EXPECT_EQ(halves[w - 7][0], word(w) >> 16) << "word " << w;
        EXPECT_EQ(halves[w - 7][1], word(w) & 0xFFFF) << "word " << w;
    }
    EXPECT_EQ(bxf_get_video_profile(m.handle, 2, &p), BXF_RET_NOTFOUND) << "one entry only";
}

TEST_F(Queries, VisualEntry) {
    open_both();
    VisualEntryInfo v;
    ASSERT_EQ(bxf_get_visual_entry(m.handle, video, 1, &v), BXF_RET_OK);
    EXPECT_EQ((Fields{v.kind, v.entry_type, v.data_reference_index, v.width, v.height, v.horizresolution_integer,
                      v.horizresolution_fraction, v.vertresolution_integer, v.vertresolution_fraction, v.frame_count,
                      v.depth}),
              (Fields{BXF_FORMAT_TYPE_AVC1, BXF_FOURCC('a', 'v', 'c', '1'), 3, 1920, 1080, 72, 0x10, 96, 0x20, 2,
                      0x18}));
    // The name as stored: its length byte, its characters, then padding.
    EXPECT_EQ(Bytes(v.compressorname, v.compressorname + 14), cat({u8(12), text("kelo encoder"), u8(0)}));
    ASSERT_EQ(bxf_get_visual_entry(m.handle, video, 2, &v), BXF_RET_OK);
    EXPECT_EQ(v.kind, BXF_FORMAT_TYPE_MP4V);
    EXPECT_EQ(v.width, 320);
}

TEST_F(Queries, AvcConfig) {
    open_both();
    AvcConfigInfo a;
    ASSERT_EQ(bxf_get_avc_config(m.handle, video, 1, &a), BXF_RET_OK);
    // The fields in record order; the reserved bits around the length size are masked off.
    EXPECT_EQ((Fields{a.configuration_version, a.avc_profile_indication, a.profile_compatibility,
                      a.avc_level_indication, a.length_size_minus_one, a.sps_count, a.pps_count, a.has_extension,
                      a.chroma_format, a.bit_depth_luma_minus8, a.bit_depth_chroma_minus8, a.sps_ext_count}),
              (Fields{1, 100, 0x08, 41, 1, 2, 3, 1, 2, 3, 4, 1}));
}

TEST_F(Queries, AudioEntryAndDecoderConfig) {
    open_both();
    uint32_t count = 0;
    EXPECT_EQ(bxf_get_sample_description_count(m.handle, audio, &count), BXF_RET_OK);
    EXPECT_EQ(count, 3u);
    AudioEntryInfo a;
    ASSERT_EQ(bxf_get_audio_entry(m.handle, audio, 1, &a), BXF_RET_OK);
    EXPECT_EQ((Fields{a.kind, a.entry_type, a.data_reference_index, a.entry_version, a.channel_count, a.sample_size,
                      a.sample_rate_integer, a.sample_rate_fraction, a.has_sampling_rate_box}),
              (Fields{BXF_FORMAT_TYPE_MP4A, BXF_FOURCC('m', 'p', '4', 'a'), 5, 0, 6, 24, 44100, 0x1234, 1}));
    ASSERT_EQ(bxf_get_audio_entry(m.handle, audio, 3, &a), BXF_RET_OK);
    EXPECT_EQ(a.entry_type, BXF_FOURCC('s', 'o', 'w', 't'));
    EXPECT_EQ(a.has_sampling_rate_box, 0u);

    DecoderConfigInfo d;
    ASSERT_EQ(bxf_get_decoder_config(m.handle, audio, 1, &d), BXF_RET_OK);
    EXPECT_EQ((Fields{d.object_type_indication, d.stream_type, d.up_stream, d.buffer_size_db, d.max_bitrate,
                      d.avg_bitrate, d.decoder_specific_info_size}),
              (Fields{BXF_ESDS_OBJECT_TYPE_AUDIO_MPEG4_AAC, BXF_ESDS_STREAM_TYPE_AUDIO, 1, 0x1A2B3C, 128000, 96000,
                      3}));
    ASSERT_EQ(bxf_get_decoder_config(m.handle, audio, 2, &d), BXF_RET_OK);
    EXPECT_EQ(d.decoder_specific_info_size, 0u) << "no DecoderSpecificInfo";
    ASSERT_EQ(bxf_get_decoder_config(m.handle, video, 2, &d), BXF_RET_OK);
    EXPECT_EQ(d.stream_type, BXF_ESDS_STREAM_TYPE_VISUAL);
}

TEST_F(Queries, DescriptionsNeedAnOpenedTrackWithAnStsd) {
    SampleDescriptions *d = reinterpret_cast<SampleDescriptions *>(0x1);
    EXPECT_EQ(bxf_get_sample_descriptions(m.handle, 1, &d), BXF_RET_STATE);
    EXPECT_EQ(bxf_get_sample_descriptions(m.handle, 0, &d), BXF_RET_ARGS);
    EXPECT_EQ(bxf_get_sample_descriptions(m.handle, 4, &d), BXF_RET_NOTFOUND);
    ASSERT_EQ(bxf_open_track(m.handle, 3), BXF_RET_OK);
    EXPECT_EQ(bxf_get_sample_descriptions(m.handle, 3, &d), BXF_RET_NOTFOUND);
    EXPECT_EQ(d, reinterpret_cast<SampleDescriptions *>(0x1));
    EXPECT_EQ(bxf_release_sample_descriptions(nullptr, nullptr), BXF_RET_OK);
}

// Each query checks, in order: its arguments (a null result pointer, a set
// number of 0: BXF_RET_ARGS whatever the entry), that the entry exists, then
// its kind or its track's handler.
TEST_F(Queries, ArgumentsThenEntryThenKind) {
    open_both();
    const PlayHandle *h = m.handle;
    const SampleDescriptions *v = video, *a = audio;
    VisualEntryInfo visual;
    AudioEntryInfo sound;
    AvcConfigInfo avc;
    DecoderConfigInfo dc;
    uint32_t size = 0;
    uint8_t buffer[8];
    const struct {
        const char *name;
        uint32_t code, expected;
    } rows[] = {
        {"visual entry, null record, missing", bxf_get_visual_entry(h, v, 99, nullptr), BXF_RET_ARGS},
        {"visual entry, null record, audio track", bxf_get_visual_entry(h, a, 1, nullptr), BXF_RET_ARGS},
        {"audio entry, null record, missing", bxf_get_audio_entry(h, a, 99, nullptr), BXF_RET_ARGS},
        {"audio entry, null record, video track", bxf_get_audio_entry(h, v, 1, nullptr), BXF_RET_ARGS},
        {"esds size, null size, missing", bxf_get_esds_size(h, a, 99, nullptr), BXF_RET_ARGS},
        {"esds size, null size, avc1", bxf_get_esds_size(h, v, 1, nullptr), BXF_RET_ARGS},
        {"esds bytes, null buffer, avc1", bxf_get_esds_bytes(h, v, 1, 8, nullptr), BXF_RET_ARGS},
        {"decoder config, null record, missing", bxf_get_decoder_config(h, a, 99, nullptr), BXF_RET_ARGS},
        {"decoder config, null record, avc1", bxf_get_decoder_config(h, v, 1, nullptr), BXF_RET_ARGS},
        {"decoder config, null handle", bxf_get_decoder_config(nullptr, a, 1, &dc), BXF_RET_ARGS},
        {"avc config, null record, missing", bxf_get_avc_config(h, v, 99, nullptr), BXF_RET_ARGS},
        {"avc config, null record, mp4v", bxf_get_avc_config(h, v, 2, nullptr), BXF_RET_ARGS},
        {"sps size, null size, mp4v", bxf_get_avc_sps_size(h, v, 2, 1, nullptr), BXF_RET_ARGS},
        {"sps size, set 0, mp4v", bxf_get_avc_sps_size(h, v, 2, 0, &size), BXF_RET_ARGS},
        {"pps size, set 0, missing", bxf_get_avc_pps_size(h, v, 99, 0, &size), BXF_RET_ARGS},
        {"sps bytes, null buffer, mp4v", bxf_get_avc_sps(h, v, 2, 1, 8, nullptr), BXF_RET_ARGS},
        {"pps bytes, set 0, missing", bxf_get_avc_pps(h, v, 99, 0, 8, buffer), BXF_RET_ARGS},
        {"entry 0", bxf_get_visual_entry(h, v, 0, &visual), BXF_RET_ARGS},
        {"visual entry, missing", bxf_get_visual_entry(h, v, 99, &visual), BXF_RET_NOTFOUND},
        {"entry past the last", bxf_get_visual_entry(h, v, 3, &visual), BXF_RET_NOTFOUND},
        {"sps past the last", bxf_get_avc_sps_size(h, v, 1, 3, &size), BXF_RET_NOTFOUND},
        {"esds of a sowt entry", bxf_get_esds_size(h, a, 3, &size), BXF_RET_NOTFOUND},
        {"audio entry of a video track", bxf_get_audio_entry(h, v, 1, &sound), BXF_RET_STATE},
        {"visual entry of a sound track", bxf_get_visual_entry(h, a, 1, &visual), BXF_RET_STATE},
        {"avc config of an mp4v entry", bxf_get_avc_config(h, v, 2, &avc), BXF_RET_STATE},
        {"esds of an avc1 entry", bxf_get_esds_size(h, v, 1, &size), BXF_RET_STATE},
        {"sps of an mp4v entry", bxf_get_avc_sps_size(h, v, 2, 1, &size), BXF_RET_STATE},
        {"pps of an mp4v entry", bxf_get_avc_pps_size(h, v, 2, 1, &size), BXF_RET_STATE},
    };
    for (const auto &r : rows) EXPECT_EQ(r.code, r.expected) << r.name;
}

// The copies test the length first, then zero the whole buffer and copy to
// its start; the set number picks the parameter set.
TEST_F(Queries, CopyingQueries) {
    open_both();
    uint32_t size = 0;
    ASSERT_EQ(bxf_get_esds_size(m.handle, audio, 1, &size), BXF_RET_OK);
    std::vector<uint8_t> buffer(size + 4, 0xEE);
    EXPECT_EQ(bxf_get_esds_bytes(m.handle, audio, 1, size - 1, buffer.data()), BXF_RET_ARGS);
    EXPECT_EQ(buffer[0], 0xEE) << "a refused copy leaves the buffer alone";
    ASSERT_EQ(bxf_get_esds_bytes(m.handle, audio, 1, uint32_t(buffer.size()), buffer.data()), BXF_RET_OK);
    EXPECT_EQ(buffer[0], 0x03) << "the ES_Descriptor tag comes first";
    for (size_t i = size; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0) << "the tail is zero-filled";

    ASSERT_EQ(bxf_get_avc_sps_size(m.handle, video, 1, 2, &size), BXF_RET_OK);
    EXPECT_EQ(size, kSps2.size());
    uint8_t sps[8];
    std::memset(sps, 0xEE, sizeof sps);
    EXPECT_EQ(bxf_get_avc_sps(m.handle, video, 1, 1, 4, sps), BXF_RET_ARGS) << "the first SPS has 5 bytes";
    EXPECT_EQ(sps[0], 0xEE);
    ASSERT_EQ(bxf_get_avc_sps(m.handle, video, 1, 1, sizeof sps, sps), BXF_RET_OK);
    EXPECT_EQ(Bytes(sps, sps + 5), kSps1);
    EXPECT_EQ(sps[5], 0);
    uint8_t pps[4];
    ASSERT_EQ(bxf_get_avc_pps_size(m.handle, video, 1, 3, &size), BXF_RET_OK);
    EXPECT_EQ(size, kPps3.size());
    ASSERT_EQ(bxf_get_avc_pps(m.handle, video, 1, 3, sizeof pps, pps), BXF_RET_OK);
    EXPECT_EQ(Bytes(pps, pps + 4), kPps3);
}

TEST_F(Queries, ReleasingReturnsEveryBlock) {
    ASSERT_EQ(bxf_open_track(m.handle, 2), BXF_RET_OK);
    const uint64_t before = m.ledger.in_pool(BXF_POOL_GENERAL);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(bxf_get_sample_descriptions(m.handle, 2, &audio), BXF_RET_OK);
        EXPECT_GT(m.ledger.in_pool(BXF_POOL_GENERAL), before);
        bxf_release_sample_descriptions(m.handle, audio);
        audio = nullptr;
        EXPECT_EQ(m.ledger.in_pool(BXF_POOL_GENERAL), before);
    }
}

}  // namespace
