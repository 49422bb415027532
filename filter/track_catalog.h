// What the filter tells players about each audio and video track of the file:
// read once at load, for the default track choice, the stream selection and
// the Streams page.
#ifndef KELO_FILTER_TRACK_CATALOG_H
#define KELO_FILTER_TRACK_CATALOG_H

#include <windows.h>
#include <strmif.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bxf.h"

enum class TrackKind { Audio, Video };

struct TrackFacts {
    uint32_t number = 0;  // 1-based, as the library numbers tracks
    TrackKind kind = TrackKind::Audio;
    bool enabled = false;  // the track header's enabled flag
    uint16_t alternate_group = 0;
    uint16_t language = 0;  // packed ISO 639-2, as the media header holds it
    std::wstring handler_name;
    uint32_t entry_type = 0;  // the first sample entry's four-character code; 0 when unreadable
    uint32_t kind_code = 0;   // BXF_FORMAT_TYPE_* of a video entry
    std::wstring format;      // "AAC LC 2.0, 48 kHz", "H.264 High 1920x1080"
    uint32_t sample_count = 0;
    REFERENCE_TIME duration = 0;             // 100 ns, fragments included
    uint32_t width = 0, height = 0;          // video
    uint32_t sample_rate = 0, channels = 0;  // audio
};

// Reads `size` bytes at `offset` of the file; false when they cannot be read.
using FileReader = std::function<bool(uint64_t offset, uint32_t size, BYTE* buffer)>;

// Every audio and video track of the movie, in track order.
std::vector<TrackFacts> ReadTrackCatalog(PlayHandle* play, const FileReader& read);

// The name a menu shows: "English, AAC LC 2.0, 48 kHz"; the handler name
// stands in for a language the file does not give.
std::wstring TrackDisplayName(const TrackFacts& track);

// The group a player's menu puts the track in: the file's alternate group
// where it sets one, else 0 for video and 1 for audio.
DWORD TrackGroup(const TrackFacts& track);

#endif
