// What the recording sink's input pin saw, one record per call from upstream.
#ifndef KELO_TOOLS_GRAPH_KIT_SINK_EVENT_H
#define KELO_TOOLS_GRAPH_KIT_SINK_EVENT_H

#include <windows.h>
#include <strmif.h>
#include <vfwmsgs.h>

#include <cstddef>
#include <cstdint>

enum class SinkEventKind { kSample, kNewSegment, kBeginFlush, kEndFlush, kEndOfStream };

// "sample", "new_segment", "begin_flush", "end_flush", "end_of_stream".
const char* SinkEventKindName(SinkEventKind kind);

struct SinkEvent {
    static constexpr size_t kNoBytes = static_cast<size_t>(-1);

    SinkEventKind kind = SinkEventKind::kSample;
    // When the call reached the pin (QueryPerformanceCounter ticks; see
    // QpcSeconds) and on which thread. Set for every kind.
    LONGLONG arrival_qpc = 0;
    DWORD thread_id = 0;

    // kSample: IMediaSample::GetTime's result (S_OK, VFW_S_NO_STOP_TIME or
    // VFW_E_SAMPLE_TIME_NOT_SET) and the times it gave.
    // kNewSegment: start and stop are the segment's; time_result is S_OK.
    HRESULT time_result = VFW_E_SAMPLE_TIME_NOT_SET;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    double rate = 1.0;  // kNewSegment only

    // kSample only from here on.
    HRESULT media_time_result = VFW_E_MEDIA_TIME_NOT_SET;
    LONGLONG media_start = 0;
    LONGLONG media_stop = 0;
    bool sync_point = false;
    bool discontinuity = false;
    bool preroll = false;
    bool media_type_changed = false;  // the sample carried a new media type
    long length = 0;                  // GetActualDataLength
    uint64_t hash = 0;                // FNV-1a of the `length` bytes
    size_t byte_offset = kNoBytes;    // where the bytes start in the byte log, if kept

    // kEndOfStream only: it came while the pin was flushing (and was ignored).
    bool during_flush = false;

    bool HasStart() const { return kind == SinkEventKind::kNewSegment || SUCCEEDED(time_result); }
    bool HasStop() const { return kind == SinkEventKind::kNewSegment || time_result == S_OK; }
};

// QueryPerformanceCounter ticks in seconds.
double QpcSeconds(LONGLONG ticks);
LONGLONG QpcNow();

#endif
