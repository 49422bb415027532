// The pin for MPEG-4 AAC LC audio (`mp4a` with an esds): raw access units,
// one per media sample, with the track's AudioSpecificConfig in the format.
#ifndef KELO_STREAMS_MPEG4A_STREAM_H
#define KELO_STREAMS_MPEG4A_STREAM_H

#include "track_stream.h"

class CMpeg4AStream : public CTrackStream {
public:
    // 6,144 bits for each of six channels.
    static constexpr long kBufferBytes = 4608;

    CMpeg4AStream(HRESULT* result, CStreamHost* host, const wchar_t* name, PlayHandle* play, uint32_t track);

protected:
    int MediaTypeCount() const override { return 2; }
    HRESULT BuildMediaType(int position, CMediaType* type) override;
    bool IsOwnType(const GUID& major, const GUID& subtype) const override;
    // With no sync sample before the start, the first sample keeps its time.
    bool FirstSampleAtItsTime() const override { return true; }
};

#endif
