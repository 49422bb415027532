// Which track of each kind the filter plays by default: the order in which
// the load tries to make pins, the first usable track of each kind winning.
#ifndef KELO_FILTER_TRACK_CHOICE_H
#define KELO_FILTER_TRACK_CHOICE_H

#include <windows.h>

#include <cstdint>
#include <vector>

#include "track_catalog.h"

// The audio and video tracks in the order to try: per kind, the enabled
// tracks first; of those, the first enabled track's alternate group first;
// in that group, where alternates of one format differ by language, the
// user's interface language first; otherwise track order. Where no track of
// a kind is enabled, that kind keeps its track order.
std::vector<uint32_t> TrackTryOrder(const std::vector<TrackFacts>& tracks, LANGID ui_language);

#endif
