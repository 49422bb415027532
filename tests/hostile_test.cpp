// Hostile files (written by tests/support/write_library_hostile_set.cpp):
// each class of malformed input that has broken MP4 parsers gets the codes
// its file's name states, and no input may crash, hang, leak or leave pool
// memory behind. The driver asks every question a player asks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bxf.h"
#include "support/box_writer.h"
#include "support/memory_file.h"
#include "support/opened_movie.h"

using boxw::Bytes;

namespace {

#define BXF_RET_LIST_ENTRY(code) code,
const uint32_t kDocumented[] = {BXF_RET_EACH(BXF_RET_LIST_ENTRY)};
#undef BXF_RET_LIST_ENTRY

TEST(ReturnCodes, AnUndocumentedCodeHasNoName) { EXPECT_STREQ(bxf_ret_name(0x3), "BXF_RET_UNKNOWN"); }

uint32_t documented(uint32_t code) {
    for (uint32_t c : kDocumented)
        if (c == code) return code;
    ADD_FAILURE() << "undocumented code " << code;
    return code;
}

// What a player learns of a file: the open, track 1's open, its first and
// last sample, the sample at a late time, and the whole duration.
constexpr uint32_t kNotAsked = 0xFFFFFFFF;
struct Outcome {
    uint32_t open = kNotAsked, track = kNotAsked, first = kNotAsked, last = kNotAsked, at_time = kNotAsked,
             duration = kNotAsked;
};

Outcome drive(const Bytes &bytes, uint32_t fragment_mode = 0) {
    OpenedMovie m(bytes, OpenParams{uint64_t(4) << 20, 50, 1, fragment_mode});
    PlayHandle *handle = m.handle;
    Outcome o;
    o.open = documented(m.code);
    if (o.open == BXF_RET_OK) {
        uint32_t tracks = 0;
        bxf_get_track_count(handle, &tracks);
        o.track = documented(bxf_open_track(handle, 1));
        for (uint32_t t = 2; t <= tracks && t <= 4; ++t) documented(bxf_open_track(handle, t));
        SampleDescriptions *d = nullptr;
        if (documented(bxf_get_sample_descriptions(handle, 1, &d)) == BXF_RET_OK) bxf_release_sample_descriptions(handle, d);
        SampleInfo s;
        uint32_t count = 0, sync = 0, sample = 0;
        uint64_t start = 0, duration = 0;
        o.first = documented(bxf_play_get_sample_info(handle, 1, 1, 1, &s));
        if (documented(bxf_play_get_sample_count(handle, 1, &count)) == BXF_RET_OK && count)
            o.last = documented(bxf_play_get_sample_info(handle, 1, count, 1, &s));
        o.duration = documented(bxf_play_get_track_duration(handle, 1, 1, &duration));
        o.at_time = documented(bxf_play_get_sample_at_time(handle, 1, duration ? duration - 1 : 0, 1, 1, &start, &s));
        documented(bxf_play_find_sample_at_time(handle, 1, duration / 2, 0, &sync, &sample, &start));
        documented(bxf_play_find_sync_time_near(handle, 1, duration / 2 + 1, 1, 0, &start));
        documented(bxf_play_find_sync_time_near(handle, 1, duration / 2, 1, 1, &start));
        documented(bxf_play_find_sync_sample(handle, 1, count / 2 + 2, 1, &sample, &start));
    }
    return o;  // the movie closes here, its pools checked back to empty
}

// The set that write_library_hostile_set wrote: (expected codes, name, bytes) per file.
struct HostileFile {
    std::string expected, name;
    Bytes bytes;
};

std::vector<HostileFile> hostile_set() {
    const char *dir = std::getenv("BXF_LIBRARY_HOSTILE_DIR");
    if (!dir) {
        ADD_FAILURE() << "BXF_LIBRARY_HOSTILE_DIR is unset; write the set with write_library_hostile_set DIR";
        return {};
    }
    std::vector<HostileFile> set;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
        const std::string file = entry.path().filename().string();
        const size_t split = file.find("--");
        std::ifstream in(entry.path(), std::ios::binary);
        set.push_back({file.substr(0, split), file.substr(split + 2), Bytes(std::istreambuf_iterator<char>(in), {})});
    }
    EXPECT_GE(set.size(), 30u) << dir;
    return set;
}

// The outcome as its file names it: each code's name without BXF_RET_, "x" where not asked.
std::string spelled(const Outcome &o) {
    std::string s;
    for (uint32_t code : {o.open, o.track, o.first, o.last, o.at_time, o.duration})
        s += (s.empty() ? "" : ".") + (code == kNotAsked ? "x" : std::string(bxf_ret_name(code)).substr(8));
    return s;
}

TEST(Hostile, EachFileGetsItsCodesInBothFragmentModes) {
    for (const HostileFile &f : hostile_set())
        for (uint32_t mode : {0u, 1u}) EXPECT_EQ(spelled(drive(f.bytes, mode)), f.expected) << f.name << " mode " << mode;
}

// Every prefix of the set's valid files, progressive and fragmented, in both
// fragment modes: whatever the cut, a documented code and no leak.
TEST(Hostile, TruncationAtEveryByte) {
    int valid_files = 0;
    for (const HostileFile &f : hostile_set()) {
        if (f.name != "valid.mp4" && f.name != "valid-fragments.mp4") continue;
        ++valid_files;
        for (size_t cut = 0; cut <= f.bytes.size(); ++cut) {
            const Bytes prefix(f.bytes.begin(), f.bytes.begin() + cut);
            drive(prefix, 0);
            drive(prefix, 1);
            if (HasFailure()) FAIL() << f.name << " at cut " << cut << " of " << f.bytes.size();
        }
    }
    EXPECT_EQ(valid_files, 2);
}

}  // namespace
