#include "hevc_stream.h"

#include <dshow.h>
#include <dvdmedia.h>

#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

#include "aspect_ratio.h"
#include "hevc_sps_parser.h"
#include "stream_guids.h"
#include "track_descriptions.h"

namespace {

// NAL unit types of the parameter sets (H.265 Table 7-1), in the order the
// sequence header carries them.
constexpr uint8_t kParameterSetTypes[] = {32, 33, 34};  // VPS, SPS, PPS
constexpr uint8_t kSpsType = 33;

// What the media type needs from the first sample entry's hvcC.
struct HevcFormat {
    uint32_t profile = 0, level = 0, nal_length_size = 0;
    uint32_t width = 0, height = 0, sar_x = 1, sar_y = 1;
    bool field_per_sample = false;
    std::vector<uint8_t> sequence_header;  // each set behind a 2-byte big-endian length
};

bool AppendParameterSet(const Blob& unit, std::vector<uint8_t>* out) {
    if (unit.length > 0xFFFF) return false;
    out->push_back(static_cast<uint8_t>(unit.length >> 8));
    out->push_back(static_cast<uint8_t>(unit.length));
    out->insert(out->end(), unit.data, unit.data + unit.length);
    return true;
}

// False for a record the pin cannot deliver: no SPS, a NAL length size other
// than 1, 2 or 4, a picture size of 0.
bool ReadFormat(const SampleEntry& entry, HevcFormat* format) {
    const HevcConfig* config = entry.hvcc;
    if (entry.kind != BXF_FORMAT_TYPE_HVC1 || !config) return false;
    format->profile = config->general_profile_idc;
    format->level = config->general_level_idc;
    format->nal_length_size = config->length_size_minus_one + 1u;
    if (format->nal_length_size == 3) return false;
    // The entry's size stands for the picture until an SPS gives its own.
    format->width = entry.visual.width;
    format->height = entry.visual.height;
    bool have_sps = false;
    for (uint8_t type : kParameterSetTypes) {
        for (const NalArray* array = config->arrays_head; array; array = array->next) {
            if (array->nal_unit_type != type) continue;
            for (const ParameterSet* set = array->nal_units.head; set; set = set->next) {
                if (!AppendParameterSet(set->bytes, &format->sequence_header)) return false;
                if (type != kSpsType || have_sps) continue;
                have_sps = true;
                HevcSpsInfo sps;
                if (!ParseHevcSequenceParameterSet(set->bytes.data, set->bytes.length, &sps)) continue;
                GetHevcDisplaySize(sps, &format->width, &format->height);
                SampleAspectRatioOf(sps.aspect_ratio_idc, sps.sar_width, sps.sar_height, &format->sar_x,
                                    &format->sar_y);
                format->field_per_sample = sps.field_seq_flag != 0;
            }
        }
    }
    return have_sps && format->width != 0 && format->height != 0;
}

}  // namespace

CHevcStream::CHevcStream(HRESULT* result, CStreamHost* host, const wchar_t* name, PlayHandle* play, uint32_t track)
    : CTrackStream(result, host, name, play, track, StreamSide::Video, kBufferBytes) {}

bool CHevcStream::IsOwnType(const GUID& major, const GUID& subtype) const {
    return major == MEDIATYPE_Video && (subtype == MEDIASUBTYPE_HVC1 || subtype == MEDIASUBTYPE_HEVC);
}

HRESULT CHevcStream::BuildMediaType(int position, CMediaType* type) {
    HevcFormat format;
    try {
        TrackDescriptions descriptions(play_, track_);
        if (!descriptions.Get() || !descriptions.Get()->head || !ReadFormat(*descriptions.Get()->head, &format))
            return E_UNEXPECTED;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;  // the sequence header's copy
    }
    const ULONG header_size = static_cast<ULONG>(format.sequence_header.size());
    const ULONG block_size = static_cast<ULONG>(offsetof(MPEG2VIDEOINFO, dwSequenceHeader)) + header_size;
    BYTE* block = type->AllocFormatBuffer(block_size);
    if (!block) return E_OUTOFMEMORY;
    std::memset(block, 0, block_size);
    auto* info = reinterpret_cast<MPEG2VIDEOINFO*>(block);
    VIDEOINFOHEADER2& video = info->hdr;
    const LONG width = static_cast<LONG>(format.width), height = static_cast<LONG>(format.height);
    video.rcSource = {0, 0, width, height};
    video.rcTarget = video.rcSource;
    video.dwBitRate = bit_rate_;
    video.AvgTimePerFrame = NominalFrameTime();
    if (format.field_per_sample) video.dwInterlaceFlags = AMINTERLACE_IsInterlaced | AMINTERLACE_1FieldPerSample;
    uint32_t aspect_x = 0, aspect_y = 0;
    ComputeExactAspectRatio(format.width, format.height, format.sar_x, format.sar_y, &aspect_x, &aspect_y);
    video.dwPictAspectRatioX = aspect_x;
    video.dwPictAspectRatioY = aspect_y;
    const GUID& subtype = position == 0 ? MEDIASUBTYPE_HVC1 : MEDIASUBTYPE_HEVC;
    BITMAPINFOHEADER& bitmap = video.bmiHeader;
    bitmap.biSize = sizeof(BITMAPINFOHEADER);
    bitmap.biWidth = width;
    bitmap.biHeight = height;
    bitmap.biPlanes = 1;
    bitmap.biBitCount = 24;
    bitmap.biCompression = subtype.Data1;  // the subtype's four-character code
    info->cbSequenceHeader = header_size;
    info->dwProfile = format.profile;
    info->dwLevel = format.level;
    info->dwFlags = format.nal_length_size;
    if (header_size) std::memcpy(info->dwSequenceHeader, format.sequence_header.data(), header_size);

    type->SetType(MEDIATYPE_Video);
    type->SetSubtype(subtype);
    type->SetFormatType(FORMAT_MPEG2Video);
    type->SetTemporalCompression(TRUE);
    type->SetVariableSize();
    type->lSampleSize = 0;
    return S_OK;
}

void CHevcStream::ResetFormatState() {
    current_composition_ = 0;
    current_is_sync_ = true;
}

// One access unit per media sample, as stored.
HRESULT CHevcStream::FillPayload(BYTE* buffer, long capacity, long* length) {
    SampleInfo info;
    const uint32_t code = ReadNextSample(buffer, capacity, 0, &info);
    if (code == BXF_RET_NOTFOUND) return EndOfData();
    if (code != BXF_RET_OK) return E_FAIL;
    sample_start_ = FromStart(info);
    current_composition_ = static_cast<int32_t>(info.composition_offset);
    current_is_sync_ = info.is_sync != 0;
    *length = static_cast<long>(info.size);
    return S_OK;
}
