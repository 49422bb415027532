// Writes the source filter's hostile files into a folder, made with the box writers: malformed tables in an
// otherwise playable H.264 + AAC movie where the filter's own code meets them, and files that stress the pins
// (parameter sets, NAL length fields, samples larger than a pin's buffer, refused audio configurations, odd sample
// entries, time scales of 0, a description index that changes mid-track). Each must load or be refused with the
// documented code, and what loads must play to its end or abort, never crash or hang. kelo-stress plays the folder;
// each file's name starts with what the rules make of it, up to "--" (see kExpectPrefix), where they settle it.
// usage: write_filter_hostile_set DIR
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "box_writer.h"
#include "fragment_writer.h"
#include "track_writer.h"

using namespace boxw;

namespace {

// Load's 0x800A0141; both pins to the end; a stream error (EC_ERRORABORT with E_FAIL); one pin refusing its
// format at connection while the other plays to the end. kAny: only the general rules.
enum class HostileExpect { kAny, kRefused, kComplete, kAbort, kOnlyVideoPlays, kOnlyAudioPlays };
// By HostileExpect, as kelo-stress reads them.
const char* const kExpectPrefix[] = {"any", "refused", "complete", "abort", "only-video", "only-audio"};

// A file of the set, or one of a family: its name, what sets it apart (a sample entry, a sample, a configuration),
// its rule.
struct HostileFile {
    std::string name;  // letters, digits, '-' and '_'
    Bytes bytes;
    HostileExpect expect = HostileExpect::kAny;
};

// ---- Sample entries -------------------------------------------------------

// An SPS that parses: Baseline, level 3.0, 160x128, POC type 2, no VUI.
const Bytes kSps = {0x67, 0x42, 0xC0, 0x1E, 0xDA, 0x0A, 0x11, 0x90};
const Bytes kPps = {0x68, 0xCE, 0x3C, 0x80};

Bytes avcc(const std::vector<Bytes>& sps, const std::vector<Bytes>& pps, uint8_t sps_count_field,
           uint8_t length_size_minus_one = 3, uint8_t level = 0x1E) {
    Bytes body = {1, 0x42, 0xC0, level, uint8_t(0xFC | length_size_minus_one), uint8_t(0xE0 | sps_count_field)};
    for (const Bytes& s : sps) append(body, cat({u16(uint16_t(s.size())), s}));
    append(body, u8(uint8_t(pps.size())));
    for (const Bytes& p : pps) append(body, cat({u16(uint16_t(p.size())), p}));
    return box("avcC", body);
}
Bytes avc1(const Bytes& avcc_box) { return visual_entry("avc1", 160, 128, avcc_box); }
const Bytes kAvc1 = avc1(avcc({kSps}, {kPps}, 1));

// AAC LC, 48 kHz, stereo: object type 2, frequency index 3, channels 2.
const Bytes kAscLcStereo = {0x11, 0x90};

// An ES_Descriptor for an audio stream whose DecoderConfigDescriptor holds
// `specific_info` (no DecoderSpecificInfo when `with_info` is false).
Bytes esds(const Bytes& specific_info, bool with_info = true, uint8_t object_type_indication = 0x40) {
    Bytes config = cat({u8(object_type_indication), u8(0x15), be(0, 3), u32(128000), u32(128000)});
    if (with_info) append(config, descriptor(5, specific_info));
    return full_box("esds", 0, 0, descriptor(3, cat({u16(1), u8(0), descriptor(4, config), descriptor(6, {0x02})})));
}
Bytes mp4a(const Bytes& esds_box, uint16_t channels = 2) {
    return audio_entry("mp4a", channels, 16, 48000u << 16, esds_box);
}
const Bytes kMp4a = mp4a(esds(kAscLcStereo));

// ---- A movie from tracks --------------------------------------------------

struct TrackPlan {
    const char* handler = "vide";
    uint32_t time_scale = 12800;
    uint32_t delta = 512;
    Bytes stsd_entries;
    uint32_t entry_count = 1;
    std::vector<Bytes> samples;
    std::vector<uint32_t> description;      // per sample; empty: all 1
    std::vector<uint32_t> sync;             // empty: every sample is a sync sample (no stss)
    std::map<std::string, Bytes> replaced;  // a table box by type, written instead of the true one
    Bytes extra;                            // more stbl children
};

// H.264 access units of one NAL unit each: an IDR picture every 25 samples.
std::vector<Bytes> avc_samples(size_t count, size_t size = 200) {
    std::vector<Bytes> samples;
    for (size_t i = 0; i < count; ++i) {
        Bytes nal(size, uint8_t(0x5A + i));
        nal[0] = i % 25 == 0 ? 0x65 : 0x41;
        samples.push_back(cat({u32(uint32_t(nal.size())), nal}));
    }
    return samples;
}

std::vector<Bytes> aac_samples(size_t count, size_t size = 180) {
    std::vector<Bytes> samples;
    for (size_t i = 0; i < count; ++i) samples.push_back(Bytes(size, uint8_t(0x21 + i)));
    return samples;
}

TrackPlan video_plan() {
    TrackPlan t;
    t.stsd_entries = kAvc1;
    t.samples = avc_samples(50);
    for (uint32_t s = 1; s <= 50; s += 25) t.sync.push_back(s);
    return t;
}

TrackPlan audio_plan(const Bytes& entry = kMp4a) {
    TrackPlan t;
    t.handler = "soun";
    t.time_scale = 48000;
    t.delta = 1024;
    t.stsd_entries = entry;
    t.samples = aac_samples(94);
    return t;
}

Bytes table(const TrackPlan& t, const char* type, const Bytes& made) {
    auto replaced = t.replaced.find(type);
    return replaced == t.replaced.end() ? made : replaced->second;
}

Bytes stbl_children(const TrackPlan& t, const std::vector<uint32_t>& offsets) {
    std::vector<uint32_t> sizes;
    for (const Bytes& s : t.samples) sizes.push_back(uint32_t(s.size()));
    // One sample per chunk; a new stsc entry wherever the description changes.
    std::vector<StscEntry> chunks;
    for (size_t i = 0; i < t.samples.size(); ++i) {
        const uint32_t d = t.description.empty() ? 1 : t.description[i];
        if (chunks.empty() || chunks.back().description_index != d) chunks.push_back({uint32_t(i + 1), 1, d});
    }
    Bytes children =
        cat({table(t, "stsd", stsd(t.stsd_entries, t.entry_count)),
             table(t, "stts", stts({{uint32_t(t.samples.size()), t.delta}})), table(t, "stsc", stsc(chunks)),
             table(t, "stsz", stsz(sizes)), table(t, "stco", stco(offsets))});
    if (!t.sync.empty() || t.replaced.count("stss")) append(children, table(t, "stss", stss(t.sync)));
    if (t.replaced.count("ctts")) append(children, t.replaced.at("ctts"));
    append(children, t.extra);
    return children;
}

Bytes trak_box(const TrackPlan& t, uint32_t id, const std::vector<uint32_t>& offsets) {
    const uint64_t duration = uint64_t(t.samples.size()) * t.delta;
    const bool sound = std::string(t.handler) == "soun";
    const Bytes media_header = sound ? full_box("smhd", 0, 0, zeros(4)) : full_box("vmhd", 0, 1, zeros(8));
    const Bytes mdia = box("mdia", cat({table(t, "mdhd", mdhd(0, t.time_scale, duration)), hdlr(t.handler),
                                        minf(media_header, stbl_children(t, offsets))}));
    return box("trak", cat({tkhd(0, id, t.time_scale ? duration * 1000 / t.time_scale : 0, sound ? 0 : 160u << 16,
                                 sound ? 0 : 128u << 16),
                            mdia}));
}

// ftyp, mdat with every track's samples one after the other, then moov.
Bytes movie(const std::vector<TrackPlan>& tracks, const Bytes& mvhd_box = mvhd(0, 1000, 2000)) {
    const Bytes head = ftyp();
    Bytes data;
    std::vector<std::vector<uint32_t>> offsets;
    for (const TrackPlan& t : tracks) {
        offsets.emplace_back();
        for (const Bytes& s : t.samples) {
            offsets.back().push_back(uint32_t(head.size() + 8 + data.size()));
            append(data, s);
        }
    }
    Bytes traks;
    for (size_t i = 0; i < tracks.size(); ++i) append(traks, trak_box(tracks[i], uint32_t(i + 1), offsets[i]));
    return cat({head, box("mdat", data), box("moov", cat({mvhd_box, traks}))});
}

Bytes av_movie(const TrackPlan& video = video_plan(), const TrackPlan& audio = audio_plan()) {
    return movie({video, audio});
}

TrackPlan replaced(TrackPlan t, const char* type, Bytes value) {
    t.replaced[type] = std::move(value);
    return t;
}

// ---- The set --------------------------------------------------------------

void add(std::vector<HostileFile>* set, const std::string& name, Bytes bytes,
         HostileExpect expect = HostileExpect::kAny) {
    set->push_back({name, std::move(bytes), expect});
}

// Malformed tables in the video or the audio track of an otherwise good movie, where the filter's own code meets
// them: sample reads past the end of the file, key frame tables, a time scale of 0. (The library's own hostile files,
// copied beside these, bring every other class of malformed input.)
void broken_tracks(std::vector<HostileFile>* set) {
    const struct {
        const char* name;
        const char* type;
        Bytes value;
    } rows[] = {
        {"stsz-longer", "stsz", stsz(std::vector<uint32_t>(80, 204))},
        {"chunk-offsets-past-the-file", "stco", stco(std::vector<uint32_t>(50, 0x7FFFFFF0))},
        {"stss-sample-0-and-past", "stss", stss({0, 1000, 0xFFFFFFFF})},
        {"stss-empty", "stss", stss({})},
        {"mdhd-time-scale-0", "mdhd", mdhd(0, 0, 25600)},
    };
    for (const auto& r : rows) {
        add(set, std::string("video-") + r.name, av_movie(replaced(video_plan(), r.type, r.value)));
        add(set, std::string("audio-") + r.name, av_movie(video_plan(), replaced(audio_plan(), r.type, r.value)));
    }
    add(set, "esds-length-past-its-box",
        av_movie(video_plan(), audio_plan(audio_entry("mp4a", 2, 16, 48000u << 16,
                                                      full_box("esds", 0, 0, cat({u8(3), u8(0x7F), u16(1), u8(0)}))))));
    const Bytes good = av_movie();
    add(set, "no-moov", cat({ftyp(), box("mdat", zeros(64))}), HostileExpect::kRefused);
    add(set, "moov-without-tracks", cat({ftyp(), box("moov", mvhd(0, 1000))}), HostileExpect::kRefused);
    // A playable movie followed by a fragment of the video track.
    add(set, "moov-then-fragment",
        cat({good, moof(1, traf(cat({tfhd({1, 0x020000}), tfdt(25600), trun(0x300, {{512, 204}})})))}));
    // Truncated at sixteen places, eight of them inside moov: reads past the end of the file.
    const char* moov_type = "moov";
    const size_t moov = size_t(std::search(good.begin(), good.end(), moov_type, moov_type + 4) - good.begin());
    for (int i = 1; i <= 8; ++i) {
        add(set, "cut-" + std::to_string(i) + "-of-8", Bytes(good.begin(), good.begin() + good.size() * i / 9));
        const size_t in_moov = moov + (good.size() - moov) * i / 9;
        add(set, "cut-in-moov-" + std::to_string(i) + "-of-8", Bytes(good.begin(), good.begin() + in_moov));
    }
}

// Files that reach the pins' own parsing and delivery.
void pin_files(std::vector<HostileFile>* set) {
    const TrackPlan a = audio_plan();
    // Parameter sets and the records that hold them.
    const HostileFile entries[] = {
        {"avc-sps-unparsable", avc1(avcc({{0x67, 0x42}}, {kPps}, 1)), HostileExpect::kComplete},
        {"avc-sps-empty", avc1(avcc({{}}, {kPps}, 1))},
        {"avc-no-parameter-sets", avc1(avcc({}, {}, 0))},
        {"avc-31-sps", avc1(avcc(std::vector<Bytes>(31, kSps), {kPps}, 31)), HostileExpect::kComplete},
        // 32 sets written, a count field (5 bits) that holds at most 31.
        {"avc-32-sps", avc1(avcc(std::vector<Bytes>(32, kSps), {kPps}, 31))},
        {"avc-255-pps", avc1(avcc({kSps}, std::vector<Bytes>(255, kPps), 1)), HostileExpect::kComplete},
        // The avcC's level field (the SPS itself says 3.0): below 9 is refused, 9 plays.
        {"avc-level-8", avc1(avcc({kSps}, {kPps}, 1, 3, 8)), HostileExpect::kOnlyAudioPlays},
        {"avc-level-9", avc1(avcc({kSps}, {kPps}, 1, 3, 9)), HostileExpect::kComplete},
        {"avc-avcc-truncated", avc1(box("avcC", Bytes{1, 0x42, 0xC0}))},
        {"avc-no-avcc", visual_entry("avc1", 160, 128)},
        {"avc-length-size-3", avc1(avcc({kSps}, {kPps}, 1, 2)), HostileExpect::kAbort},
        {"avc-length-size-1", avc1(avcc({kSps}, {kPps}, 1, 0))},
    };
    for (const HostileFile& row : entries) {
        TrackPlan v = video_plan();
        v.stsd_entries = row.bytes;
        add(set, row.name, av_movie(v, a), row.expect);
    }

    // NAL length fields in the fourth sample.
    const HostileFile samples[] = {
        {"avc-nal-length-0", cat({u32(0), Bytes(200, 0x41)}), HostileExpect::kAbort},
        {"avc-nal-length-past-the-sample", cat({u32(300), Bytes(200, 0x41)}), HostileExpect::kAbort},
        {"avc-nal-length-2e32-1", cat({u32(0xFFFFFFFF), Bytes(200, 0x41)}), HostileExpect::kAbort},
        {"avc-sample-shorter-than-a-length", {0x00, 0x00}},
        {"avc-sample-size-0", {}},
    };
    for (const HostileFile& row : samples) {
        TrackPlan v = video_plan();
        v.samples[3] = row.bytes;
        add(set, row.name, av_movie(v, a), row.expect);
    }

    // Samples larger than a pin's buffer: AVC 3,125,000 bytes; AAC and AMR 4,608, at that size and one more.
    TrackPlan big_video = video_plan();
    big_video.samples.resize(3);
    big_video.sync = {1};
    const Bytes big(3125001, 0x41);
    big_video.samples[1] = cat({u32(uint32_t(big.size())), big});
    add(set, "avc-sample-past-the-buffer", av_movie(big_video, a), HostileExpect::kAbort);
    {
        TrackPlan amr = audio_plan(audio_entry("samr", 1, 16, 8000u << 16,
                                               box("damr", cat({fourcc("kelo"), u8(0), u16(0x81FF), u8(0), u8(1)}))));
        amr.time_scale = 8000;
        amr.delta = 160;
        amr.samples = std::vector<Bytes>(50, Bytes(32, 0x3C));
        TrackPlan big_audio = audio_plan();
        for (const size_t size : {4608, 4609}) {
            const HostileExpect expect = size == 4608 ? HostileExpect::kComplete : HostileExpect::kAbort;
            big_audio.samples[2] = Bytes(size, 0x21);
            add(set, "aac-sample-" + std::to_string(size) + "-bytes", av_movie(video_plan(), big_audio), expect);
            amr.samples[4] = Bytes(size, 0x3C);
            add(set, "amr-sample-" + std::to_string(size) + "-bytes", av_movie(video_plan(), amr), expect);
        }
        add(set, "amr-alone-sample-4609-bytes", movie({amr}), HostileExpect::kAbort);

        // A 3GP sample may hold several AMR frames (here 12.2 kbit/s ones: a header byte and 31 bytes), passed
        // whole at the first frame's time: 152 frames three to a sample, the last sample of two. The graph tests
        // play it against ffprobe's packets.
        amr.samples.clear();
        for (int frame = 0; frame < 152; ++frame) {
            if (frame % 3 == 0) amr.samples.emplace_back();
            append(amr.samples.back(), cat({u8(0x3C), Bytes(31, uint8_t(frame))}));
        }
        amr.delta = 480;
        amr.replaced["stts"] = stts({{50, 480}, {1, 320}});
        add(set, "amr-3-frames-per-sample", movie({amr}));
    }

    // AudioSpecificConfigs the AAC pin refuses, one of each kind (the parsers' own tests hold every value), and one
    // cut short; sample entries without one.
    // Refused: the pin's connection fails and the video plays alone.
    const HostileExpect kRefusedAudio = HostileExpect::kOnlyVideoPlays, kEdge = HostileExpect::kAny;
    auto aac = [](const Bytes& config) { return mp4a(esds(config)); };
    const HostileFile audio_entries[] = {
        {"aac-main", aac({0x09, 0x90}), kRefusedAudio},                      // object type 1
        {"aac-sbr", aac({0x2B, 0x10, 0x88, 0x00}), kRefusedAudio},           // 5, with its extension frequency
        {"aac-ps", aac({0xEB, 0x10, 0x88, 0x00}), kRefusedAudio},            // 29
        {"aac-escape-object-type", aac({0xF8, 0x0E, 0x40}), kRefusedAudio},  // 31: 32 + 6
        {"aac-channels-1", aac({0x11, 0x88}), HostileExpect::kComplete},
        {"aac-channels-3", aac({0x11, 0x98}), kRefusedAudio},
        {"aac-channels-8-reserved", aac({0x11, 0xC0}), kRefusedAudio},
        {"aac-frequency-index-15-truncated", aac({0x17, 0x80}), kEdge},
        // Configuration 0 with a program_config_element of three front elements, and one cut short.
        {"aac-pce-three-front", aac({0x11, 0x80, 0x01, 0x8C, 0x00, 0x00, 0x00, 0x00}), kRefusedAudio},
        {"aac-pce-truncated", aac({0x11, 0x80, 0x01}), kRefusedAudio},
        {"aac-config-one-byte", aac({0x11}), kRefusedAudio},
        {"aac-config-empty", aac({}), kRefusedAudio},
        {"aac-no-decoder-specific-info", mp4a(esds({}, false)), kRefusedAudio},
        {"aac-mp3-object-type-indication", mp4a(esds(kAscLcStereo, true, 0x6B))},
        {"aac-no-esds", audio_entry("mp4a", 2, 16, 48000u << 16)},
    };
    for (const HostileFile& row : audio_entries)
        add(set, row.name, av_movie(video_plan(), audio_plan(row.bytes)), row.expect);
    add(set, "aac-alone-refused", movie({audio_plan(mp4a(esds({0x09, 0x90})))}));

    // MPEG-4 Visual: a VOL header that ends in the middle, a configuration that starts with a VOP (refused);
    // H.263 with no d263.
    {
        auto mp4v_with = [](const Bytes& config) {
            const Bytes decoder = cat({u8(0x20), u8(0x11), be(0, 3), u32(0), u32(0), descriptor(5, config)});
            TrackPlan v = video_plan();
            v.stsd_entries = visual_entry(
                "mp4v", 160, 128,
                full_box("esds", 0, 0,
                         descriptor(3, cat({u16(1), u8(0), descriptor(4, decoder), descriptor(6, {0x02})}))));
            v.samples = aac_samples(50, 120);
            return v;
        };
        const TrackPlan v = mp4v_with({0x00, 0x00, 0x01, 0xB0, 0x01, 0x00, 0x00, 0x01, 0xB5, 0x09, 0x00, 0x00, 0x01,
                                       0x00, 0x00, 0x00, 0x01, 0x20, 0x00});
        add(set, "mp4v-vol-past-its-end", av_movie(v, a), HostileExpect::kOnlyAudioPlays);
        add(set, "mp4v-alone-vol-past-its-end", movie({v}));
        add(set, "mp4v-config-starting-with-a-vop", av_movie(mp4v_with({0x00, 0x00, 0x01, 0xB6, 0x10, 0x00}), a),
            HostileExpect::kOnlyAudioPlays);
        TrackPlan h263 = v;
        h263.stsd_entries = visual_entry("s263", 176, 144);
        add(set, "s263-without-d263", av_movie(h263, a));
    }

    // Big-endian PCM with 4 bits per sample, and with 0 channels.
    {
        TrackPlan pcm = audio_plan(audio_entry("twos", 2, 4, 44100u << 16));
        pcm.time_scale = 44100;
        pcm.delta = 1;
        pcm.samples = std::vector<Bytes>(4410, Bytes{0x12});
        add(set, "twos-4-bits", av_movie(video_plan(), pcm));
        add(set, "twos-alone-4-bits", movie({pcm}));
        pcm.stsd_entries = audio_entry("twos", 0, 16, 44100u << 16);
        add(set, "twos-0-channels", movie({pcm}));
        pcm.stsd_entries = audio_entry("twos", 2, 16, 0);
        pcm.time_scale = 0;
        add(set, "twos-rate-and-time-scale-0", movie({pcm}));
    }

    // A sample description index that changes mid-track: to a second good
    // entry, to one of another kind, and to one that does not exist.
    {
        TrackPlan v = video_plan();
        v.stsd_entries = cat({kAvc1, avc1(avcc({{0x67, 0x4D, 0x40, 0x1F, 0xDA, 0x0A, 0x11, 0x90}}, {kPps}, 1))});
        v.entry_count = 2;
        v.description.assign(50, 1);
        std::fill(v.description.begin() + 20, v.description.end(), 2);
        TrackPlan au = audio_plan();
        au.stsd_entries = cat({kMp4a, mp4a(esds({0x11, 0x88}), 1)});
        au.entry_count = 2;
        au.description.assign(94, 1);
        std::fill(au.description.begin() + 40, au.description.end(), 2);
        add(set, "description-changes-mid-track", av_movie(v, au), HostileExpect::kComplete);
        v.stsd_entries = cat({kAvc1, visual_entry("mp4v", 160, 128)});
        au.stsd_entries = cat({kMp4a, audio_entry("twos", 2, 16, 48000u << 16)});
        add(set, "description-changes-kind-mid-track", av_movie(v, au));
        v.stsd_entries = kAvc1;
        v.entry_count = 1;
        std::fill(v.description.begin() + 20, v.description.end(), 3);
        au.stsd_entries = kMp4a;
        au.entry_count = 1;
        std::fill(au.description.begin() + 40, au.description.end(), 0);
        add(set, "description-index-missing-mid-track", av_movie(v, au));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_filter_hostile_set DIR\n");
        return 2;
    }
    std::filesystem::create_directories(argv[1]);
    std::vector<HostileFile> set;
    add(&set, "good-h264-aac", av_movie(), HostileExpect::kComplete);
    broken_tracks(&set);
    pin_files(&set);
    for (const HostileFile& file : set) {
        const std::string path =
            std::string(argv[1]) + "/" + kExpectPrefix[static_cast<int>(file.expect)] + "--" + file.name + ".mp4";
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(file.bytes.data()), static_cast<std::streamsize>(file.bytes.size()));
        if (!out) {
            std::fprintf(stderr, "write_filter_hostile_set: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
