// What an output stream needs of the filter that owns it: the streaming lock,
// the file, the interleave gate and the filter's seeking interface.
#ifndef KELO_STREAMS_STREAM_HOST_H
#define KELO_STREAMS_STREAM_HOST_H

#include <windows.h>
#include <strmif.h>

#include <cstdint>

#include "crit_sec.h"

class CSource;

// Which side of the interleave gate a stream paces.
enum class StreamSide { Video, Audio };

// The one question the interleave gate asks a stream.
class CBaseStream {
public:
    virtual bool IsStopRequested() = 0;

protected:
    ~CBaseStream() = default;
};

class CStreamHost {
public:
    virtual CSource* SourceFilter() = 0;
    // Held around every buffer fill and repositioning: the library and the
    // file position are used by one stream at a time.
    virtual CCritSec* StreamingLock() = 0;
    // Reads exactly `size` bytes at `offset` of the file into `buffer`.
    virtual HRESULT ReadAt(uint64_t offset, uint32_t size, BYTE* buffer) = 0;

    // The interleave gate. `time` is the end of the stream's data, 100 ns from
    // the segment start; true means the stream must end.
    virtual bool Pace(StreamSide side, REFERENCE_TIME time, CBaseStream* stream) = 0;
    virtual void SetActive(StreamSide side, bool active) = 0;
    virtual void SetEnded(StreamSide side) = 0;

    // The filter's own IMediaSeeking, which the pins hand out for themselves.
    virtual HRESULT QuerySeeking(REFIID iid, void** out) = 0;

protected:
    ~CStreamHost() = default;
};

#endif
