// The AMR pin's rules beyond the pin table's rows: a sample larger than the pin's buffer aborts the stream; samples
// without duration play once each; samples of several AMR frames pass whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <numeric>

#include "test_graph.h"
#include "stream_packets.h"
#include "track_writer.h"

// After windows.h, which the two above bring.
#include <evcode.h>
#include <mmreg.h>

namespace {

constexpr REFERENCE_TIME kSecond = 10000000;

// A file of the AMR media fixture (KELO_AMR_MEDIA), or of the corpus.
std::string AmrMedia(const std::string& name) {
    if (name == "amrnb.3gp") return CorpusFile(name);
    const char* folder = std::getenv("KELO_AMR_MEDIA");
    return std::string(folder ? folder : "") + "/" + name;
}

// The samples after the last new segment, with their bytes.
std::vector<Delivered> SamplesOfLastSegment(RecordingSink* sink) {
    std::vector<uint8_t> log = sink->Bytes();
    std::vector<SinkEvent> events = sink->Events();
    std::vector<Delivered> samples;
    for (const SinkEvent& e : events) {
        if (e.kind == SinkEventKind::kNewSegment) samples.clear();
        if (e.kind != SinkEventKind::kSample) continue;
        auto begin = log.begin() + static_cast<std::ptrdiff_t>(e.byte_offset);
        samples.push_back({e, std::vector<uint8_t>(begin, begin + e.length)});
    }
    return samples;
}

// ffprobe's AMR stream of the file.
ProbedStream AmrPackets(const std::string& path) {
    std::vector<ProbedStream> streams = LoadStreamPacketsOf(path);
    auto amr = std::find_if(streams.begin(), streams.end(), [](const ProbedStream& s) { return s.codec == "amr_nb"; });
    return amr == streams.end() ? ProbedStream() : *amr;
}

// The index of the pin named "AMR", or the pin count.
size_t AmrPin(const TestGraph& graph) {
    const std::vector<ConnectedPin>& pins = graph.Pins();
    for (size_t i = 0; i < pins.size(); ++i)
        if (pins[i].name == L"AMR") return i;
    return pins.size();
}

// Reads a big-endian 32-bit value.
uint32_t Be32(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at]) << 24 | static_cast<uint32_t>(bytes[at + 1]) << 16 |
           static_cast<uint32_t>(bytes[at + 2]) << 8 | bytes[at + 3];
}

void PutBe32(std::vector<uint8_t>* bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

// Where the first sample's size field lies: entry 1 of moov's stsz, or of
// the first trun (its fields after the count: the data offset and the first
// sample's flags if present, then per sample the duration if present, the
// size). 0 if there is none.
size_t FirstSampleSizeField(const std::vector<uint8_t>& bytes, const std::string& tag) {
    auto at = std::search(bytes.begin(), bytes.end(), tag.begin(), tag.end());
    if (at == bytes.end()) return 0;
    const size_t body = static_cast<size_t>(at - bytes.begin()) + 4;
    if (tag == "stsz") return Be32(bytes, body + 4) == 0 ? body + 12 : 0;  // sizes per sample
    const uint32_t flags = Be32(bytes, body) & 0xFFFFFF;
    if (!(flags & 0x200)) return 0;  // no sizes per sample
    size_t field = body + 8;
    if (flags & 0x1) field += 4;
    if (flags & 0x4) field += 4;
    if (flags & 0x100) field += 4;
    return field;
}

struct OversizeCase {
    const char* file;
    const char* size_box;  // where the first sample's size is stored
    uint32_t size;
    bool delivered;
};

// The pin's one buffer holds 4,608 bytes: a sample of that size is delivered
// whole, one byte more aborts the stream before anything is delivered. The
// bytes exist in the file in both cases (the sample runs on over the next
// ones), so only the size decides.
const OversizeCase kOversize[] = {
    {"amrnb.3gp", "stsz", 4608, true},
    {"amrnb.3gp", "stsz", 4609, false},
    {"frag_amr.3gp", "trun", 4608, true},
    {"frag_amr.3gp", "trun", 4609, false},
};

class AmrOversize : public ::testing::TestWithParam<OversizeCase> {};

TEST_P(AmrOversize, ASampleLargerThanTheBufferAbortsTheStream) {
    const OversizeCase& c = GetParam();
    std::vector<uint8_t> bytes = ReadWholeFile(AmrMedia(c.file));
    const size_t field = FirstSampleSizeField(bytes, c.size_box);
    ASSERT_NE(field, 0u);
    PutBe32(&bytes, field, c.size);
    const std::string path = ScratchFile(std::to_string(c.size) + "_" + c.file);
    ASSERT_TRUE(WriteWholeFile(path, bytes));

    TestGraph graph;
    ASSERT_EQ(graph.Open(path), S_OK);
    ASSERT_EQ(graph.Control()->Run(), S_OK);
    RecordingSink* sink = graph.Sink(AmrPin(graph));
    if (c.delivered) {
        ASSERT_TRUE(sink->WaitForEndOfStream(10000));
        std::vector<Delivered> samples = SamplesOfLastSegment(sink);
        ASSERT_FALSE(samples.empty());
        EXPECT_EQ(samples[0].bytes.size(), c.size);
    } else {
        LONG_PTR error = 0;
        ASSERT_EQ(graph.WaitForEvent(EC_ERRORABORT, 5000, &error), S_OK);
        EXPECT_EQ(static_cast<HRESULT>(error), E_FAIL);
        ASSERT_TRUE(sink->WaitForEndOfStream(5000));
        std::vector<SinkEvent> events = sink->Events();
        EXPECT_EQ(EventsOfKind(events, SinkEventKind::kSample).size(), 0u);
        EXPECT_EQ(EventsOfKind(events, SinkEventKind::kEndOfStream).size(), 1u);
    }
    EXPECT_EQ(graph.Stop(), S_OK);
}

INSTANTIATE_TEST_SUITE_P(Sizes, AmrOversize, ::testing::ValuesIn(kOversize));

// The pin walks the samples in order, so samples that last no time are
// delivered too, each once, all at 0: the stream ends after the last one
// rather than repeating its first sample for ever.
TEST(AmrStream, ATrackOfSamplesWithoutDurationPlaysEachOnce) {
    std::vector<uint8_t> bytes = ReadWholeFile(AmrMedia("amrnb.3gp"));
    const std::string tag = "stts";
    auto at = std::search(bytes.begin(), bytes.end(), tag.begin(), tag.end());
    ASSERT_NE(at, bytes.end());
    const size_t body = static_cast<size_t>(at - bytes.begin()) + 4;
    ASSERT_EQ(Be32(bytes, body + 4), 1u) << "one run of equal durations";
    PutBe32(&bytes, body + 12, 0);  // its delta
    const std::string path = ScratchFile("no_duration_amrnb.3gp");
    ASSERT_TRUE(WriteWholeFile(path, bytes));

    TestGraph graph;
    ASSERT_EQ(graph.Open(path), S_OK);
    ASSERT_EQ(graph.RunToCompletion(5000), S_OK);
    RecordingSink* sink = graph.Sink(AmrPin(graph));
    ASSERT_TRUE(sink->WaitForEndOfStream(5000));
    std::vector<SinkEvent> events = sink->Events();
    std::vector<SinkEvent> samples = EventsOfKind(events, SinkEventKind::kSample);
    EXPECT_EQ(samples.size(), AmrPackets(AmrMedia("amrnb.3gp")).packets.size());
    EXPECT_TRUE(
        std::all_of(samples.begin(), samples.end(), [](const SinkEvent& e) { return e.start == 0 && e.stop == 0; }));
    EXPECT_EQ(EventsOfKind(events, SinkEventKind::kEndOfStream).size(), 1u);
    LONGLONG duration = -1;
    ASSERT_EQ(graph.Seeking()->GetDuration(&duration), S_OK);
    EXPECT_EQ(duration, 0) << "the sum of the durations, not the media header's 5 s";
}

// ---- Samples of several AMR frames ----------------------------------------
//
// A 3GP sample may hold several AMR frames, each with its header byte; the
// pin passes every sample through whole, stamped at its decode time. ffmpeg
// writes one frame per sample, so the file is regrouped here: the frames of
// amr_frames.3gp (ffmpeg's packets, and their bytes from ffmpeg's -f data)
// three to a sample, the last sample shorter (152 frames), in chunks of 16
// samples, under the original's own sample description.

// One sample of the regrouped file as ffmpeg's packets give it: its frames'
// bytes in order, the first frame's decode time, the frames' durations summed.
struct GroupedSample {
    std::vector<uint8_t> bytes;
    int64_t dts = 0, duration = 0;
};

struct GroupedAmr {
    std::string path;
    ProbedStream frames;  // ffprobe's packets of the original
    std::vector<GroupedSample> samples;
};

// The whole box of type `tag` (the first found), or nothing.
boxw::Bytes FirstBox(const std::vector<uint8_t>& file, const std::string& tag) {
    auto at = std::search(file.begin(), file.end(), tag.begin(), tag.end());
    if (at - file.begin() < 4) return {};
    const size_t begin = static_cast<size_t>(at - file.begin()) - 4;
    const size_t size = Be32(file, begin);
    if (size < 8 || begin + size > file.size()) return {};
    return boxw::Bytes(file.begin() + static_cast<std::ptrdiff_t>(begin),
                       file.begin() + static_cast<std::ptrdiff_t>(begin + size));
}

// Writes the regrouped file into the scratch folder. Fails the test (through
// ASSERT) when the original is not what the regrouping expects.
void WriteGroupedAmr(size_t frames_per_sample, GroupedAmr* out) {
    using namespace boxw;
    const std::string original = AmrMedia("amr_frames.3gp");
    out->frames = AmrPackets(original);
    const std::vector<ProbedPacket>& frames = out->frames.packets;
    ASSERT_FALSE(frames.empty());
    ASSERT_EQ(out->frames.time_base_num, 1);
    const std::vector<uint8_t> data = ReadWholeFile(original + ".frames");
    const std::vector<uint8_t> file = ReadWholeFile(original);
    const Bytes description = FirstBox(file, "stsd");
    ASSERT_FALSE(description.empty());

    size_t at = 0;
    for (size_t f = 0; f < frames.size(); ++f) {
        ASSERT_LE(at + static_cast<size_t>(frames[f].size), data.size());
        ASSERT_EQ(Adler32(data.data() + at, static_cast<size_t>(frames[f].size)), frames[f].adler32) << "frame " << f;
        if (f % frames_per_sample == 0) out->samples.push_back({{}, frames[f].dts, 0});
        GroupedSample& s = out->samples.back();
        s.bytes.insert(s.bytes.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                       data.begin() + static_cast<std::ptrdiff_t>(at + frames[f].size));
        s.duration += frames[f].duration;
        at += static_cast<size_t>(frames[f].size);
    }
    ASSERT_EQ(at, data.size()) << "the frames' bytes are the packets'";

    constexpr uint32_t kChunk = 16;  // samples per chunk
    const auto count = static_cast<uint32_t>(out->samples.size());
    Pairs durations;
    std::vector<uint32_t> sizes;
    Bytes payload;
    for (const GroupedSample& s : out->samples) {
        const auto delta = static_cast<uint32_t>(s.duration);
        if (durations.empty() || durations.back().second != delta) durations.push_back({0, delta});
        ++durations.back().first;
        sizes.push_back(static_cast<uint32_t>(s.bytes.size()));
        append(payload, s.bytes);
    }
    std::vector<StscEntry> chunking = {{1, std::min(kChunk, count), 1}};
    const uint32_t chunks = (count + kChunk - 1) / kChunk;
    if (count > kChunk && count % kChunk) chunking.push_back({chunks, count % kChunk, 1});
    const int64_t total = out->samples.back().dts + out->samples.back().duration;
    const auto time_scale = static_cast<uint32_t>(out->frames.time_base_den);

    // The chunk offsets depend on moov's size, which does not depend on them.
    auto movie = [&](uint32_t mdat_body) {
        std::vector<uint32_t> offsets;
        for (uint32_t c = 0; c < chunks; ++c) {
            uint32_t offset = mdat_body;
            for (uint32_t i = 0; i < c * kChunk; ++i) offset += sizes[i];
            offsets.push_back(offset);
        }
        const Bytes stbl = cat({description, stts(durations), stsc(chunking), stsz(sizes), stco(offsets)});
        const Bytes mdia = box("mdia", cat({mdhd(0, time_scale, static_cast<uint64_t>(total)), hdlr("soun"),
                                            minf(full_box("smhd", 0, 0, zeros(4)), stbl)}));
        return cat({ftyp(), box("moov", cat({mvhd(0, time_scale, static_cast<uint64_t>(total)),
                                             box("trak", cat({tkhd(0, 1, static_cast<uint64_t>(total)), mdia}))}))});
    };
    const size_t head = movie(0).size();
    Bytes whole = cat({movie(static_cast<uint32_t>(head + 8)), box("mdat", payload)});
    out->path = ScratchFile("amr_" + std::to_string(frames_per_sample) + "_frames_per_sample.3gp");
    ASSERT_TRUE(WriteWholeFile(out->path, whole));
}

// The pin the regrouped file opens with, in a graph of its own.
class AmrGrouped : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(WriteGroupedAmr(3, &amr_));
        // 20 ms frames at 8 kHz: samples of 60 ms, stamped 600,000 apart.
        for (const ProbedPacket& p : amr_.frames.packets) ASSERT_EQ(p.duration, 160);
        ASSERT_EQ(amr_.frames.packets.size() % 3, 2u) << "a shorter last sample";
        ASSERT_EQ(graph_.Open(amr_.path), S_OK);
        pin_ = AmrPin(graph_);
        ASSERT_LT(pin_, graph_.Pins().size()) << "no pin named AMR";
    }

    REFERENCE_TIME Time(int64_t ticks) const { return amr_.frames.ToMediaTime(ticks); }

    // Since the last new segment (at `start`, to the end, rate 1): the
    // samples from `first` to the end, whole, stamped from the first of them.
    void ExpectDeliveredFrom(size_t first, REFERENCE_TIME start) {
        RecordingSink* sink = graph_.Sink(pin_);
        ASSERT_TRUE(sink->WaitForEndOfStream(5000));
        std::vector<SinkEvent> segments = EventsOfKind(sink->Events(), SinkEventKind::kNewSegment);
        ASSERT_FALSE(segments.empty());
        EXPECT_EQ(segments.back().start, start);
        EXPECT_EQ(segments.back().stop, Time(amr_.samples.back().dts + amr_.samples.back().duration));
        EXPECT_EQ(segments.back().rate, 1.0);
        std::vector<Delivered> delivered = SamplesOfLastSegment(sink);
        ASSERT_EQ(delivered.size(), amr_.samples.size() - first);
        for (size_t k = 0; k < delivered.size(); ++k) {
            SCOPED_TRACE("sample " + std::to_string(first + k));
            const GroupedSample& want = amr_.samples[first + k];
            const SinkEvent& got = delivered[k].event;
            EXPECT_EQ(delivered[k].bytes, want.bytes);
            EXPECT_EQ(got.time_result, S_OK);
            EXPECT_EQ(got.start, Time(want.dts - amr_.samples[first].dts));
            EXPECT_EQ(got.stop, Time(want.dts - amr_.samples[first].dts + want.duration));
            EXPECT_EQ(got.media_start, got.start + start);
            EXPECT_TRUE(got.sync_point);
            EXPECT_EQ(got.discontinuity, k == 0);
        }
    }

    GroupedAmr amr_;
    TestGraph graph_;
    size_t pin_ = 0;
};

// Every sample arrives whole, its three frames in order with their header
// bytes, at its first frame's decode time; the duration is the samples'.
TEST_F(AmrGrouped, EachSampleOfSeveralFramesArrivesWholeAtItsDecodeTime) {
    LONGLONG duration = 0, stop = 0;
    ASSERT_EQ(graph_.Seeking()->GetDuration(&duration), S_OK);
    const ProbedPacket& last = amr_.frames.packets.back();
    EXPECT_EQ(duration, Time(last.dts + last.duration));
    ASSERT_EQ(graph_.Seeking()->GetStopPosition(&stop), S_OK);
    EXPECT_EQ(stop, duration);
    ASSERT_EQ(graph_.RunToCompletion(), S_OK);
    ExpectDeliveredFrom(0, 0);
    std::vector<Delivered> delivered = SamplesOfLastSegment(graph_.Sink(pin_));
    ASSERT_GE(delivered.size(), 2u);
    EXPECT_EQ(delivered[1].event.start, 600000) << "three 20 ms frames";
}

struct GroupedSeekCase {
    REFERENCE_TIME start;
    bool after_play;  // the graph played to the end and stopped first
    const char* why;
};

// Starts through the graph's IMediaSeeking while stopped.
const GroupedSeekCase kGroupedSeeks[] = {
    {1230 * kSecond / 1000, false, "between frame boundaries in the middle of a sample"},
    {1240 * kSecond / 1000, false, "on the boundary of a sample's second and third frames"},
    {2010 * kSecond / 1000, true, "inside a sample, after a play to the end and a stop"},
    {3010 * kSecond / 1000, false, "inside the last, shorter sample"},
};

class AmrGroupedSeek : public AmrGrouped, public ::testing::WithParamInterface<GroupedSeekCase> {};

// The segment starts at the requested time and begins with the whole sample
// holding the instant before it, stamped 0 (never negative), flagged as a
// discontinuity: never with the frame that holds the instant.
TEST_P(AmrGroupedSeek, WhileStoppedRestartsAtTheWholeSampleHoldingTheInstantBefore) {
    const GroupedSeekCase& c = GetParam();
    SCOPED_TRACE(c.why);
    const std::vector<ProbedPacket>& frames = amr_.frames.packets;
    // The frame holding the instant before the start, and its sample.
    size_t frame = 0;
    while (frame + 1 < frames.size() && Time(frames[frame + 1].dts) < c.start) ++frame;
    const size_t first = frame / 3;
    ASSERT_LT(Time(amr_.samples[first].dts), c.start);

    if (c.after_play) {
        ASSERT_EQ(graph_.RunToCompletion(), S_OK);
        ASSERT_EQ(graph_.Stop(), S_OK);
    }
    LONGLONG position = c.start;
    ASSERT_EQ(
        graph_.Seeking()->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning),
        S_OK);
    ASSERT_EQ(graph_.RunToCompletion(), S_OK);
    ExpectDeliveredFrom(first, c.start);
    std::vector<Delivered> delivered = SamplesOfLastSegment(graph_.Sink(pin_));
    ASSERT_FALSE(delivered.empty());
    EXPECT_EQ(delivered[0].event.start, 0);
    EXPECT_TRUE(delivered[0].event.discontinuity);
    EXPECT_EQ(graph_.Stop(), S_OK);
}

INSTANTIATE_TEST_SUITE_P(Starts, AmrGroupedSeek, ::testing::ValuesIn(kGroupedSeeks));

}  // namespace
