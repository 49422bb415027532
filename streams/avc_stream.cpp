#include "avc_stream.h"

#include <dshow.h>
#include <dvdmedia.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "aspect_ratio.h"
#include "avc_config_writer.h"
#include "com_ptr.h"
#include "stream_guids.h"
#include "track_descriptions.h"
#include "media_time.h"
#include "sps_parser.h"

namespace {

static_assert(sizeof(VIDEOINFOHEADER2) == 112, "the decoder reads the configuration at byte 112");

constexpr DWORD kCompressionMP4S = MAKEFOURCC('M', 'P', '4', 'S');

// The description's parameter sets by number; `sps` chooses the kind.
struct ParameterSetReader {
    PlayHandle* play;
    SampleDescriptions* descriptions;
    uint32_t description;

    bool Size(bool sps, uint32_t number, uint32_t* size) const {
        return (sps ? bxf_get_avc_sps_size : bxf_get_avc_pps_size)(play, descriptions, description, number, size) ==
               BXF_RET_OK;
    }
    bool Read(bool sps, uint32_t number, uint32_t size, uint8_t* out) const {
        return (sps ? bxf_get_avc_sps : bxf_get_avc_pps)(play, descriptions, description, number, size, out) ==
               BXF_RET_OK;
    }
};

}  // namespace

CAVCStream::CAVCStream(HRESULT* result, CStreamHost* host, const wchar_t* name, PlayHandle* play, uint32_t track)
    : CTrackStream(result, host, name, play, track, StreamSide::Video, kBufferBytes),
      staging_(new (std::nothrow) BYTE[kStagingBytes]) {
    if (!staging_ && result) *result = E_OUTOFMEMORY;
}

CAVCStream::~CAVCStream() {
    CAutoLock lock(&m_PinLock);
    staging_.reset();
}

bool CAVCStream::IsOwnType(const GUID& major, const GUID& subtype) const {
    return major == MEDIATYPE_Video && subtype == MEDIASUBTYPE_PrivateAVC;
}

// The record the decoder needs, rebuilt from the first description's
// parameter sets; every SPS that parses updates the sample aspect ratio.
HRESULT CAVCStream::BuildDecoderConfiguration(SampleDescriptions* descriptions, std::vector<uint8_t>* record) {
    AvcConfigInfo config;
    if (bxf_get_avc_config(play_, descriptions, 1, &config) != BXF_RET_OK) return E_UNEXPECTED;
    nal_length_size_ = config.length_size_minus_one + 1u;
    AvcConfigWriter writer;
    if (!writer.WriteHeader(config.avc_profile_indication, config.profile_compatibility, config.avc_level_indication,
                            config.length_size_minus_one))
        return E_UNEXPECTED;
    const ParameterSetReader sets{play_, descriptions, 1};
    for (bool sps : {true, false}) {
        const uint32_t count = sps ? config.sps_count : config.pps_count;
        for (uint32_t n = 1; n <= count; ++n) {
            uint32_t size = 0;
            if (!sets.Size(sps, n, &size)) return E_UNEXPECTED;
            std::vector<uint8_t> unit(size);
            if (!sets.Read(sps, n, size, unit.data())) return E_UNEXPECTED;
            if (sps) {
                AvcSpsInfo info;
                if (ParseSequenceParameterSet(unit.data(), size, &info)) {
                    GetSampleAspectRatio(info, &sar_x_, &sar_y_);
                    field_coded_ = info.frame_mbs_only_flag == 0;
                }
            }
            if (!(sps ? writer.AddSps(unit.data(), size) : writer.AddPps(unit.data(), size))) return E_UNEXPECTED;
        }
    }
    if (!writer.Finish(record)) return E_UNEXPECTED;
    return S_OK;
}

HRESULT CAVCStream::BuildMediaType(int, CMediaType* type) {
    TrackDescriptions descriptions(play_, track_);
    if (!descriptions.Get()) return E_UNEXPECTED;
    std::vector<uint8_t> record;
    HRESULT hr = BuildDecoderConfiguration(descriptions.Get(), &record);
    if (FAILED(hr)) return hr;
    VisualEntryInfo entry;
    if (bxf_get_visual_entry(play_, descriptions.Get(), 1, &entry) != BXF_RET_OK) return E_UNEXPECTED;
    width_ = entry.width;
    height_ = entry.height;
    uint32_t aspect_x = 0, aspect_y = 0;
    ComputeDisplayAspectRatio(width_, height_, sar_x_, sar_y_, &aspect_x, &aspect_y);

    // The configuration follows the header, then two bytes of padding.
    const ULONG block_size = static_cast<ULONG>(sizeof(VIDEOINFOHEADER2) + record.size() + 2);
    BYTE* block = type->AllocFormatBuffer(block_size);
    if (!block) return E_OUTOFMEMORY;
    auto* format = reinterpret_cast<VIDEOINFOHEADER2*>(block);
    format->rcSource = {0, 0, static_cast<LONG>(width_), static_cast<LONG>(height_)};
    format->rcTarget = format->rcSource;
    format->dwBitRate = bit_rate_;
    format->AvgTimePerFrame = NominalFrameTime();
    // A sample holds a frame or both fields of one; the field order and how
    // each picture is shown are left to the stream.
    if (field_coded_)
        format->dwInterlaceFlags =
            AMINTERLACE_IsInterlaced | AMINTERLACE_FieldPatBothRegular | AMINTERLACE_DisplayModeBobOrWeave;
    format->dwPictAspectRatioX = aspect_x;
    format->dwPictAspectRatioY = aspect_y;
    BITMAPINFOHEADER& bitmap = format->bmiHeader;
    bitmap.biSize = sizeof(BITMAPINFOHEADER);
    bitmap.biWidth = static_cast<LONG>(width_);
    bitmap.biHeight = static_cast<LONG>(height_);
    bitmap.biPlanes = 1;
    bitmap.biBitCount = 24;
    bitmap.biCompression = kCompressionMP4S;
    std::memcpy(block + sizeof(VIDEOINFOHEADER2), record.data(), record.size());

    type->SetType(MEDIATYPE_Video);
    type->SetSubtype(MEDIASUBTYPE_PrivateAVC);
    type->SetFormatType(FORMAT_VideoInfo2);
    type->SetTemporalCompression(TRUE);
    type->SetVariableSize();
    type->lSampleSize = 0;
    return S_OK;
}

HRESULT CAVCStream::CompleteConnect(IPin* peer) {
    HRESULT hr = CTrackStream::CompleteConnect(peer);
    if (FAILED(hr)) return hr;
    PIN_INFO info = {};
    if (FAILED(peer->QueryPinInfo(&info)) || !info.pFilter) return S_OK;
    ComPtr<IBaseFilter> decoder = ComPtr<IBaseFilter>::Attach(info.pFilter);
    ComPtr<IAVCDecoderControl> control;
    if (SUCCEEDED(decoder.QueryTo(IID_IAVCDecoderControl, &control)) && control) {
        DWORD first = 0, second = 0;
        control->GetParameters(&first, &second);
        control->SetParameters(height_ >= 480 ? TRUE : FALSE, second);
        control->SetMode(2);
    }
    return S_OK;  // whatever the decoder answered
}

HRESULT CAVCStream::OnThreadCreate() {
    {
        CAutoLock lock(&m_PinLock);
        sample_start_ = sample_end_ = media_time_base_ = start_units_ = 0;
        sample_counter_ = 0;
        // No media type was built: the NAL length size is unknown.
        if (nal_length_size_ == 0) return E_FAIL;
    }
    host_->SetActive(StreamSide::Video, true);
    return S_OK;
}

HRESULT CAVCStream::OnThreadDestroy() {
    CAutoLock lock(&m_PinLock);
    host_->SetActive(StreamSide::Video, false);
    read_position_ = write_position_ = 0;
    return S_OK;
}

void CAVCStream::ResetFormatState() {
    // A picture presents at its decode time shifted by its offset less the
    // edit's presentation start.
    composition_at_decode_ = CompositionAtDecodeTime();
    current_composition_ = 0;
    current_description_ = 0;
    read_position_ = write_position_ = 0;
}

// The new segment starts at the sample that holds the start.
REFERENCE_TIME CAVCStream::StartToFind(REFERENCE_TIME segment_start) {
    found_from_ = segment_start;
    if (segment_start == moved_start_) return asked_start_;
    asked_start_ = segment_start;
    moved_start_ = -1;  // until the lookup finds a sample to move to
    return asked_start_;
}

void CAVCStream::OnStartSampleFound(uint64_t sample_time, int64_t* start) {
    const REFERENCE_TIME moved = OwnTime(static_cast<int64_t>(sample_time)) + timeline_shift_;
    {
        CAutoLock lock(&m_PinLock);
        // A seek that arrived since keeps its start: its own restart follows.
        if (m_rtStart == found_from_) m_rtStart = moved;
    }
    moved_start_ = moved;
    *start = static_cast<int64_t>(sample_time);
}

bool CAVCStream::ReserveUnit(uint32_t size, BYTE** unit) {
    if (uint64_t{write_position_} + nal_length_size_ + size > kStagingBytes) return false;
    BYTE* at = staging_.get() + write_position_;
    for (uint32_t i = 0; i < nal_length_size_; ++i) at[i] = static_cast<BYTE>(size >> (8 * (nal_length_size_ - 1 - i)));
    *unit = at + nal_length_size_;
    write_position_ += nal_length_size_ + size;
    return true;
}

HRESULT CAVCStream::StageParameterSets(uint32_t description) {
    TrackDescriptions descriptions(play_, track_);
    AvcConfigInfo config;
    if (!descriptions.Get() || bxf_get_avc_config(play_, descriptions.Get(), description, &config) != BXF_RET_OK)
        return E_FAIL;
    const ParameterSetReader sets{play_, descriptions.Get(), description};
    for (bool sps : {true, false}) {
        const uint32_t count = sps ? config.sps_count : config.pps_count;
        for (uint32_t n = 1; n <= count; ++n) {
            uint32_t size = 0;
            BYTE* unit = nullptr;
            if (!sets.Size(sps, n, &size) || !ReserveUnit(size, &unit) || !sets.Read(sps, n, size, unit)) return E_FAIL;
        }
    }
    return S_OK;
}

// Slices are NAL unit types 1 to 5; nal_ref_idc 0 marks a picture no other
// refers to. Units that cannot be walked count as a reference.
bool CAVCStream::StagedReference(uint32_t from) const {
    for (uint64_t at = from; at < write_position_;) {
        if (at + nal_length_size_ >= write_position_) return true;
        uint64_t size = 0;
        for (uint32_t i = 0; i < nal_length_size_; ++i) size = size << 8 | staging_[at + i];
        const BYTE header = staging_[at + nal_length_size_];
        const uint32_t type = header & 0x1F;
        if (size == 0 || (type >= 1 && type <= 5 && (header >> 5) != 0)) return true;
        at += nal_length_size_ + size;
    }
    return false;
}

// Samples in decode order while any can present before the stop; of those
// presented at or after it, only the ones a picture may refer to.
HRESULT CAVCStream::StageNextSample() {
    for (;;) {
        read_position_ = write_position_ = 0;
        SampleInfo info;
        uint32_t code = bxf_play_get_sample_info(play_, track_, sample_counter_ + 1, 0, &info);
        if (code == BXF_RET_NOTFOUND) return EndOfData();
        if (code != BXF_RET_OK) return E_FAIL;
        const int64_t composition = static_cast<int32_t>(info.composition_offset);
        lowest_composition_ = std::min(lowest_composition_, composition);
        const bool before_stop = BeforeStop(FromStart(info) + composition - composition_at_decode_);
        if (!before_stop && !LaterSamplePresentsBeforeStop()) {
            stop_reached_ = true;
            return EndOfData();
        }
        const uint32_t previous_description = current_description_;
        if (info.description_index != current_description_) {
            current_description_ = info.description_index;
            if (FAILED(StageParameterSets(current_description_))) return E_FAIL;
        }
        const uint32_t sample_at = write_position_;
        if (uint64_t{write_position_} + info.size > kStagingBytes) return E_FAIL;
        if (FAILED(host_->ReadAt(info.offset, info.size, staging_.get() + write_position_))) return E_FAIL;
        write_position_ += info.size;
        ++sample_counter_;
        sample_start_ = FromStart(info);
        sample_end_ = sample_start_ + info.duration;
        current_composition_ = composition;
        if (before_stop || StagedReference(sample_at)) return S_OK;
        current_description_ = previous_description;  // its parameter sets were not sent
    }
}

HRESULT CAVCStream::FillPayload(BYTE* buffer, long capacity, long* length) {
    if (write_position_ <= read_position_) {
        HRESULT hr = StageNextSample();
        if (hr != S_OK) return hr;
    }
    // The next unit's length field: 1, 2 or 4 bytes (another size reads 0).
    if (uint64_t{read_position_} + nal_length_size_ > write_position_) return E_FAIL;
    const BYTE* field = staging_.get() + read_position_;
    uint32_t size = 0;
    if (nal_length_size_ == 1 || nal_length_size_ == 2 || nal_length_size_ == 4)
        for (uint32_t i = 0; i < nal_length_size_; ++i) size = size << 8 | field[i];
    if (size == 0 || size > static_cast<uint32_t>(capacity) ||
        uint64_t{read_position_} + nal_length_size_ + size > write_position_)
        return E_FAIL;
    std::memcpy(buffer, field + nal_length_size_, size);
    read_position_ += nal_length_size_ + size;
    *length = static_cast<long>(size);
    return S_OK;
}
