// The queries on sample descriptions: state and kind checks, the copying
// rules, and the records they fill.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "bxf.h"
#include "support/memory_file.h"
#include "support/opened_movie.h"
#include "support/track_writer.h"

using namespace boxw;

namespace {

const Bytes kSps = {0x67, 0x64, 0x00, 0x1F, 0xAC};
const Bytes kPps = {0x68, 0xEE, 0x3C};
const Bytes kAudioSpecificConfig = {0x12, 0x10};

Bytes avcc() { return box("avcC", cat({Bytes{1, 66, 0xC0, 30, 0xFF, 0xE1}, u16(5), kSps, u8(1), u16(3), kPps})); }
Bytes esds(const Bytes &decoder_specific_info) {
    const Bytes config = cat({Bytes{0x40, 0x15}, be(0x1800, 3), u32(128000), u32(96000),
                              decoder_specific_info.empty() ? Bytes{} : descriptor(5, decoder_specific_info)});
    return full_box("esds", 0, 0, descriptor(3, cat({u16(1), u8(0), descriptor(4, config), descriptor(6, {2})})));
}

// Track 1: avc1 then mp4v; track 2: mp4a with a DecoderSpecificInfo, one
// without, then sowt; track 3: no stsd.
Bytes movie() {
    const Bytes video = stsd(cat({visual_entry("avc1", 640, 360, avcc()), visual_entry("mp4v", 320, 240, esds({}))}), 2);
    const Bytes audio = stsd(cat({audio_entry("mp4a", 2, 16, 48000u << 16, esds(kAudioSpecificConfig)),
                                  audio_entry("mp4a", 1, 16, 44100u << 16, esds({})),
                                  audio_entry("sowt", 2, 16, 48000u << 16, full_box("srat", 0, 0, u32(96000)))}),
                             3);
    return cat({ftyp(), box("moov", cat({mvhd(0, 1000), trak(1, "vide", 600, video), trak(2, "soun", 48000, audio),
                                         trak(3, "vide", 600, Bytes{})}))});
}

class Queries : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(m.code, BXF_RET_OK); }
    void TearDown() override {
        bxf_release_sample_descriptions(handle, video);
        bxf_release_sample_descriptions(handle, audio);
    }
    void open_both() {
        ASSERT_EQ(bxf_open_track(handle, 1), BXF_RET_OK);
        ASSERT_EQ(bxf_open_track(handle, 2), BXF_RET_OK);
        ASSERT_EQ(bxf_get_sample_descriptions(handle, 1, &video), BXF_RET_OK);
        ASSERT_EQ(bxf_get_sample_descriptions(handle, 2, &audio), BXF_RET_OK);
    }

    OpenedMovie m{movie()};
    LibraryInstance *inst = m.inst;
    PlayHandle *handle = m.handle;
    SampleDescriptions *video = nullptr;
    SampleDescriptions *audio = nullptr;
};

TEST_F(Queries, DescriptionsNeedAnOpenedTrackWithAnStsd) {
    SampleDescriptions *d = reinterpret_cast<SampleDescriptions *>(0x1);
    EXPECT_EQ(bxf_get_sample_descriptions(handle, 1, &d), BXF_RET_STATE);
    EXPECT_EQ(bxf_get_sample_descriptions(handle, 0, &d), BXF_RET_ARGS);
    EXPECT_EQ(bxf_get_sample_descriptions(handle, 4, &d), BXF_RET_NOTFOUND);
    ASSERT_EQ(bxf_open_track(handle, 3), BXF_RET_OK);
    EXPECT_EQ(bxf_get_sample_descriptions(handle, 3, &d), BXF_RET_NOTFOUND);
    EXPECT_EQ(d, reinterpret_cast<SampleDescriptions *>(0x1));
    EXPECT_EQ(bxf_release_sample_descriptions(nullptr, nullptr), BXF_RET_OK);
}

TEST_F(Queries, KindAndHandlerChecks) {
    open_both();
    VisualEntryInfo v;
    AudioEntryInfo a;
    AvcConfigInfo avc;
    DecoderConfigInfo dc;
    uint32_t size = 0;
    struct Row {
        const char *name;
        uint32_t code, expected;
    } rows[] = {
        {"audio entry of a video track", bxf_get_audio_entry(handle, video, 1, &a), BXF_RET_STATE},
        {"visual entry of a sound track", bxf_get_visual_entry(handle, audio, 1, &v), BXF_RET_STATE},
        {"avc config of an mp4v entry", bxf_get_avc_config(handle, video, 2, &avc), BXF_RET_STATE},
        {"esds of an avc1 entry", bxf_get_esds_size(handle, video, 1, &size), BXF_RET_STATE},
        {"esds of a sowt entry", bxf_get_esds_size(handle, audio, 3, &size), BXF_RET_NOTFOUND},
        {"entry 0", bxf_get_visual_entry(handle, video, 0, &v), BXF_RET_ARGS},
        {"entry beyond", bxf_get_visual_entry(handle, video, 3, &v), BXF_RET_NOTFOUND},
        {"sps 0", bxf_get_avc_sps_size(handle, video, 1, 0, &size), BXF_RET_ARGS},
        {"sps beyond", bxf_get_avc_sps_size(handle, video, 1, 2, &size), BXF_RET_NOTFOUND},
        {"pps of an mp4v entry", bxf_get_avc_pps_size(handle, video, 2, 1, &size), BXF_RET_STATE},
        {"decoder config, null record", bxf_get_decoder_config(handle, audio, 1, nullptr), BXF_RET_ARGS},
        {"decoder config, null handle", bxf_get_decoder_config(nullptr, audio, 1, &dc), BXF_RET_ARGS},
    };
    for (const Row &r : rows) EXPECT_EQ(r.code, r.expected) << r.name;
}

TEST_F(Queries, ArgumentsAreCheckedBeforeTheEntryAndItsKind) {
    // A null result pointer or a set number of 0 is BXF_RET_ARGS whatever the
    // entry: one that does not exist (99) or one of another kind.
    open_both();
    struct Row {
        const char *query;
        uint32_t entry;  // 99: no such entry; otherwise one of the wrong kind or handler
        std::function<uint32_t(uint32_t)> call;
    };
    PlayHandle *h = handle;
    const SampleDescriptions *v = video, *a = audio;
    uint32_t size = 0;
    uint8_t buffer[8];
    const Row rows[] = {
        {"visual entry, missing", 99, [&](uint32_t e) { return bxf_get_visual_entry(h, v, e, nullptr); }},
        {"visual entry, audio track", 1, [&](uint32_t e) { return bxf_get_visual_entry(h, a, e, nullptr); }},
        {"audio entry, missing", 99, [&](uint32_t e) { return bxf_get_audio_entry(h, a, e, nullptr); }},
        {"audio entry, video track", 1, [&](uint32_t e) { return bxf_get_audio_entry(h, v, e, nullptr); }},
        {"esds size, missing", 99, [&](uint32_t e) { return bxf_get_esds_size(h, a, e, nullptr); }},
        {"esds size, avc1", 1, [&](uint32_t e) { return bxf_get_esds_size(h, v, e, nullptr); }},
        {"esds bytes, avc1", 1, [&](uint32_t e) { return bxf_get_esds_bytes(h, v, e, 8, nullptr); }},
        {"decoder config, missing", 99, [&](uint32_t e) { return bxf_get_decoder_config(h, a, e, nullptr); }},
        {"decoder config, avc1", 1, [&](uint32_t e) { return bxf_get_decoder_config(h, v, e, nullptr); }},
        {"avc config, missing", 99, [&](uint32_t e) { return bxf_get_avc_config(h, v, e, nullptr); }},
        {"avc config, mp4v", 2, [&](uint32_t e) { return bxf_get_avc_config(h, v, e, nullptr); }},
        {"sps size, null size", 2, [&](uint32_t e) { return bxf_get_avc_sps_size(h, v, e, 1, nullptr); }},
        {"sps size, set 0", 2, [&](uint32_t e) { return bxf_get_avc_sps_size(h, v, e, 0, &size); }},
        {"pps size, set 0", 99, [&](uint32_t e) { return bxf_get_avc_pps_size(h, v, e, 0, &size); }},
        {"sps bytes, null buffer", 2, [&](uint32_t e) { return bxf_get_avc_sps(h, v, e, 1, 8, nullptr); }},
        {"pps bytes, set 0", 99, [&](uint32_t e) { return bxf_get_avc_pps(h, v, e, 0, 8, buffer); }},
    };
    for (const Row &r : rows) EXPECT_EQ(r.call(r.entry), BXF_RET_ARGS) << r.query;
    // With valid arguments the same entries give their own codes: missing, then kind.
    VisualEntryInfo visual;
    EXPECT_EQ(bxf_get_visual_entry(h, v, 99, &visual), BXF_RET_NOTFOUND);
    EXPECT_EQ(bxf_get_esds_size(h, v, 1, &size), BXF_RET_STATE);
    EXPECT_EQ(bxf_get_avc_sps_size(h, v, 2, 1, &size), BXF_RET_STATE);
}

// The field values themselves are the query-record test's; here, which
// entry of several a query reads.
TEST_F(Queries, RecordsCarryTheEntryFields) {
    open_both();
    uint32_t count = 0;
    EXPECT_EQ(bxf_get_sample_description_count(handle, audio, &count), BXF_RET_OK);
    EXPECT_EQ(count, 3u);
    VisualEntryInfo v;
    ASSERT_EQ(bxf_get_visual_entry(handle, video, 2, &v), BXF_RET_OK);
    EXPECT_EQ(v.kind, BXF_FORMAT_TYPE_MP4V);
    EXPECT_EQ(v.width, 320);

    AudioEntryInfo a;
    ASSERT_EQ(bxf_get_audio_entry(handle, audio, 3, &a), BXF_RET_OK);
    EXPECT_EQ(a.kind, BXF_FORMAT_TYPE_MP4A);
    EXPECT_EQ(a.entry_type, BXF_FOURCC('s', 'o', 'w', 't'));
    EXPECT_EQ(a.has_sampling_rate_box, 1u);

    DecoderConfigInfo dc;
    ASSERT_EQ(bxf_get_decoder_config(handle, audio, 1, &dc), BXF_RET_OK);
    EXPECT_EQ(dc.decoder_specific_info_size, 2u);
    ASSERT_EQ(bxf_get_decoder_config(handle, audio, 2, &dc), BXF_RET_OK);
    EXPECT_EQ(dc.decoder_specific_info_size, 0u) << "no DecoderSpecificInfo";
}

TEST_F(Queries, CopyingQueriesTestTheLengthThenZeroFill) {
    open_both();
    uint32_t size = 0;
    ASSERT_EQ(bxf_get_esds_size(handle, audio, 1, &size), BXF_RET_OK);
    std::vector<uint8_t> buffer(size + 4, 0xEE);
    EXPECT_EQ(bxf_get_esds_bytes(handle, audio, 1, size - 1, buffer.data()), BXF_RET_ARGS);
    EXPECT_EQ(buffer[0], 0xEE) << "a refused copy leaves the buffer alone";
    ASSERT_EQ(bxf_get_esds_bytes(handle, audio, 1, uint32_t(buffer.size()), buffer.data()), BXF_RET_OK);
    EXPECT_EQ(buffer[0], 0x03) << "the ES_Descriptor tag comes first";
    for (size_t i = size; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0) << "the tail is zero-filled";

    ASSERT_EQ(bxf_get_avc_sps_size(handle, video, 1, 1, &size), BXF_RET_OK);
    EXPECT_EQ(size, kSps.size());
    uint8_t sps[8];
    std::memset(sps, 0xEE, sizeof sps);
    EXPECT_EQ(bxf_get_avc_sps(handle, video, 1, 1, 4, sps), BXF_RET_ARGS);
    EXPECT_EQ(sps[0], 0xEE);
    ASSERT_EQ(bxf_get_avc_sps(handle, video, 1, 1, sizeof sps, sps), BXF_RET_OK);
    EXPECT_EQ(Bytes(sps, sps + 5), kSps);
    EXPECT_EQ(sps[5], 0);
    uint8_t pps[3];
    ASSERT_EQ(bxf_get_avc_pps(handle, video, 1, 1, sizeof pps, pps), BXF_RET_OK);
    EXPECT_EQ(Bytes(pps, pps + 3), kPps);
}

TEST_F(Queries, ReleasingReturnsEveryBlock) {
    ASSERT_EQ(bxf_open_track(handle, 2), BXF_RET_OK);
    const uint64_t before = m.ledger.in_pool(BXF_POOL_GENERAL);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(bxf_get_sample_descriptions(handle, 2, &audio), BXF_RET_OK);
        EXPECT_GT(m.ledger.in_pool(BXF_POOL_GENERAL), before);
        bxf_release_sample_descriptions(handle, audio);
        audio = nullptr;
        EXPECT_EQ(m.ledger.in_pool(BXF_POOL_GENERAL), before);
    }
}

}  // namespace
