#include "track_edit.h"

#include "media_time.h"

namespace {

// A movie-scale duration in 100 ns.
int64_t MovieToMediaTime(uint64_t duration, uint32_t movie_scale) {
    return ClampToInt64(static_cast<__int128>(duration) * kUnitsPerSecond / movie_scale);
}

}  // namespace

TrackEdit ReadTrackEdit(PlayHandle* play, uint32_t track) {
    TrackEdit edit;
    const MovieRecord* movie = nullptr;
    uint32_t flags = 0, count = 0;
    if (bxf_play_get_movie(play, &movie) != BXF_RET_OK || movie->moov.time_scale == 0 ||
        bxf_get_edit_list_info(play, track, &flags, &count) != BXF_RET_OK || count == 0 || count > 2)
        return edit;
    EditListEntry first{}, media{};
    if (bxf_get_edit_list_entry(play, track, 1, &first) != BXF_RET_OK) return edit;
    const bool delayed = count == 2 && first.media_time == -1;
    if (count == 2 && (!delayed || bxf_get_edit_list_entry(play, track, 2, &media) != BXF_RET_OK)) return edit;
    if (count == 1) media = first;
    // Only edits that play the media at its own rate.
    if (media.media_time < 0 || media.media_rate_integer != 1 || media.media_rate_fraction != 0) return edit;
    edit.applied = true;
    edit.delay = delayed ? MovieToMediaTime(first.segment_duration, movie->moov.time_scale) : 0;
    edit.media_start = media.media_time;
    edit.length = MovieToMediaTime(media.segment_duration, movie->moov.time_scale);
    return edit;
}
