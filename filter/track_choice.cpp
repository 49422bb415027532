#include "track_choice.h"

#include <algorithm>
#include <tuple>

#include "track_language.h"

namespace {

// The first enabled track of a kind, or null.
const TrackFacts* FirstEnabled(const std::vector<TrackFacts>& tracks, TrackKind kind) {
    for (const TrackFacts& track : tracks)
        if (track.kind == kind && track.enabled) return &track;
    return nullptr;
}

// Lower sorts first; ties keep track order.
std::tuple<int, int, int> Rank(const TrackFacts& track, const TrackFacts* first, LANGID ui_language) {
    if (!first) return {0, 0, 0};  // no flags for this kind: track order alone
    if (!track.enabled) return {1, 0, 0};
    if (track.alternate_group != first->alternate_group) return {0, 1, 0};
    // Group 0 holds no alternates: every such track is meant to play.
    const bool alternate = first->alternate_group != 0 && track.entry_type == first->entry_type;
    const bool preferred = alternate && IsUserLanguage(track.language, ui_language);
    return {0, 0, preferred ? 0 : 1};
}

}  // namespace

std::vector<uint32_t> TrackTryOrder(const std::vector<TrackFacts>& tracks, LANGID ui_language) {
    // Each kind is ordered on its own and refills the places its tracks held,
    // so the pins keep the kinds' order in the file.
    std::vector<uint32_t> numbers(tracks.size());
    for (const TrackKind kind : {TrackKind::Audio, TrackKind::Video}) {
        const TrackFacts* first = FirstEnabled(tracks, kind);
        std::vector<const TrackFacts*> order;
        std::vector<size_t> places;
        for (size_t i = 0; i < tracks.size(); ++i) {
            if (tracks[i].kind != kind) continue;
            order.push_back(&tracks[i]);
            places.push_back(i);
        }
        std::stable_sort(order.begin(), order.end(), [&](const TrackFacts* a, const TrackFacts* b) {
            return Rank(*a, first, ui_language) < Rank(*b, first, ui_language);
        });
        for (size_t i = 0; i < order.size(); ++i) numbers[places[i]] = order[i]->number;
    }
    return numbers;
}
