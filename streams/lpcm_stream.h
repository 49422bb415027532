// The pin for big-endian linear PCM (`twos`): little-endian PCM out, in
// buffers of 1024 audio frames gathered from consecutive samples.
#ifndef KELO_STREAMS_LPCM_STREAM_H
#define KELO_STREAMS_LPCM_STREAM_H

#include "track_stream.h"

class CLpcmStream : public CTrackStream {
public:
    static constexpr long kBufferBytes = 2304000;
    static constexpr uint32_t kFramesPerBuffer = 1024;

    CLpcmStream(HRESULT* result, CStreamHost* host, const wchar_t* name, PlayHandle* play, uint32_t track);

protected:
    HRESULT BuildMediaType(int position, CMediaType* type) override;
    bool IsOwnType(const GUID& major, const GUID& subtype) const override;
    HRESULT FillPayload(BYTE* buffer, long capacity, long* length) override;
    void ConvertBytes(BYTE* bytes, uint32_t size) override;

private:
    uint32_t channels_ = 0;
    uint32_t sample_rate_ = 0;
    uint32_t bits_per_sample_ = 0;
};

#endif
