// The behaviour every output pin shares: one track of the opened movie,
// repositioned at each start and seek to the sync sample at or before the
// start, filled buffer by buffer from the file under the filter's streaming
// lock, stamped from the track's time scale and the playback rate, ended by
// the end of the data or the stop position, and restarted by every seek and
// rate change.
//
// The media types and the track's time facts are read once, at Load
// (Prepare): what an application asks of a pin while it streams is answered
// from that copy and changes nothing.
//
// The stop rule: every sample whose presentation starts before the stop is
// delivered whole, with the samples it needs to decode; nothing that presents
// at or after the stop is delivered otherwise.
//
// A pin adds its media type, its buffer size and, where the format needs it,
// its own way to fill a buffer or to convert the bytes.
#ifndef KELO_STREAMS_TRACK_STREAM_H
#define KELO_STREAMS_TRACK_STREAM_H

#include <atomic>
#include <cstdint>

#include "bxf.h"
#include "media_time.h"
#include "track_edit.h"
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

    // Reads the track's time facts and builds every media type, once, with
    // the library under the streaming lock; a failure is kept and given to
    // every later request for a type (the pin then never connects).
    void Prepare();
    bool Prepared() const { return SUCCEEDED(prepared_); }
    // When the track's presentation starts and ends, 100 ns on its own
    // timeline (its samples' times, moved by its edit): the filter's timeline
    // starts at the earliest start of its pins and lasts to the latest end.
    REFERENCE_TIME FirstTime() const;
    REFERENCE_TIME EndTime() const;
    // Places the track on the filter's timeline: `origin` (100 ns of the
    // track's own timeline) becomes time 0; `duration` is the filter's.
    void SetTimeline(REFERENCE_TIME origin, REFERENCE_TIME duration);

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
    static constexpr int kMaxMediaTypes = 2;
    // How many media types the pin offers, at most kMaxMediaTypes.
    virtual int MediaTypeCount() const { return 1; }
    // The pin's own part of its media type at `position`, after the time
    // facts are read; called by Prepare only.
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
    // When no sync sample precedes the one holding the start, the first
    // sample is delivered first: stamped at its own time (true) or at the
    // segment start (false).
    virtual bool FirstSampleAtItsTime() const { return false; }
    // Whether the buffer being stamped starts a point a decoder can begin at.
    virtual bool IsSyncPoint() const { return true; }
    // Track units added to the times of the buffer being stamped.
    virtual int64_t StampShift() const { return 0; }
    // Whether the edit's presentation start moves the samples' times (true),
    // or is a composition offset (false): video, whose pictures the edit's
    // presentation start shows at their decode times.
    virtual bool EditMovesSampleTimes() const { return true; }
    // Whether the pin stamps each sample with its composition offset.
    virtual bool StampsCompositionOffsets() const { return false; }
    // Sets where delivery begins for a start time in track units, and the
    // sample end (track units from the start) to begin with: by sample
    // number, from the sync sample at or before the sample holding the start.
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

    // The next sample by number, read whole into `buffer` at `offset`, with
    // sample_end_ set to its end: the library's code, BXF_RET_NOTFOUND at the
    // end of the track or when it starts at or after the stop (stop_reached_
    // set), or BXF_RET_FILE when it does not fit or cannot be read.
    uint32_t ReadNextSample(BYTE* buffer, long capacity, long offset, SampleInfo* info);
    int64_t ToMediaTime(int64_t units) const;
    // A sample's decode time in track units from the start.
    int64_t FromStart(const SampleInfo& info) const;
    // A time in track units on the track's own timeline in 100 ns (the edit
    // applied), and back.
    REFERENCE_TIME OwnTime(int64_t units) const;
    int64_t OwnToUnits(REFERENCE_TIME time) const;
    // The composition offset of a sample presented at its decode time: the
    // edit's presentation start, or 0.
    int64_t CompositionAtDecodeTime() const { return edit_.applied ? edit_.media_start : 0; }
    // The stream time (100 ns from the segment start, before the rate) of a
    // time in track units from the repositioned start.
    REFERENCE_TIME StreamTime(int64_t units) const;
    // Whether a presentation at `units` (track units from the repositioned
    // start) starts before the stop position.
    bool BeforeStop(int64_t units);
    // Whether a sample is still needed before the stop: it presents before
    // it, or (for pins that stamp composition offsets) a later sample in
    // decode order may, and may refer to it.
    bool NeededBeforeStop(const SampleInfo& info);
    // Whether a sample after the next one presents before the stop.
    bool LaterSamplePresentsBeforeStop();
    // A video format block's frame duration: the most common sample
    // duration to the nearest 100 ns, or a nominal 330,000 without one.
    REFERENCE_TIME NominalFrameTime() const;
    // The end of the pin's data, at the stop position (stop_reached_) or the
    // end of the track: tells the gate and returns S_FALSE.
    HRESULT EndOfData();

    // The most common sample duration among the first samples (track units,
    // 0 when unknown) and the track's bits per second (0 when unknown).
    uint32_t typical_duration_ = 0;
    uint32_t bit_rate_ = 0;

    CCritSec m_PinLock;
    CStreamHost* host_;
    PlayHandle* play_;
    uint32_t track_;
    uint32_t time_scale_ = 0;
    uint32_t sample_count_ = 0;
    uint32_t discontinuity_ = 1;
    int64_t sample_start_ = 0;           // track units from the start
    int64_t sample_end_ = 0;             // track units from the start
    int64_t media_time_base_ = 0;        // 100 ns: the segment start
    int64_t start_units_ = 0;            // the repositioned start: a decode time in track units
    int64_t first_decode_ = 0;           // track units
    int64_t end_decode_ = 0;             // track units
    REFERENCE_TIME timeline_shift_ = 0;  // added to the track's own times (100 ns)
    TrackEdit edit_;
    int64_t edit_units_ = 0;  // track units the edit takes from the samples' times
    // Track units from the first sample's decode time to its stamp.
    int64_t first_stamp_offset_ = 0;
    bool stop_reached_ = false;    // the data ends at the stop position
    // The lowest composition offset seen since the start, and 0: no later
    // sample presents before its decode time shifted by it.
    int64_t lowest_composition_ = 0;
    uint32_t sample_counter_ = 0;  // the last sample delivered

private:
    void Restart();
    // The type `track` gives at the connection's position (the pin's own
    // format fields set from it); S_OK, or a failure when it builds none.
    HRESULT BuildTypeFor(uint32_t track, CMediaType* type);
    // The time facts of the track the pin plays (track_), from the library;
    // and the media types it offers, from them. Under the streaming lock.
    HRESULT ReadTimeFacts();
    HRESULT BuildTypes();
    // Makes `track` the pin's: its time scale, count and duration.
    HRESULT TakeTrack(uint32_t track);

    REFERENCE_TIME resume_from_ = -1;  // after a switch: 100 ns from the segment start
    bool type_changed_ = false;        // the next sample carries the connection type
    std::atomic<uint32_t> delivered_{0};

    StreamSide side_;
    long buffer_size_;
    HRESULT prepared_ = E_UNEXPECTED;
    CMediaType types_[kMaxMediaTypes];
    // Under m_PinLock: the stop position the data ended at, or MAX_TIME while
    // it has not ended or when it ended with the track.
    REFERENCE_TIME ended_at_stop_ = MAX_TIME;
};

#endif
