// The pin for MPEG-4 Visual (`mp4v` with an esds) and H.263 (`s263`) video:
// one stored picture per media sample, stamped with its decode time, behind a
// VIDEOINFOHEADER that carries the DecoderSpecificInfo (none for H.263).
#ifndef KELO_STREAMS_MPEG4V_STREAM_H
#define KELO_STREAMS_MPEG4V_STREAM_H

#include "track_stream.h"

class CMpeg4VStream : public CTrackStream {
public:
    static constexpr long kBufferBytes = 163840;
    // Zero bytes after the decoder configuration.
    static constexpr ULONG kPaddingBytes = 2;

    CMpeg4VStream(HRESULT* result, CStreamHost* host, const wchar_t* name, PlayHandle* play, uint32_t track);

protected:
    HRESULT BuildMediaType(int position, CMediaType* type) override;
    bool IsOwnType(const GUID& major, const GUID& subtype) const override;
    // Pictures are stamped at their decode times: the edit's presentation
    // start is a composition offset, which such stamps leave to the decoder.
    bool EditMovesSampleTimes() const override { return false; }
    // A start on a sample boundary begins with that sample itself.
    uint64_t StartLookupTime(int64_t start) const override { return static_cast<uint64_t>(start) + 1; }
};

#endif
