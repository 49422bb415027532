// Sample entries of real files made by ffmpeg (tests/media/make_corpus.sh),
// checked against what the encoder settings fix and against the parameter
// sets' and AudioSpecificConfig's own fields.
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "support/parsed_entries.h"
#include "support/stsd_locator.h"

using namespace boxw;

namespace {

Bytes read_corpus_file(const char *name) {
    const char *dir = std::getenv("BXF_CORPUS_DIR");
    if (!dir) {
        ADD_FAILURE() << "BXF_CORPUS_DIR is not set: run tests/media/make_corpus.sh DIR and point it there";
        return {};
    }
    std::ifstream in(std::string(dir) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot open " << dir << "/" << name;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// AudioSpecificConfig (ISO/IEC 14496-3 1.6.2.1): object type 5 bits,
// frequency index 4 bits, channel configuration 4 bits.
void expect_aac_lc_44100_stereo(const SampleEntry &e) {
    ASSERT_NE(e.esds, nullptr);
    EXPECT_EQ(e.esds->decoder_config.object_type_indication, BXF_ESDS_OBJECT_TYPE_AUDIO_MPEG4_AAC);
    EXPECT_EQ(e.esds->decoder_config.stream_type, BXF_ESDS_STREAM_TYPE_AUDIO);
    const Bytes asc = bytes_of(e.esds->decoder_specific_info);
    ASSERT_GE(asc.size(), 2u);
    EXPECT_EQ(asc[0] >> 3, 2) << "AAC LC";
    EXPECT_EQ(((asc[0] & 7) << 1) | (asc[1] >> 7), 4) << "44100 Hz";
    EXPECT_EQ((asc[1] >> 3) & 15, 2) << "two channels";
}

// The SPS repeats the profile and level that avcC announces.
void expect_avc_160x120(const SampleEntry &e) {
    EXPECT_EQ(e.visual.width, 160);
    EXPECT_EQ(e.visual.height, 120);
    ASSERT_NE(e.avcc, nullptr);
    ASSERT_EQ(e.avcc->sps.count, 1u);
    ASSERT_EQ(e.avcc->pps.count, 1u);
    const Bytes sps = bytes_of(e.avcc->sps.head), pps = bytes_of(e.avcc->pps.head);
    ASSERT_GE(sps.size(), 4u);
    EXPECT_EQ(sps[0] & 0x1F, 7);
    EXPECT_EQ(sps[1], e.avcc->avc_profile_indication);
    EXPECT_EQ(sps[3], e.avcc->avc_level_indication);
    ASSERT_FALSE(pps.empty());
    EXPECT_EQ(pps[0] & 0x1F, 8);
    EXPECT_EQ(e.avcc->length_size_minus_one, 3);
}

// The cenc corpus file's fixed key id and scheme.
void expect_cenc(const SampleEntry &e, uint32_t original_format) {
    const Bytes kid = {0xA7, 0xE6, 0x1C, 0x37, 0x3E, 0x21, 0x90, 0x33, 0xC2, 0x10, 0x91, 0xFA, 0x60, 0x7B, 0xF3, 0xB8};
    ASSERT_EQ(e.sinf_count, 1u);
    const SchemeInfo &s = e.sinf_head->scheme;
    EXPECT_EQ(s.data_format, original_format);
    EXPECT_EQ(s.scheme_type, BXF_FOURCC('c', 'e', 'n', 'c'));
    EXPECT_EQ(s.scheme_version, 0x10000u);
    EXPECT_EQ(s.has_tenc, 1u);
    EXPECT_EQ(s.default_is_encrypted, 1u);
    EXPECT_EQ(Bytes(s.default_kid, s.default_kid + 16), kid);
}

TEST(SampleEntriesCorpus, RealFiles) {
    struct Row {
        const char *file;
        uint32_t track;
        const char *handler;
        const char *type;
        uint32_t kind;
        void (*check)(const SampleEntry &);
    } rows[] = {
        {"h264_aac.mp4", 1, "vide", "avc1", BXF_FORMAT_TYPE_AVC1, expect_avc_160x120},
        {"h264_aac.mp4", 2, "soun", "mp4a", BXF_FORMAT_TYPE_MP4A, expect_aac_lc_44100_stereo},
        {"mpeg4v.mp4", 1, "vide", "mp4v", BXF_FORMAT_TYPE_MP4V,
         [](const SampleEntry &e) {
             ASSERT_NE(e.esds, nullptr);
             EXPECT_EQ(e.esds->decoder_config.object_type_indication, BXF_ESDS_OBJECT_TYPE_VISUAL_MPEG4);
             EXPECT_EQ(e.esds->decoder_config.stream_type, BXF_ESDS_STREAM_TYPE_VISUAL);
             const Bytes vos = bytes_of(e.esds->decoder_specific_info);
             ASSERT_GE(vos.size(), 4u);
             EXPECT_EQ(Bytes(vos.begin(), vos.begin() + 4), Bytes({0, 0, 1, 0xB0})) << "visual object sequence";
         }},
        {"h263_aac.3gp", 1, "vide", "s263", BXF_FORMAT_TYPE_MP4V,
         [](const SampleEntry &e) {
             EXPECT_EQ(e.visual.width, 176);
             EXPECT_EQ(e.esds, nullptr);
         }},
        {"twos16.mov", 2, "soun", "twos", BXF_FORMAT_TYPE_MP4A,
         [](const SampleEntry &e) {
             EXPECT_EQ(e.audio.channel_count, 2);
             EXPECT_EQ(e.audio.sample_size, 16);
             EXPECT_EQ(e.audio.sample_rate, 48000u << 16);
         }},
        {"twos24.mov", 1, "soun", "in24", BXF_FORMAT_TYPE_MP4A,
         [](const SampleEntry &e) {
             EXPECT_EQ(e.audio.entry_version, 1);
             EXPECT_EQ(e.audio.quicktime.has_version1, 1u);
             EXPECT_EQ(e.audio.quicktime.bytes_per_frame, 6u);
             EXPECT_EQ(e.audio.quicktime.has_enda, 1u);
             EXPECT_EQ(e.audio.channel_count, 2);
             EXPECT_EQ(e.audio.sample_rate, 48000u << 16);
         }},
        {"amrnb.3gp", 1, "soun", "samr", BXF_FORMAT_TYPE_MP4A,
         [](const SampleEntry &e) { EXPECT_EQ(e.audio.sample_rate, 8000u << 16); }},
        {"cenc.mp4", 1, "vide", "encv", BXF_FORMAT_TYPE_AVC1,
         [](const SampleEntry &e) {
             expect_avc_160x120(e);
             expect_cenc(e, BXF_FOURCC('a', 'v', 'c', '1'));
         }},
        {"cenc.mp4", 2, "soun", "enca", BXF_FORMAT_TYPE_MP4A,
         [](const SampleEntry &e) {
             expect_aac_lc_44100_stereo(e);
             expect_cenc(e, BXF_FOURCC('m', 'p', '4', 'a'));
         }},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(std::string(r.file) + " track " + std::to_string(r.track));
        ParsedEntries p(read_corpus_file(r.file));
        StsdLocation where{};
        ASSERT_EQ(locate_stsd(p.io(), r.track, &where), BXF_RET_OK);
        ASSERT_EQ(where.handler_type, fourcc_of(r.handler));
        ASSERT_EQ(where.entry_count, 1u);
        p.parse(where.entries, where.handler_type, where.entry_count);
        ASSERT_EQ(p.code, BXF_RET_OK);
        ASSERT_EQ(p.d.entry_count, 1u);
        EXPECT_EQ(p.first().entry_type, fourcc_of(r.type));
        EXPECT_EQ(p.first().kind, r.kind);
        r.check(p.first());
        // Kept ranges are file offsets: the audio children and every sinf
        // start inside the entry and name the right boxes.
        const Bytes &file = p.file.bytes;
        if (p.first().kind == BXF_FORMAT_TYPE_MP4A) {
            const SoundDescription &qt = p.first().audio.quicktime;
            const uint64_t extra = qt.has_version1 ? 16 : qt.has_version2 ? 36 : 0;
            EXPECT_EQ(p.first().audio.children.offset, where.entries.offset + 8 + 28 + extra);
        }
        for (const SinfRecord *s = p.first().sinf_head; s; s = s->next)
            EXPECT_EQ(Bytes(file.begin() + s->box.offset + 4, file.begin() + s->box.offset + 8), fourcc("sinf"));
    }
}

}  // namespace
