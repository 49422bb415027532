// One input drives the whole public interface as the filter and its pins use
// it: the movie open with options chosen by the input, the track queries, the
// sample descriptions with every entry query, and sample access by number, by
// time and by sync search. Every call must answer a documented code and leave
// its out-parameters alone when it fails; after each input the memory that
// the open took must be back, and no block may have been out of proportion
// to the input.
#include <algorithm>
#include <vector>

#include "counting_allocator.h"
#include "fuzz_checks.h"
#include "fuzz_movie.h"
#include "support/memory_file.h"

namespace {

// The input's last three bytes choose the open options; the rest is the file:
//   byte 1: bits 0-2 the budget, bit 3 walk_all_boxes, bit 4 fragment_mode;
//   byte 2: sample_percent, 0 to 101 (101 is out of range);
//   byte 3: the seed of the random sample and time choices.
constexpr size_t kOptionBytes = 3;

// No budget (no accounting, as the filter opens), budgets too small for the
// handle or for the windows, and budgets that hold any small file.
constexpr uint64_t kBudgets[8] = {0, 1, 256, 4096, 16384, 65536, 262144, uint64_t(1) << 24};

// Without a budget, pool 2 is still sized as if it held this much.
constexpr uint64_t kUnaccountedSamplePool = 0x20000;

// More than any fixed-size record of the library with its allocation header.
constexpr uint64_t kRecordSlack = 64 * 1024;

// Bounds on the calls one input makes, so every input runs in bounded time.
constexpr uint32_t kMaxTracks = 8, kMaxEntries = 4, kMaxSets = 4, kMaxProfiles = 4;
constexpr uint32_t kSamplesAtEachEnd = 8, kRandomSamples = 16, kWalkedSamples = 300;

struct Options {
    OpenParams params{};
    uint64_t seed = 0;
};

Options options_from(const uint8_t *tail) {
    Options o;
    o.params.memory_budget = kBudgets[tail[0] & 7];
    o.params.walk_all_boxes = (tail[0] >> 3) & 1;
    o.params.fragment_mode = (tail[0] >> 4) & 1;
    o.params.sample_percent = tail[1] % 102;
    o.seed = tail[2];
    return o;
}

// The largest block that an open of a file of `file_size` bytes may ask for.
// Every block the library allocates is one of:
// - bytes read or copied from the file (a leaf box body read whole, a Blob,
//   the KIDs of a pssh): at most the file size, plus a terminator;
// - a pool-2 buffer (a sample-table window, fragment records): sized from
//   the pool-2 budget, the sample share of the memory budget, or 131072
//   bytes when the open has no budget;
// - a fixed-size record.
// A size computed from a count in the file without these limits shows up as
// a block beyond this bound.
uint64_t allocation_bound(uint64_t file_size, const OpenParams &p) {
    const uint64_t sample_pool = p.memory_budget == 0 ? kUnaccountedSamplePool
                                                      : p.memory_budget * std::min(p.sample_percent, 100u) / 100;
    return std::max(file_size, sample_pool) + kRecordSlack;
}

// splitmix64: the random choices of one input, fixed by its seed.
struct Random {
    uint64_t state;
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    uint64_t below(uint64_t n) { return n == 0 ? 0 : next() % n; }
};

template <class T>
uint32_t list_length(const T *head) {
    uint32_t n = 0;
    for (; head; head = head->next) ++n;
    return n;
}

uint32_t vendor_list_length(const VendorBoxRecord &v) { return list_length(v.head); }

// The movie record is handed out as a view: its lists must hold as many
// nodes as their counts say.
void check_movie_record(const MovieRecord &m) {
    require(list_length(m.moov.tracks_head) == m.moov.track_count, "the track list holds track_count nodes");
    require(list_length(m.moov.pssh_head) == m.moov.pssh_count, "the pssh list holds pssh_count nodes");
    require(list_length(m.moov.mvex.trex_head) == m.moov.mvex.trex_count, "the trex list holds trex_count nodes");
    for (const VendorBoxRecord *v : {&m.prof, &m.lici, &m.moov.usmt})
        require(vendor_list_length(*v) == v->entry_count, "a vendor list holds entry_count entries");
    for (const TrackNode *t = m.moov.tracks_head; t; t = t->next)
        require(vendor_list_length(t->usmt) == t->usmt.entry_count, "a track's USMT holds entry_count entries");
    for (const PsshRecord *p = m.moov.pssh_head; p; p = p->next)
        read_bytes(p->kids, uint64_t(p->kid_count) * 16);
}

// A copying query given room for one byte more than its size query said
// copies the bytes and zeroes the rest; given one byte less it refuses.
template <class Copy>
void check_copy(uint32_t length, uint64_t file_size, Copy copy) {
    require(length <= file_size, "copied bytes come from the file");
    std::vector<uint8_t> buffer(size_t(length) + 1, 0xA5);
    const uint32_t ret = documented(copy(length + 1, buffer.data()));
    if (length == 0) {
        require(ret == BXF_RET_NOTFOUND, "an empty copy is BXF_RET_NOTFOUND");
        return;
    }
    require(ret == BXF_RET_OK, "a copy with room enough succeeds");
    require(buffer[length] == 0, "the room beyond the bytes is zeroed");
    require(documented(copy(length - 1, buffer.data())) == BXF_RET_ARGS, "a copy without room is BXF_RET_ARGS");
}

// The size and bytes of every parameter set of one list, one past the last.
template <class Size, class Copy>
void exercise_parameter_sets(uint32_t count, uint64_t file_size, Size size_of, Copy copy) {
    const uint32_t sets = std::min(count, kMaxSets) + 1;
    for (uint32_t set = 1; set <= sets; ++set) {
        Out<uint32_t> length;
        if (checked(size_of(set, &length.value), length) != BXF_RET_OK) continue;
        check_copy(length.value, file_size,
                   [&](uint32_t capacity, uint8_t *buffer) { return copy(set, capacity, buffer); });
    }
}

void exercise_entry(PlayHandle *h, const SampleDescriptions *d, uint32_t e, uint64_t file_size) {
    Out<VisualEntryInfo> visual;
    checked(bxf_get_visual_entry(h, d, e, &visual.value), visual);
    Out<AudioEntryInfo> audio;
    checked(bxf_get_audio_entry(h, d, e, &audio.value), audio);
    Out<DecoderConfigInfo> decoder;
    checked(bxf_get_decoder_config(h, d, e, &decoder.value), decoder);

    Out<uint32_t> esds_size;
    if (checked(bxf_get_esds_size(h, d, e, &esds_size.value), esds_size) == BXF_RET_OK)
        check_copy(esds_size.value, file_size, [&](uint32_t capacity, uint8_t *buffer) {
            return bxf_get_esds_bytes(h, d, e, capacity, buffer);
        });

    Out<AvcConfigInfo> avc;
    if (checked(bxf_get_avc_config(h, d, e, &avc.value), avc) != BXF_RET_OK) return;
    exercise_parameter_sets(
        avc.value.sps_count, file_size,
        [&](uint32_t set, uint32_t *out) { return bxf_get_avc_sps_size(h, d, e, set, out); },
        [&](uint32_t set, uint32_t capacity, uint8_t *buffer) { return bxf_get_avc_sps(h, d, e, set, capacity, buffer); });
    exercise_parameter_sets(
        avc.value.pps_count, file_size,
        [&](uint32_t set, uint32_t *out) { return bxf_get_avc_pps_size(h, d, e, set, out); },
        [&](uint32_t set, uint32_t capacity, uint8_t *buffer) { return bxf_get_avc_pps(h, d, e, set, capacity, buffer); });
}

void exercise_descriptions(PlayHandle *h, uint32_t track, uint64_t file_size) {
    Out<SampleDescriptions *> d;
    if (checked(bxf_get_sample_descriptions(h, track, &d.value), d) != BXF_RET_OK) return;
    Out<uint32_t> count;
    require(checked(bxf_get_sample_description_count(h, d.value, &count.value), count) == BXF_RET_OK &&
                count.value == d.value->entry_count && list_length(d.value->head) == count.value,
            "the entry list holds as many entries as the count query says");
    const uint32_t entries = std::min(d.value->entry_count, kMaxEntries) + 1;
    for (uint32_t e = 1; e <= entries; ++e) exercise_entry(h, d.value, e, file_size);
    require(documented(bxf_release_sample_descriptions(h, d.value)) == BXF_RET_OK, "a release succeeds");
}

// The walk in sample order, from the tables on into the fragments, until
// BXF_RET_NOTFOUND: within the tables each sample is decoded where the one
// before it ends.
uint32_t walk_in_order(PlayHandle *h, uint32_t track, uint32_t table_samples) {
    uint64_t end = 0;
    uint32_t k = 1;
    for (; k <= kWalkedSamples; ++k) {
        Out<SampleInfo> info;
        if (checked(bxf_play_get_sample_info(h, track, k, 0, &info.value), info) != BXF_RET_OK) break;
        if (k > 1 && k <= table_samples) require(info.value.decode_time == end, "table samples follow each other");
        end = info.value.decode_time + info.value.duration;
    }
    return k - 1;  // the last sample walked
}

// Sample access by number: the first and last samples, random ones (one past
// the last among them), and the sync searches both ways.
void exercise_sample_numbers(PlayHandle *h, uint32_t track, bool fragmented, Random &random) {
    Out<uint32_t> count;
    const bool counted = checked(bxf_play_get_sample_count(h, track, &count.value), count) == BXF_RET_OK;
    const uint32_t n = counted ? count.value : 0;

    std::vector<uint32_t> numbers;
    for (uint32_t i = 1; i <= std::min(n, kSamplesAtEachEnd); ++i) numbers.push_back(i);
    for (uint32_t i = 0; i < std::min(n, kSamplesAtEachEnd); ++i) numbers.push_back(n - i);
    for (uint32_t i = 0; i < kRandomSamples; ++i) numbers.push_back(uint32_t(1 + random.below(uint64_t(n) + 1)));
    // From the end first, an empty window loads backwards.
    if (random.next() & 1) std::reverse(numbers.begin(), numbers.end());
    for (size_t i = 0; i < numbers.size(); ++i) {
        Out<SampleInfo> info;
        checked(bxf_play_get_sample_info(h, track, numbers[i], uint32_t(i & 1), &info.value), info);
    }
    if (counted && n < UINT32_MAX && !fragmented) {
        Out<SampleInfo> info;
        require(checked(bxf_play_get_sample_info(h, track, n + 1, 0, &info.value), info) == BXF_RET_NOTFOUND,
                "the sample after the last is BXF_RET_NOTFOUND, the end of the track");
    }
    const uint32_t walked = walk_in_order(h, track, n);

    const uint32_t sync_from[] = {1, 2, n / 2, n, n + 1, uint32_t(1 + random.below(uint64_t(n) + 1)), walked};
    for (uint32_t from : sync_from)
        for (uint32_t forward = 0; forward <= 1; ++forward) {
            Out<uint32_t> sync;
            Out<uint64_t> start;
            checked(bxf_play_find_sync_sample(h, track, from, forward, &sync.value, &start.value), sync, start);
        }
}

// Sample access by time: around 0 and the media duration, in the middle, at
// random and at the largest time, inclusive and not, and both durations.
void exercise_sample_times(PlayHandle *h, uint32_t track, uint64_t duration, Random &random) {
    const uint64_t times[] = {0,        1,           duration / 2, duration - 1, duration, duration + 1,
                              random.below(duration + 2), UINT64_MAX};
    for (uint64_t time : times)
        for (uint32_t inclusive = 0; inclusive <= 1; ++inclusive) {
            Out<uint32_t> is_sync, sample;
            Out<uint64_t> start;
            checked(bxf_play_find_sample_at_time(h, track, time, inclusive, &is_sync.value, &sample.value,
                                                 &start.value),
                    is_sync, sample, start);
            Out<uint64_t> at;
            Out<SampleInfo> info;
            checked(bxf_play_get_sample_at_time(h, track, time, inclusive, inclusive, &at.value, &info.value), at,
                    info);
            for (uint32_t forward = 0; forward <= 1; ++forward) {
                Out<uint64_t> near;
                checked(bxf_play_find_sync_time_near(h, track, time, inclusive, forward, &near.value), near);
            }
        }
    for (uint32_t whole = 0; whole <= 1; ++whole) {
        Out<uint64_t> length;
        checked(bxf_play_get_track_duration(h, track, whole, &length.value), length);
    }
    Out<uint64_t> first, end;
    if (checked(bxf_play_get_track_timeline(h, track, &first.value, &end.value), first, end) == BXF_RET_OK)
        require(first.value <= end.value, "a track's timeline starts before it ends");
}

// Everything the filter and a pin ask about one track. The later calls run
// even when the open fails: they must then answer, not crash.
void exercise_track(PlayHandle *h, uint32_t track, uint64_t file_size, bool fragmented, Random &random) {
    Out<TrackHeaderInfo> header;
    checked(bxf_get_track_header(h, track, &header.value), header);
    Out<MediaHeaderInfo> media;
    const bool has_media = checked(bxf_get_media_header(h, track, &media.value), media) == BXF_RET_OK;
    Out<HandlerInfo> handler;
    checked(bxf_get_handler(h, track, &handler.value), handler);

    checked(bxf_open_track(h, track));
    Out<uint32_t> edit_flags, edit_count;
    if (checked(bxf_get_edit_list_info(h, track, &edit_flags.value, &edit_count.value), edit_flags, edit_count) ==
        BXF_RET_OK)
        for (uint32_t e = 1; e <= std::min(edit_count.value, kMaxEntries) + 1; ++e) {
            Out<EditListEntry> edit;
            checked(bxf_get_edit_list_entry(h, track, e, &edit.value), edit);
        }

    exercise_descriptions(h, track, file_size);
    exercise_sample_numbers(h, track, fragmented, random);
    exercise_sample_times(h, track, has_media ? media.value.duration : 0, random);
}

void exercise_movie(PlayHandle *h, uint64_t file_size, Random &random) {
    Out<const MovieRecord *> movie;
    bool fragmented = false;
    if (checked(bxf_play_get_movie(h, &movie.value), movie) == BXF_RET_OK) {
        check_movie_record(*movie.value);
        fragmented = movie.value->moov.mvex.trex_head && movie.value->moof_head;
    }

    Out<uint32_t> count;
    if (checked(bxf_get_track_count(h, &count.value), count) != BXF_RET_OK) return;
    const uint32_t tracks = std::min(count.value, kMaxTracks) + 1;  // one past the last
    for (uint32_t t = 1; t <= tracks; ++t) exercise_track(h, t, file_size, fragmented, random);
    // Opening a track resizes the windows of those opened before it.
    for (uint32_t t = 1; t <= tracks; ++t) {
        Out<SampleInfo> info;
        checked(bxf_play_get_sample_info(h, t, 1, 1, &info.value), info);
    }

    for (uint32_t p = 1; p <= kMaxProfiles; ++p) {
        Out<VideoProfileInfo> profile;
        if (checked(bxf_get_video_profile(h, p, &profile.value), profile) != BXF_RET_OK) break;
    }
}

}  // namespace

uint32_t drive_movie_input(const uint8_t *data, size_t size) {
    if (size < kOptionBytes) return BXF_RET_ARGS;
    const Options options = options_from(data + size - kOptionBytes);
    MemoryFile file;
    file.bytes.assign(data, data + size - kOptionBytes);

    AllocationCounter counter;
    counter.bound = allocation_bound(file.bytes.size(), options.params);
    FileOps ops = memory_file_ops();
    count_allocations(&ops, &counter);
    LibraryInstance *inst = nullptr;
    require(bxf_create(&ops, &inst) == BXF_RET_OK, "the instance is created");
    const uint64_t blocks_before = counter.live_blocks;
    const uint64_t general_before = inst->general_used, sample_before = inst->sample_used;

    Out<PlayHandle *> handle;
    Out<uint32_t> flags;
    const uint32_t open_code =
        checked(bxf_play_open(inst, &file, &options.params, &handle.value, &flags.value), handle, flags);
    if (open_code == BXF_RET_OK) {
        Random random{options.seed};
        exercise_movie(handle.value, file.bytes.size(), random);
        require(documented(bxf_play_close(handle.value)) == BXF_RET_OK, "a close succeeds");
    }
    // Checked with accounting on, and after a failed open too: it releases all it built.
    require(inst->general_used == general_before && inst->sample_used == sample_before,
            "closing the movie returns both pools' used bytes to where they were");
    require(counter.live_blocks == blocks_before, "closing the movie gives back every block");
    bxf_destroy(inst);
    require(counter.live_blocks == 0 && counter.live_bytes == 0, "destroying the instance gives back its block");
    return open_code;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    drive_movie_input(data, size);
    return 0;
}
