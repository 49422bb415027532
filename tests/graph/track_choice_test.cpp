// The default track choice on hand-made track records: the order in which
// the load tries the tracks, one row per rule.
#include <gtest/gtest.h>

#include <vector>

#include "track_choice.h"

namespace {

constexpr uint32_t kAac = BXF_FOURCC('m', 'p', '4', 'a');
constexpr uint32_t kPcm = BXF_FOURCC('t', 'w', 'o', 's');
constexpr uint16_t kEnglish = 0x15C7;  // "eng" packed
constexpr uint16_t kFrench = 0x1A41;   // "fra" packed
constexpr LANGID kUiEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK);
constexpr LANGID kUiFrench = MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH_CANADIAN);

TrackFacts Track(uint32_t number, TrackKind kind, bool enabled, uint16_t group = 1, uint16_t language = kEnglish,
                 uint32_t entry_type = kAac) {
    TrackFacts track;
    track.number = number;
    track.kind = kind;
    track.enabled = enabled;
    track.alternate_group = group;
    track.language = language;
    track.entry_type = entry_type;
    return track;
}

constexpr TrackKind A = TrackKind::Audio;
constexpr TrackKind V = TrackKind::Video;

struct ChoiceCase {
    const char* label;
    std::vector<TrackFacts> tracks;
    LANGID ui;
    std::vector<uint32_t> order;
};

TEST(TrackChoice, OrderFollowsFlagsGroupsAndLanguage) {
    const ChoiceCase cases[] = {
        {"no flags: track order", {Track(1, A, false), Track(2, V, false), Track(3, A, false)}, kUiEnglish, {1, 2, 3}},
        {"the enabled track before the first", {Track(1, A, false), Track(2, A, true)}, kUiEnglish, {2, 1}},
        {"the first enabled track's group first",
         {Track(1, A, true, 2), Track(2, A, true, 1), Track(3, A, true, 2)},
         kUiEnglish,
         {1, 3, 2}},
        {"alternates by language: the interface's, whatever the country",
         {Track(1, A, true, 1, kEnglish), Track(2, A, true, 1, kFrench)},
         kUiFrench,
         {2, 1}},
        {"alternates by language, English interface",
         {Track(1, A, true, 1, kEnglish), Track(2, A, true, 1, kFrench)},
         kUiEnglish,
         {1, 2}},
        {"another format is not an alternate by language",
         {Track(1, A, true, 1, kEnglish), Track(2, A, true, 1, kFrench, kPcm)},
         kUiFrench,
         {1, 2}},
        {"group 0 holds no alternates",
         {Track(1, A, true, 0, kEnglish), Track(2, A, true, 0, kFrench)},
         kUiFrench,
         {1, 2}},
        {"each kind refills its own places",
         {Track(1, V, false, 0), Track(2, A, false), Track(3, V, true, 0), Track(4, A, true)},
         kUiEnglish,
         {3, 4, 1, 2}},
    };
    for (const ChoiceCase& c : cases) EXPECT_EQ(TrackTryOrder(c.tracks, c.ui), c.order) << c.label;
}

}  // namespace
