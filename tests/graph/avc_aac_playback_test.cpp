// An H.264 + AAC file through both pins at once: each access unit arrives as
// its NAL units (the stored packet again, once their length fields are put
// back, as ffprobe's checksum shows), parameter sets first after every start,
// stamped with the presentation times of ffprobe's packets; each AAC packet
// arrives whole at its decode time.
#include <gtest/gtest.h>

#include "test_graph.h"
#include "stream_packets.h"

// After windows.h, which the two above bring.
#include <dvdmedia.h>
#include <mmreg.h>

namespace {

constexpr char kFile[] = "h264_aac.mp4";
constexpr REFERENCE_TIME kSecond = 10000000;
constexpr size_t kVideo = 0, kAudio = 1;  // pins and ffprobe's streams alike
constexpr uint8_t kNalSps = 7, kNalPps = 8;

uint8_t NalType(const Delivered& unit) { return unit.bytes.empty() ? 0 : unit.bytes[0] & 0x1F; }

// The NAL units from `from` on, grouped into access units by their times,
// each put back together with 4-byte length fields as the file stores them.
std::vector<Delivered> AccessUnits(const std::vector<Delivered>& units, size_t from) {
    std::vector<Delivered> access_units;
    for (size_t i = from; i < units.size(); ++i) {
        const Delivered& unit = units[i];
        if (access_units.empty() || access_units.back().event.start != unit.event.start ||
            access_units.back().event.stop != unit.event.stop)
            access_units.push_back({unit.event, {}});
        std::vector<uint8_t>& au = access_units.back().bytes;
        const uint32_t size = static_cast<uint32_t>(unit.bytes.size());
        for (int shift = 24; shift >= 0; shift -= 8) au.push_back(static_cast<uint8_t>(size >> shift));
        au.insert(au.end(), unit.bytes.begin(), unit.bytes.end());
    }
    return access_units;
}

// Each case runs twice: in the allocator the filter chooses, and in the one
// each sink offers (one buffer per pin either way, so the pins take turns).
class AvcAac : public ::testing::TestWithParam<Allocation> {
protected:
    void SetUp() override {
        streams_ = LoadStreamPackets(kFile);
        ASSERT_EQ(streams_.size(), 2u);
        ASSERT_EQ(graph_.Open(CorpusFile(kFile), GetParam()), S_OK);
        ASSERT_EQ(graph_.Pins().size(), 2u);
        EXPECT_EQ(graph_.Pins()[kVideo].name, L"AVC/H.264 Video");
        EXPECT_EQ(graph_.Pins()[kAudio].name, L"MPEG4 Audio");
        for (const ConnectedPin& pin : graph_.Pins())
            EXPECT_EQ(pin.sink->UsesOwnAllocator(), GetParam() == Allocation::kSinksOffer);
    }

    std::vector<ProbedStream> streams_;
    TestGraph graph_;
};

// Every media type a pin offers, in order.
std::vector<CMediaType> OfferedTypes(IBaseFilter* filter, size_t pin_index) {
    std::vector<CMediaType> types;
    ComPtr<IEnumPins> pins;
    filter->EnumPins(pins.Receive());
    ComPtr<IPin> pin;
    for (size_t i = 0; i <= pin_index; ++i)
        if (pins->Next(1, pin.Receive(), nullptr) != S_OK) return types;
    ComPtr<IEnumMediaTypes> offered;
    if (FAILED(pin->EnumMediaTypes(offered.Receive()))) return types;
    for (AM_MEDIA_TYPE* type = nullptr; offered->Next(1, &type, nullptr) == S_OK; type = nullptr) {
        types.emplace_back(*type);
        DeleteMediaType(type);
    }
    return types;
}

TEST_P(AvcAac, TheVideoFormatBlockIsFilledFieldByField) {
    std::vector<CMediaType> types = OfferedTypes(graph_.Filter(), kVideo);
    ASSERT_EQ(types.size(), 1u);
    const CMediaType& video = types[0];
    EXPECT_EQ(video.majortype, MEDIATYPE_Video);
    EXPECT_EQ(video.formattype, FORMAT_VideoInfo2);
    EXPECT_TRUE(video.bTemporalCompression);
    EXPECT_FALSE(video.bFixedSizeSamples);
    EXPECT_EQ(video.lSampleSize, 0u);
    ASSERT_GT(video.cbFormat, sizeof(VIDEOINFOHEADER2) + 2);
    const auto* header = reinterpret_cast<const VIDEOINFOHEADER2*>(video.pbFormat);
    const RECT picture = {0, 0, 160, 120};
    EXPECT_TRUE(EqualRect(&header->rcSource, &picture));
    EXPECT_TRUE(EqualRect(&header->rcTarget, &picture));
    // The frame time, bit rate and interlacing: check_video_rates.py, against ffprobe.
    EXPECT_EQ(header->dwBitErrorRate, 0u);
    EXPECT_EQ(header->dwCopyProtectFlags, 0u);
    EXPECT_EQ(header->dwPictAspectRatioX, 4u);  // 160x120 at a sample aspect ratio of 1:1
    EXPECT_EQ(header->dwPictAspectRatioY, 3u);
    EXPECT_EQ(header->dwControlFlags, 0u);
    EXPECT_EQ(header->dwReserved2, 0u);
    EXPECT_EQ(header->bmiHeader.biSize, 40u);
    EXPECT_EQ(header->bmiHeader.biWidth, 160);
    EXPECT_EQ(header->bmiHeader.biHeight, 120);
    EXPECT_EQ(header->bmiHeader.biPlanes, 1);
    EXPECT_EQ(header->bmiHeader.biBitCount, 24);
    EXPECT_EQ(header->bmiHeader.biCompression, static_cast<DWORD>(MAKEFOURCC('M', 'P', '4', 'S')));
    EXPECT_EQ(header->bmiHeader.biSizeImage, 0u);
    EXPECT_EQ(video.pbFormat[video.cbFormat - 2], 0);
    EXPECT_EQ(video.pbFormat[video.cbFormat - 1], 0);
    // The rebuilt record is the stored one up to its PPS: the high-profile
    // fields after them are not written again.
    std::vector<uint8_t> record(video.pbFormat + sizeof(VIDEOINFOHEADER2), video.pbFormat + video.cbFormat - 2);
    const std::vector<uint8_t>& stored = streams_[kVideo].extradata;
    ASSERT_LE(record.size(), stored.size());
    EXPECT_TRUE(std::equal(record.begin(), record.end(), stored.begin()));
    EXPECT_TRUE(stored.size() - record.size() == 0 || stored.size() - record.size() == 4);
}

TEST_P(AvcAac, TheAudioPinOffersTwoSubtypesOfOneFormatBlock) {
    std::vector<CMediaType> types = OfferedTypes(graph_.Filter(), kAudio);
    ASSERT_EQ(types.size(), 2u);
    const GUID raw_aac = {0x000000FF, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
    const GUID private_aac = {0x00000278, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
    EXPECT_EQ(types[0].subtype, raw_aac);
    EXPECT_EQ(types[1].subtype, private_aac);
    for (const CMediaType& audio : types) {
        EXPECT_EQ(audio.majortype, MEDIATYPE_Audio);
        EXPECT_EQ(audio.formattype, FORMAT_WaveFormatEx);
        EXPECT_TRUE(audio.bTemporalCompression);
        EXPECT_TRUE(audio.bFixedSizeSamples);
        EXPECT_EQ(audio.lSampleSize, 4u);
        ASSERT_EQ(audio.cbFormat, sizeof(WAVEFORMATEX) + streams_[kAudio].extradata.size());
        const auto* wave = reinterpret_cast<const WAVEFORMATEX*>(audio.pbFormat);
        EXPECT_EQ(wave->wFormatTag, 0x00FF);
        EXPECT_EQ(wave->nChannels, 2);
        EXPECT_EQ(wave->nSamplesPerSec, 44100u);
        EXPECT_EQ(wave->nAvgBytesPerSec, 0u);
        EXPECT_EQ(wave->nBlockAlign, 4);
        EXPECT_EQ(wave->wBitsPerSample, 0);
        EXPECT_EQ(wave->cbSize, streams_[kAudio].extradata.size());
        std::vector<uint8_t> config(audio.pbFormat + sizeof(WAVEFORMATEX), audio.pbFormat + audio.cbFormat);
        EXPECT_EQ(config, streams_[kAudio].extradata) << "the AudioSpecificConfig is passed on unchanged";
    }
    // The connection took the first.
    EXPECT_EQ(graph_.Sink(kAudio)->ConnectedType().subtype, raw_aac);
}

TEST_P(AvcAac, EveryAccessUnitAndAudioPacketArrivesStampedWithFfprobesTimes) {
    ASSERT_EQ(graph_.RunToCompletion(), S_OK);
    ASSERT_TRUE(graph_.Sink(kVideo)->WaitForEndOfStream(5000));
    ASSERT_TRUE(graph_.Sink(kAudio)->WaitForEndOfStream(5000));

    const ProbedStream& video = streams_[kVideo];
    std::vector<Delivered> units = DeliveredSamples(graph_.Sink(kVideo));
    ASSERT_GE(units.size(), 3u);
    EXPECT_EQ(NalType(units[0]), kNalSps);
    EXPECT_EQ(NalType(units[1]), kNalPps);
    EXPECT_TRUE(units[0].event.discontinuity);
    const int64_t first_pts = video.packets[0].pts;
    std::vector<Delivered> access_units = AccessUnits(units, 2);
    EXPECT_EQ(units[0].event.start, access_units[0].event.start) << "parameter sets carry the first unit's times";
    ASSERT_EQ(access_units.size(), video.packets.size());
    for (size_t k = 0; k < access_units.size(); ++k) {
        SCOPED_TRACE("access unit " + std::to_string(k));
        const ProbedPacket& p = video.packets[k];
        const Delivered& au = access_units[k];
        EXPECT_EQ(au.bytes.size(), static_cast<size_t>(p.size));
        EXPECT_EQ(Adler32(au.bytes.data(), au.bytes.size()), p.adler32);
        EXPECT_EQ(au.event.start, video.ToMediaTime(p.pts - first_pts));
        EXPECT_EQ(au.event.stop, video.ToMediaTime(p.pts - first_pts + p.duration));
    }

    const ProbedStream& audio = streams_[kAudio];
    std::vector<Delivered> packets = DeliveredSamples(graph_.Sink(kAudio));
    ASSERT_EQ(packets.size(), audio.packets.size());
    // Every packet at its decode time, moved by the track's edit (the encoder's
    // priming before 0: check_timelines.py holds it to ffmpeg's edit handling).
    ASSERT_FALSE(packets.empty());
    const REFERENCE_TIME edit = packets[0].event.start - audio.ToMediaTime(audio.packets[0].dts);
    for (size_t k = 0; k < packets.size(); ++k) {
        SCOPED_TRACE("audio packet " + std::to_string(k));
        const ProbedPacket& p = audio.packets[k];
        EXPECT_EQ(Adler32(packets[k].bytes.data(), packets[k].bytes.size()), p.adler32);
        EXPECT_NEAR(packets[k].event.start, audio.ToMediaTime(p.dts) + edit, 1);
        EXPECT_NEAR(packets[k].event.stop, audio.ToMediaTime(p.dts + p.duration) + edit, 1);
        EXPECT_EQ(packets[k].event.discontinuity, k == 0);
    }
}

// Wine's graph manager passes the seek to both renderers, so the filter
// repositions both pins twice; what arrives after the last flush counts.
TEST_P(AvcAac, ASeekRestartsVideoAtTheKeyFrameBeforeItWithParameterSetsFirst) {
    LONGLONG position = kSecond;
    ASSERT_EQ(
        graph_.Seeking()->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning),
        S_OK);
    ASSERT_EQ(graph_.RunToCompletion(), S_OK);
    ASSERT_TRUE(graph_.Sink(kVideo)->WaitForEndOfStream(5000));

    // The video sample that holds the instant before 1 s, and the key frame at or before it.
    const ProbedStream& video = streams_[kVideo];
    const int64_t start_ticks = video.time_base_den / video.time_base_num;  // 1 s
    size_t holding = 0;
    while (holding + 1 < video.packets.size() && video.packets[holding + 1].dts < start_ticks) ++holding;
    size_t key = holding;
    while (key > 0 && !video.packets[key].key) --key;

    std::vector<SinkEvent> events = graph_.Sink(kVideo)->Events();
    std::vector<SinkEvent> segments = EventsOfKind(events, SinkEventKind::kNewSegment);
    ASSERT_FALSE(segments.empty());
    EXPECT_EQ(segments.back().start, video.ToMediaTime(video.packets[holding].dts)) << "the start moves to that sample";

    std::vector<Delivered> units = DeliveredSamples(graph_.Sink(kVideo));
    ASSERT_GE(units.size(), 3u);
    EXPECT_EQ(NalType(units[0]), kNalSps);
    EXPECT_EQ(NalType(units[1]), kNalPps);
    std::vector<Delivered> access_units = AccessUnits(units, 2);
    ASSERT_EQ(access_units.size(), video.packets.size() - key);
    EXPECT_EQ(Adler32(access_units[0].bytes.data(), access_units[0].bytes.size()), video.packets[key].adler32);
    // The first unit staged after a start has no composition shift: it sits at its decode time.
    EXPECT_NEAR(static_cast<double>(access_units[0].event.media_start),
                static_cast<double>(video.ToMediaTime(video.packets[key].dts)), 1.0);
}

INSTANTIATE_TEST_SUITE_P(Allocators, AvcAac,
                         ::testing::Values(Allocation::kFilterChooses, Allocation::kSinksOffer),
                         [](const ::testing::TestParamInfo<Allocation>& info) {
                             return info.param == Allocation::kSinksOffer ? "SinksOffer" : "FilterChooses";
                         });

}  // namespace
