// The pin for H.264 / AVC video (`avc1` with an avcC): one NAL unit per media
// sample, without length field or start code; the parameter sets of a sample
// description go out as NAL units of their own ahead of its first sample,
// after every start and seek; stamps carry the composition offsets.
#ifndef KELO_STREAMS_AVC_STREAM_H
#define KELO_STREAMS_AVC_STREAM_H

#include <memory>
#include <vector>

#include "avc_decoder_control.h"
#include "track_stream.h"

class CAVCStream : public CTrackStream {
public:
    // One stored sample with its parameter sets, each behind its length field.
    static constexpr uint32_t kStagingBytes = 3125000;
    static constexpr long kBufferBytes = 3125000;

    CAVCStream(HRESULT* result, CStreamHost* host, const wchar_t* name, PlayHandle* play, uint32_t track);
    ~CAVCStream() override;

    HRESULT CompleteConnect(IPin* peer) override;

protected:
    HRESULT BuildMediaType(int position, CMediaType* type) override;
    bool IsOwnType(const GUID& major, const GUID& subtype) const override;
    HRESULT FillPayload(BYTE* buffer, long capacity, long* length) override;
    HRESULT OnThreadCreate() override;
    HRESULT OnThreadDestroy() override;
    void ResetFormatState() override;
    REFERENCE_TIME StartToFind(REFERENCE_TIME segment_start) override;
    void OnStartSampleFound(uint64_t sample_time, int64_t* start) override;
    int64_t StampShift() const override { return current_composition_ - composition_at_decode_; }
    // The edit's presentation start is the composition offset that presents
    // at the decode time.
    bool EditMovesSampleTimes() const override { return false; }
    bool StampsCompositionOffsets() const override { return true; }

private:
    HRESULT BuildDecoderConfiguration(SampleDescriptions* descriptions, std::vector<uint8_t>* record);
    // Reads the next stored sample, behind the parameter sets of its
    // description when that changes: S_OK, S_FALSE at the end, E_FAIL.
    HRESULT StageNextSample();
    HRESULT StageParameterSets(uint32_t description);
    // Whether a slice of the units staged from `from` on is a reference.
    bool StagedReference(uint32_t from) const;
    // Writes `size` as a NAL length field and reserves room for the unit.
    bool ReserveUnit(uint32_t size, BYTE** unit);

    std::unique_ptr<BYTE[]> staging_;
    uint32_t write_position_ = 0;
    uint32_t read_position_ = 0;
    uint32_t nal_length_size_ = 0;
    uint32_t current_description_ = 0;
    int64_t composition_at_decode_ = 0;  // CompositionAtDecodeTime(), for the stamps
    int64_t current_composition_ = 0;
    // The segment start moves to the start of the sample holding the asked
    // start; a restart that finds the moved start (a stop or rate change, or
    // the same seek passed on by a second renderer) repositions from the
    // asked one, so the start moves once per seek, not once per restart.
    REFERENCE_TIME asked_start_ = 0;
    REFERENCE_TIME moved_start_ = -1;
    REFERENCE_TIME found_from_ = 0;  // the segment start of the repositioning under way
    uint32_t sar_x_ = 1;
    uint32_t sar_y_ = 1;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    bool field_coded_ = false;
};

#endif
