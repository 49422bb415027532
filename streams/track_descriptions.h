// A track's parsed sample descriptions, released on every path.
#ifndef KELO_STREAMS_TRACK_DESCRIPTIONS_H
#define KELO_STREAMS_TRACK_DESCRIPTIONS_H

#include "bxf.h"

class TrackDescriptions {
public:
    TrackDescriptions(PlayHandle* play, uint32_t track) : play_(play) {
        if (bxf_get_sample_descriptions(play, track, &descriptions_) != BXF_RET_OK) descriptions_ = nullptr;
    }
    ~TrackDescriptions() { bxf_release_sample_descriptions(play_, descriptions_); }
    TrackDescriptions(const TrackDescriptions&) = delete;
    TrackDescriptions& operator=(const TrackDescriptions&) = delete;

    // Null when the descriptions could not be read.
    SampleDescriptions* Get() const { return descriptions_; }

private:
    PlayHandle* play_;
    SampleDescriptions* descriptions_ = nullptr;
};

#endif
