// The behaviour every output pin shares: one track of the opened movie,
// repositioned at each start and seek to the sync sample at or before the
// start, filled buffer by buffer from the file under the filter's streaming
// lock, stamped from the track's time scale and the playback rate, ended by
// the end of the data or the stop position, and restarted by every seek and
// rate change.
//
// A pin adds its media type, its buffer size and, where the format needs it,
// its own way to fill a buffer or to convert the bytes.
#ifndef KELO_STREAMS_TRACK_STREAM_H
#define KELO_STREAMS_TRACK_STREAM_H

#include <atomic>
#include <cstdint>

#include "bxf.h"
#include "source_seeking.h"
#include "source_stream.h"
#include "stream_host.h"

class CTrackStream : public CSourceStream, public CSourceSeeking, public CBaseStream {
public:
    CTrackStream(HRESULT* result, CStreamHost* host, const wchar_t* name, PlayHandle* play, uint32_t track,
                 StreamSide side, long buffer_size);
    ~CTrackStream() override;

    // Seeking requests go to the filter: it is the one seeking interface.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* sender, Quality quality) override;

    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    bool IsStopRequested() override;

    StreamSide Side() const { return side_; }
    // The track the pin plays.
    uint32_t Track() const { return track_; }
    // Stream selection (track_switch.cpp): the pin plays `track`, a track of
    // the same sample entry type, from the position it has reached, with a
    // flush, a new segment and a discontinuity when it is streaming. A media
    // type that differs from the connection is offered downstream with
    // QueryAccept and goes with the next sample; a refusal changes nothing.
    HRESULT SwitchTrack(uint32_t track);
    // Media samples the pin has filled for delivery since it was made.
    uint32_t Delivered() const { return delivered_.load(); }

protected:
    // How many media types the pin offers.
    virtual int MediaTypeCount() const { return 1; }
    // The pin's own part of its media type at `position`, after the common
    // fields are read.
    virtual HRESULT BuildMediaType(int position, CMediaType* type) = 0;
    // A type the pin produces (a format block is required besides).
    virtual bool IsOwnType(const GUID& major, const GUID& subtype) const = 0;
    // Fills the buffer with the next data and advances the sample times: S_OK,
    // S_FALSE at the end (the ended flag set), E_FAIL on any failure.
    virtual HRESULT FillPayload(BYTE* buffer, long capacity, long* length);
    // Turns the bytes of one sample just read into the pin's output form.
    virtual void ConvertBytes(BYTE*, uint32_t) {}
    // State of the pin's own that a repositioning resets.
    virtual void ResetFormatState() {}
    // The sample holding the start was found at `sample_time`: a pin may move
    // the start to it (and give the new start in track units).
    virtual void OnStartSampleFound(uint64_t /*sample_time*/, int64_t* /*start*/) {}
    // The time given to the lookup of the sample to start from, which finds
    // the sample holding time - 1: by default the start itself, so a start on
    // a sample boundary begins with the sample before it.
    virtual uint64_t StartLookupTime(int64_t start) const { return static_cast<uint64_t>(start); }
    // The sample end to begin with when no sync sample precedes the one
    // holding `start` (the first sample is then delivered first).
    virtual int64_t EndWhenNoSyncBefore(int64_t /*start*/) const { return 0; }
    // Whether the buffer being stamped starts a point a decoder can begin at.
    virtual bool IsSyncPoint() const { return true; }
    // Track units added to the times of the buffer being stamped.
    virtual int64_t StampShift() const { return 0; }
    // The track's duration in track units for the seeking duration and the
    // default stop: the library's code. By default the media header's.
    virtual uint32_t TrackDuration(const MediaHeaderInfo& header, uint64_t* duration) {
        *duration = header.duration;
        return BXF_RET_OK;
    }
    // Sets where delivery begins for a start time in track units, and the
    // sample end (track units from the segment start) to begin with. By
    // default by sample number, from the sync sample at or before the start.
    virtual void Reposition(int64_t start);
    // The start to reposition to, given the segment start the seeking fields
    // hold: the segment start itself unless the pin moves it.
    virtual REFERENCE_TIME StartToFind(REFERENCE_TIME segment_start) { return segment_start; }

    HRESULT FillBuffer(IMediaSample* sample) override;
    HRESULT OnThreadCreate() override;
    HRESULT OnThreadDestroy() override;
    HRESULT OnThreadStartPlay() override;

    HRESULT ChangeStart() override;
    HRESULT ChangeStop() override;
    HRESULT ChangeRate() override;

    // The next sample by number, read whole into `buffer` at `offset`:
    // the library's code, or BXF_RET_FILE when it does not fit or cannot be read.
    uint32_t ReadNextSample(BYTE* buffer, long capacity, long offset, SampleInfo* info);
    int64_t ToMediaTime(int64_t units) const;

    CCritSec m_PinLock;
    CStreamHost* host_;
    PlayHandle* play_;
    uint32_t track_;
    uint32_t time_scale_ = 0;
    uint32_t sample_count_ = 0;
    uint32_t discontinuity_ = 1;
    int64_t sample_start_ = 0;     // track units from the segment start
    int64_t sample_end_ = 0;       // track units from the segment start
    int64_t media_time_base_ = 0;  // 100 ns
    uint32_t sample_counter_ = 0;  // the last sample delivered

private:
    void Restart();
    // The type `track` gives at the connection's position (the pin's own
    // format fields set from it); S_OK, or a failure when it builds none.
    HRESULT BuildTypeFor(uint32_t track, CMediaType* type);
    // Makes `track` the pin's: its time scale, count and duration.
    HRESULT TakeTrack(uint32_t track);

    REFERENCE_TIME resume_from_ = -1;  // after a switch: 100 ns from the segment start
    bool type_changed_ = false;        // the next sample carries the connection type
    std::atomic<uint32_t> delivered_{0};

    StreamSide side_;
    long buffer_size_;
};

#endif
