// The pin for AMR narrow-band speech (`samr`): each track sample delivered as
// stored (its AMR frames, each with its header byte), one per media sample.
// Unlike the other pins it walks the track by decode time, so it reaches the
// samples of movie fragments too, and its duration is the whole track's.
#ifndef KELO_STREAMS_AMR_STREAM_H
#define KELO_STREAMS_AMR_STREAM_H

#include "track_stream.h"

class CAmrStream : public CTrackStream {
public:
    // A larger sample cannot be delivered: it ends the stream with E_FAIL.
    static constexpr long kBufferBytes = 4608;

    CAmrStream(HRESULT* result, CStreamHost* host, const wchar_t* name, PlayHandle* play, uint32_t track);

protected:
    HRESULT BuildMediaType(int position, CMediaType* type) override;
    bool IsOwnType(const GUID& major, const GUID& subtype) const override;
    uint32_t TrackDuration(const MediaHeaderInfo& header, uint64_t* duration) override;
    void Reposition(int64_t start) override;
    HRESULT FillPayload(BYTE* buffer, long capacity, long* length) override;

private:
    uint64_t next_decode_time_ = 0;  // track units; the sample holding it is the next one delivered
};

#endif
