// The pin for AMR narrow-band speech (`samr`): each track sample delivered as
// stored (its AMR frames, each with its header byte), one per media sample,
// in sample order through the tables and the movie fragments.
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
    void Reposition(int64_t start) override;
    int64_t StampShift() const override { return stamp_shift_; }

private:
    // Track units that put the sample a start begins with at the segment
    // start, when it is a sync sample.
    int64_t stamp_shift_ = 0;
};

#endif
