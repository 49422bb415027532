// The pin for HEVC video (`hvc1` and `hev1` with an hvcC): each access unit
// whole as stored, its NAL units behind their length fields (parameter sets
// inside `hev1` samples pass through), stamped with presentation times and
// marked as a sync point where the track's sync samples say so. The media
// type carries the record's parameter sets in an MPEG2VIDEOINFO.
#ifndef KELO_STREAMS_HEVC_STREAM_H
#define KELO_STREAMS_HEVC_STREAM_H

#include "track_stream.h"

class CHevcStream : public CTrackStream {
public:
    // The largest access unit the pin delivers.
    static constexpr long kBufferBytes = 3125000;

    CHevcStream(HRESULT* result, CStreamHost* host, const wchar_t* name, PlayHandle* play, uint32_t track);

protected:
    int MediaTypeCount() const override { return 2; }
    HRESULT BuildMediaType(int position, CMediaType* type) override;
    bool IsOwnType(const GUID& major, const GUID& subtype) const override;
    HRESULT FillPayload(BYTE* buffer, long capacity, long* length) override;
    void ResetFormatState() override;
    int64_t StampShift() const override { return current_composition_ - first_composition_; }
    bool IsSyncPoint() const override { return current_is_sync_; }

private:
    // Presentation times count from the first sample delivered since the start.
    bool first_delivered_ = false;
    int64_t first_composition_ = 0;
    int64_t current_composition_ = 0;
    bool current_is_sync_ = true;
};

#endif
