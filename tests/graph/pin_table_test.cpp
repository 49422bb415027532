// Every pin's playback proven by one table of (file, pin, expectations): the media type against the file, every
// sample against ffprobe's packets (or, for PCM, ffmpeg's decode) at the pin's stamping rule, a start at 1 s set
// while stopped, and a seek to 1 s made while the pin delivers. A new pin or format is a new row plus the check of
// its media type (pin_media_types.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "pcm_reference.h"
#include "pin_media_types.h"
#include "stream_packets.h"
#include "test_graph.h"

namespace {

constexpr REFERENCE_TIME kSecond = 10000000;
constexpr REFERENCE_TIME kStart = kSecond;  // where the start and the seek go

// The fixture folders, by the variable that names each.
enum class Folder { kCorpus, kPcm, kAmr, kAv, kHostile };
const char* const kFolderVariables[] = {"KELO_CORPUS", "KELO_PCM_MEDIA", "KELO_AMR_MEDIA", "KELO_AV_MEDIA",
                                        "KELO_HOSTILE"};

// How the pin cuts the track into media samples.
enum class Packing {
    kSample,      // one stored sample each, whole
    kNalUnits,    // one NAL unit each without its length field, parameter sets first after every start
    kPcmBuffers,  // ffmpeg's decode in buffers of 1024 frames
};

// Which packet time the stamps follow, from the first delivered sample's decode time on.
enum class Clock { kDecode, kPresentation };

// Where a segment's first sample is stamped, relative to the segment start.
enum class FirstStamp {
    kSegmentStart,  // at 0, whatever its own time
    kOwnTime,       // at its own decode time (or its first frame's)
    kEdited,        // at its decode time moved by the track's edit (check_decoded.py holds that to ffmpeg)
};

// Which sample a start begins with, before going back to the key frame at or before it.
enum class StartSample {
    kHoldingInstantBefore,  // the sample holding the instant before the start
    kHoldingStart,          // the sample holding the start itself
};

struct PinRow {
    const char* file;
    Folder folder;
    const wchar_t* pin;
    const char* codec;  // ffprobe's name of the track's codec
    TypeCheck type;
    long width, height;  // ffprobe's, for video
    Packing packing;
    Clock clock;
    FirstStamp first_after_start;
    StartSample start_sample;
    bool segment_moves_to_sample;  // the segment start moves to the start of the sample holding the start
    bool sync_from_key;            // sync points where ffprobe's key flags are (else every sample is one)
    // Whose allocator the pins deliver in (one buffer per pin either way, so the pins take turns).
    Allocation allocation = Allocation::kFilterChooses;
};

std::string MediaPath(Folder folder, const std::string& name) {
    return FixtureFile(kFolderVariables[static_cast<int>(folder)], name);
}

constexpr Clock D = Clock::kDecode, P = Clock::kPresentation;
constexpr StartSample Before = StartSample::kHoldingInstantBefore, At = StartSample::kHoldingStart;
constexpr FirstStamp AtSegment = FirstStamp::kSegmentStart, Own = FirstStamp::kOwnTime, Edited = FirstStamp::kEdited;
constexpr Packing Whole = Packing::kSample;
#define AMR_ROW(file, folder) \
    { file, folder, L"AMR", "amr_nb", ExpectAmrType, 0, 0, Whole, D, AtSegment, Before, false, false }
#define PCM_ROW(name) \
    { name, Folder::kPcm, L"LPCM", "pcm", ExpectPcmType, 0, 0, Packing::kPcmBuffers, D, Own, Before, false, false }

const PinRow kRows[] = {
    {"h264_aac.mp4", Folder::kCorpus, L"AVC/H.264 Video", "h264", ExpectAvcType, 160, 120, Packing::kNalUnits, P, Own,
     Before, true, false},
    {"h264_aac.mp4", Folder::kCorpus, L"MPEG4 Audio", "aac", ExpectAacType, 0, 0, Whole, D, Edited, Before, false,
     false},
    {"h264_aac.mp4", Folder::kCorpus, L"AVC/H.264 Video", "h264", ExpectAvcType, 160, 120, Packing::kNalUnits, P, Own,
     Before, true, false, Allocation::kSinksOffer},
    {"h264_aac.mp4", Folder::kCorpus, L"MPEG4 Audio", "aac", ExpectAacType, 0, 0, Whole, D, Edited, Before, false,
     false, Allocation::kSinksOffer},
    {"mpeg4v.mp4", Folder::kCorpus, L"MPEG4 Video", "mpeg4", ExpectMpeg4VideoType, 160, 120, Whole, D, Own, At, false,
     false},
    {"h263_aac.3gp", Folder::kCorpus, L"MPEG4 Video", "h263", ExpectMpeg4VideoType, 176, 144, Whole, D, Own, At, false,
     false},
    {"hevc_hvc1_sar1011_gop10.mp4", Folder::kAv, L"HEVC Video", "hevc", ExpectHevcType, 170, 126, Whole, P, Own, Before,
     false, true},
    AMR_ROW("amrnb.3gp", Folder::kCorpus),
    // The AMR track in movie fragments (found by scanning, or through mfra), or in moov and fragments.
    AMR_ROW("frag_amr.3gp", Folder::kAmr),
    AMR_ROW("frag_amr_mfra.3gp", Folder::kAmr),
    AMR_ROW("frag_amr_moov.3gp", Folder::kAmr),
    AMR_ROW("frag_amr_moov_nomfra.3gp", Folder::kAmr),
    AMR_ROW("decode_h263_amr.3gp", Folder::kAmr),
    AMR_ROW("decode_mpeg4v_amr.3gp", Folder::kAmr),
    // Samples of three AMR frames each, the last of two, written by the hostile set's writer.
    AMR_ROW("any--amr-3-frames-per-sample.mp4", Folder::kHostile),
    PCM_ROW("twos8_mono_44100"),
    PCM_ROW("twos8_stereo_48000"),
    PCM_ROW("twos16_mono_48000"),
    PCM_ROW("twos16_stereo_44100"),
    PCM_ROW("twos24_mono_44100"),
    PCM_ROW("twos24_stereo_48000"),
    PCM_ROW("twos16_stereo_48000_timescale2x"),
    PCM_ROW("twos_two_tracks"),
};

// What one media sample (or, for NAL units, one access unit put back together) must be.
struct Expected {
    int64_t size;
    uint32_t adler32;
    REFERENCE_TIME decode, start, stop;  // track time: the decode time, and the stamps by the row's clock
    bool key;
};

// The track's samples from ffprobe's packets, or its PCM buffers from ffmpeg's decode; `first` is the index of the
// first sample after a start at `start` (0 for none), found by the row's rule.
class Reference {
public:
    Reference(const PinRow& row, const std::string& path) {
        if (row.packing == Packing::kPcmBuffers) {
            pcm_ = PcmReference::Load(row.file);
            stream_ = pcm_.stream;
            return;
        }
        for (const ProbedStream& s : LoadStreamPacketsOf(path))
            if (s.codec == row.codec) {
                stream_ = s;
                break;
            }
        for (const ProbedPacket& p : stream_.packets) {
            const int64_t at = row.clock == Clock::kDecode ? p.dts : p.pts;
            samples_.push_back({p.size, p.adler32, stream_.ToMediaTime(p.dts), stream_.ToMediaTime(at),
                                stream_.ToMediaTime(at + p.duration), p.key});
        }
    }

    const ProbedStream& Stream() const { return stream_; }
    bool Empty() const { return samples_.empty() && pcm_.bytes.empty(); }

    // The samples a start at `start` delivers (all of them for 0), and the segment start it sets; `edit` moves the
    // track's samples on the timeline.
    std::vector<Expected> From(const PinRow& row, REFERENCE_TIME start, REFERENCE_TIME* segment,
                               REFERENCE_TIME edit = 0) const {
        *segment = start;
        if (row.packing == Packing::kPcmBuffers) return PcmFrom(start);
        start -= edit;
        size_t holding = 0;
        if (start > 0) {
            while (holding + 1 < samples_.size() &&
                   (row.start_sample == StartSample::kHoldingStart ? samples_[holding + 1].decode <= start
                                                                   : samples_[holding + 1].decode < start))
                ++holding;
            if (row.segment_moves_to_sample) *segment = samples_[holding].decode + edit;
        }
        size_t key = holding;
        while (key > 0 && !samples_[key].key) --key;
        return std::vector<Expected>(samples_.begin() + std::ptrdiff_t(key), samples_.end());
    }

    // The end of the track.
    REFERENCE_TIME End(const PinRow& row) const {
        if (row.packing == Packing::kPcmBuffers) return pcm_.FrameTime(pcm_.Frames());
        REFERENCE_TIME end = 0;
        for (const ProbedPacket& p : stream_.packets) end = std::max(end, stream_.ToMediaTime(p.dts + p.duration));
        return end;
    }

private:
    // Buffers of 1024 frames from the frame holding the instant before the start.
    std::vector<Expected> PcmFrom(REFERENCE_TIME start) const {
        int64_t frame = 0;
        while (start > 0 && frame + 1 < pcm_.Frames() && pcm_.FrameTime(frame + 1) < start) ++frame;
        std::vector<Expected> buffers;
        const int64_t align = pcm_.BlockAlign();
        for (int64_t first = frame; first < pcm_.Frames(); first += kFramesPerBuffer) {
            const int64_t end = std::min(first + kFramesPerBuffer, pcm_.Frames());
            const uint8_t* bytes = pcm_.bytes.data() + first * align;
            const int64_t size = (end - first) * align;
            buffers.push_back({size, Adler32(bytes, static_cast<size_t>(size)), pcm_.FrameTime(first),
                               pcm_.FrameTime(first), pcm_.FrameTime(end), true});
        }
        return buffers;
    }

    ProbedStream stream_;
    std::vector<Expected> samples_;
    PcmReference pcm_;
};

// The samples after the sink's last new segment, NAL units put back into access units with 4-byte length fields
// (the parameter sets ahead of the first checked and dropped), and that segment's start.
std::vector<Delivered> LastSegment(RecordingSink* sink, Packing packing, REFERENCE_TIME* segment) {
    std::vector<uint8_t> log = sink->Bytes();
    std::vector<Delivered> samples;
    for (const SinkEvent& e : sink->Events()) {
        if (e.kind == SinkEventKind::kNewSegment) {
            samples.clear();
            *segment = e.start;
        }
        if (e.kind != SinkEventKind::kSample) continue;
        auto begin = log.begin() + static_cast<std::ptrdiff_t>(e.byte_offset);
        samples.push_back({e, std::vector<uint8_t>(begin, begin + e.length)});
    }
    if (packing != Packing::kNalUnits) return samples;
    EXPECT_GE(samples.size(), 3u);
    if (samples.size() < 3) return {};
    EXPECT_EQ(samples[0].bytes.at(0) & 0x1F, 7) << "the SPS first";
    EXPECT_EQ(samples[1].bytes.at(0) & 0x1F, 8) << "then the PPS";
    EXPECT_TRUE(samples[0].event.discontinuity);
    EXPECT_EQ(samples[0].event.start, samples[2].event.start) << "parameter sets carry the first unit's times";
    std::vector<Delivered> units;
    for (size_t i = 2; i < samples.size(); ++i) {
        const Delivered& unit = samples[i];
        if (units.empty() || units.back().event.start != unit.event.start ||
            units.back().event.stop != unit.event.stop) {
            units.push_back({unit.event, {}});
            units.back().event.discontinuity = units.size() == 1;
        }
        std::vector<uint8_t>& au = units.back().bytes;
        const uint32_t size = static_cast<uint32_t>(unit.bytes.size());
        for (int shift = 24; shift >= 0; shift -= 8) au.push_back(static_cast<uint8_t>(size >> shift));
        au.insert(au.end(), unit.bytes.begin(), unit.bytes.end());
    }
    return units;
}

// The last segment holds exactly `expected`, as stored, stamped by the row's rule from `segment`.
void ExpectSegment(const PinRow& row, RecordingSink* sink, const std::vector<Expected>& expected,
                   REFERENCE_TIME segment, bool started) {
    REFERENCE_TIME delivered_segment = -1;
    std::vector<Delivered> samples = LastSegment(sink, row.packing, &delivered_segment);
    EXPECT_EQ(delivered_segment, segment);
    ASSERT_EQ(samples.size(), expected.size());
    ASSERT_FALSE(samples.empty());
    // The first sample's media time, then every sample at its own distance from it.
    const Expected& first = expected.front();
    const REFERENCE_TIME first_media = samples.front().event.media_start;
    // From the track's start every first sample is at its own time, but where an edit moves it.
    const FirstStamp rule =
        started || row.first_after_start == FirstStamp::kEdited ? row.first_after_start : FirstStamp::kOwnTime;
    if (rule == FirstStamp::kOwnTime) {
        EXPECT_NEAR(first_media, first.decode, 1) << "at its own decode time";
    } else if (rule == FirstStamp::kSegmentStart) {
        EXPECT_EQ(samples.front().event.start, 0) << "at the segment start";
    }
    for (size_t k = 0; k < samples.size(); ++k) {
        SCOPED_TRACE("sample " + std::to_string(k));
        const SinkEvent& e = samples[k].event;
        EXPECT_EQ(static_cast<int64_t>(samples[k].bytes.size()), expected[k].size);
        EXPECT_EQ(Adler32(samples[k].bytes.data(), samples[k].bytes.size()), expected[k].adler32);
        EXPECT_EQ(e.time_result, S_OK);
        EXPECT_EQ(e.media_start, e.start + segment) << "media time is stream time from the segment start";
        EXPECT_NEAR(e.media_start - first_media, expected[k].start - first.start, 1);
        EXPECT_NEAR(e.stop - e.start, expected[k].stop - expected[k].start, 1);
        if (row.packing != Packing::kNalUnits) {
            EXPECT_EQ(e.sync_point, !row.sync_from_key || expected[k].key);
        }
        EXPECT_EQ(e.discontinuity, k == 0);
    }
}

// A graph of the filter on a row's file, the row's pin found by its name.
class PinPlayback : public ::testing::Test {
protected:
    void Open(const PinRow& row) {
        path_ = MediaPath(row.folder, std::string(row.file) + (row.packing == Packing::kPcmBuffers ? ".mov" : ""));
        reference_ = std::make_unique<Reference>(row, path_);
        ASSERT_FALSE(reference_->Empty()) << "ffmpeg found no " << row.codec << " in " << path_;
        ASSERT_EQ(graph_.Open(path_, row.allocation), S_OK);
        for (size_t i = 0; i < graph_.Pins().size(); ++i)
            if (graph_.Pins()[i].name == row.pin) pin_ = i;
        ASSERT_LT(pin_, graph_.Pins().size()) << "no pin of that name";
        sink_ = graph_.Sink(pin_);
        EXPECT_EQ(sink_->UsesOwnAllocator(), row.allocation == Allocation::kSinksOffer);
    }

    // A start set while stopped, played to the end.
    void PlayFrom(const PinRow& row, REFERENCE_TIME start) {
        const REFERENCE_TIME edit = Edit(row);
        SetStart(start);
        ASSERT_EQ(graph_.RunToCompletion(), S_OK);
        ASSERT_TRUE(sink_->WaitForEndOfStream(5000));
        REFERENCE_TIME segment = 0;
        const std::vector<Expected> expected = reference_->From(row, start, &segment, edit);
        ExpectSegment(row, sink_, expected, segment, true);
    }

    // How far the track's edit moves its samples, learnt from a whole run, for an edited row (else 0).
    REFERENCE_TIME Edit(const PinRow& row) {
        if (row.first_after_start != FirstStamp::kEdited) return 0;
        REFERENCE_TIME segment = 0;
        EXPECT_EQ(graph_.RunToCompletion(), S_OK);
        std::vector<Delivered> samples = LastSegment(sink_, row.packing, &segment);
        EXPECT_EQ(graph_.Stop(), S_OK);
        return samples.empty() ? 0 : samples.front().event.media_start - reference_->From(row, 0, &segment)[0].decode;
    }

    // Positions the graph at `start` while stopped.
    void SetStart(REFERENCE_TIME start) {
        LONGLONG position = start;
        ASSERT_EQ(graph_.Seeking()->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                                 AM_SEEKING_NoPositioning),
                  S_OK);
    }

    std::string path_;
    std::unique_ptr<Reference> reference_;
    TestGraph graph_;
    size_t pin_ = SIZE_MAX;
    RecordingSink* sink_ = nullptr;
};

class PinTable : public PinPlayback, public ::testing::WithParamInterface<PinRow> {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(Open(GetParam())); }
};

TEST_P(PinTable, TheMediaTypeIsTheFilesTrack) {
    const PinRow& row = GetParam();
    const CMediaType type = sink_->ConnectedType();
    row.type({type, reference_->Stream(), path_, graph_.Pins()[pin_].pin.Get(), row.width, row.height});
    // A file of one track lasts as long as it.
    LONGLONG duration = 0, stop = 0;
    ASSERT_EQ(graph_.Seeking()->GetDuration(&duration), S_OK);
    ASSERT_EQ(graph_.Seeking()->GetStopPosition(&stop), S_OK);
    EXPECT_EQ(stop, duration);
    if (graph_.Pins().size() == 1) {
        EXPECT_EQ(duration, reference_->End(row));
    }
}

TEST_P(PinTable, EverySampleArrivesAsStoredAtItsTime) {
    const PinRow& row = GetParam();
    ASSERT_EQ(graph_.RunToCompletion(), S_OK);
    ASSERT_TRUE(sink_->WaitForEndOfStream(5000));
    REFERENCE_TIME segment = 0;
    const std::vector<Expected> expected = reference_->From(row, 0, &segment);
    ExpectSegment(row, sink_, expected, segment, false);
    std::vector<SinkEvent> events = sink_->Events();
    LONGLONG duration = 0;
    ASSERT_EQ(graph_.Seeking()->GetDuration(&duration), S_OK);
    EXPECT_EQ(events.front().kind, SinkEventKind::kNewSegment);
    EXPECT_EQ(events.front().stop, duration);
    EXPECT_EQ(events.front().rate, 1.0);
    EXPECT_EQ(events.back().kind, SinkEventKind::kEndOfStream);
}

TEST_P(PinTable, AStartAtOneSecondBeginsAtTheKeyFrameBeforeIt) { PlayFrom(GetParam(), kStart); }

// Wine's graph manager passes the seek to every renderer, so the filter may restart twice: what arrives after the
// last new segment counts.
TEST_P(PinTable, ASeekWhileRunningFlushesAndRestartsThere) {
    const PinRow& row = GetParam();
    const REFERENCE_TIME edit = Edit(row);
    sink_->SetReceiveDelay(2);
    ASSERT_EQ(graph_.Control()->Run(), S_OK);
    ASSERT_TRUE(sink_->WaitForMediaPosition(kSecond / 4, 10000));
    SetStart(kStart);
    ASSERT_EQ(graph_.WaitForCompletion(30000), S_OK);
    ASSERT_TRUE(sink_->WaitForEndOfStream(5000));
    EXPECT_FALSE(EventsOfKind(sink_->Events(), SinkEventKind::kEndFlush).empty()) << "the seek flushed";
    REFERENCE_TIME segment = 0;
    const std::vector<Expected> expected = reference_->From(row, kStart, &segment, edit);
    ExpectSegment(row, sink_, expected, segment, true);
    EXPECT_EQ(graph_.Stop(), S_OK);
}

std::string RowName(const ::testing::TestParamInfo<PinRow>& info) {
    std::string name = std::string(info.param.file) + "_" + info.param.codec +
                       (info.param.allocation == Allocation::kSinksOffer ? "_sinks_allocator" : "");
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Pins, PinTable, ::testing::ValuesIn(kRows), RowName);

// Starts where a row's file has a corner: the row's rules decide where delivery begins and how it is stamped.
struct StartRow {
    const char* file;  // the first row of this file
    REFERENCE_TIME start;
    const char* why;
};

const StartRow kStarts[] = {
    {"amrnb.3gp", 2530 * kSecond / 1000, "inside a sample of the tables"},
    {"mpeg4v.mp4", 4 * kSecond / 10, "on the first instant of the second key frame: that key frame"},
    {"frag_amr.3gp", 2530 * kSecond / 1000, "inside a sample of the third fragment, found by scanning"},
    {"frag_amr.3gp", 4 * kSecond, "on the boundary of the last fragment: the sample before it"},
    {"frag_amr_mfra.3gp", 2530 * kSecond / 1000, "inside a sample of the third fragment, found through mfra"},
    {"frag_amr_mfra.3gp", 4990 * kSecond / 1000, "inside the last sample"},
    {"frag_amr_moov.3gp", 500 * kSecond / 1000, "on a boundary in moov's samples"},
    {"frag_amr_moov.3gp", 3470 * kSecond / 1000, "inside a fragment after moov's samples"},
    {"frag_amr_moov_nomfra.3gp", 1 * kSecond, "where the fragments begin: the last sample of moov"},
    {"frag_amr_moov_nomfra.3gp", 1010 * kSecond / 1000, "inside the first fragment sample"},
    {"any--amr-3-frames-per-sample.mp4", 1230 * kSecond / 1000, "inside a frame inside a sample of three"},
    {"any--amr-3-frames-per-sample.mp4", 1240 * kSecond / 1000, "between a sample's second and third frames"},
    {"any--amr-3-frames-per-sample.mp4", 3010 * kSecond / 1000, "inside the last, shorter sample"},
    {"twos16_stereo_44100", 25 * kSecond / 10, "inside a PCM buffer"},
};

class PinStarts : public PinPlayback, public ::testing::WithParamInterface<StartRow> {};

TEST_P(PinStarts, BeginWhereTheRowsRuleSays) {
    const StartRow& start = GetParam();
    SCOPED_TRACE(std::string(start.file) + ": " + start.why);
    auto row = std::find_if(std::begin(kRows), std::end(kRows),
                            [&start](const PinRow& r) { return std::string(r.file) == start.file; });
    ASSERT_NE(row, std::end(kRows));
    ASSERT_NO_FATAL_FAILURE(Open(*row));
    PlayFrom(*row, start.start);
}

INSTANTIATE_TEST_SUITE_P(Corners, PinStarts, ::testing::ValuesIn(kStarts));

}  // namespace
