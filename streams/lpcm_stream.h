// The pin for linear PCM (QuickTime's twos, sowt, in24, in32, fl32, fl64,
// raw , NONE and lpcm): WAVE's PCM out (little-endian, 8-bit unsigned,
// float as IEEE float), in buffers of 1024 audio frames gathered from
// consecutive samples.
#ifndef KELO_STREAMS_LPCM_STREAM_H
#define KELO_STREAMS_LPCM_STREAM_H

#include "pcm_format.h"
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
    PcmFormat format_;
};

#endif
