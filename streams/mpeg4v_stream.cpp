#include "mpeg4v_stream.h"

#include <dshow.h>

#include <cstring>
#include <new>
#include <vector>

#include "es_descriptor.h"
#include "stream_guids.h"
#include "track_descriptions.h"
#include "video_object_layer.h"

namespace {

constexpr uint32_t kH263Entry = BXF_FOURCC('s', '2', '6', '3');
// biCompression: the four bytes as they stand in the block.
constexpr DWORD kH263Compression = MAKEFOURCC('s', '2', '6', '3');
constexpr DWORD kMpeg4Compression = MAKEFOURCC('M', 'P', '4', 'S');
constexpr WORD kBitCount = 24;

// The picture size and decoder configuration of the first sample entry.
struct VideoEntry {
    uint32_t entry_type = 0;
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> config;
};

// `mp4v`: the DecoderSpecificInfo of the esds, and the size its video object
// layer gives (0 x 0 for a layer that is not rectangular or is absent).
bool ReadMpeg4Configuration(PlayHandle* play, SampleDescriptions* descriptions, VideoEntry* entry) {
    DecoderConfigInfo config_info;
    uint32_t size = 0;
    if (bxf_get_decoder_config(play, descriptions, 1, &config_info) != BXF_RET_OK ||
        bxf_get_esds_size(play, descriptions, 1, &size) != BXF_RET_OK)
        return false;
    std::vector<uint8_t> es(size);
    if (bxf_get_esds_bytes(play, descriptions, 1, size, es.data()) != BXF_RET_OK) return false;
    const uint8_t* info = nullptr;
    uint32_t info_size = 0;
    if (!FindDecoderSpecificInfo(es.data(), size, &info, &info_size)) return false;
    Mpeg4VolInfo layer;
    if (ParseVideoObjectLayer(info, info_size, &layer) != VolResult::Ok) return false;
    entry->width = layer.video_object_layer_width;
    entry->height = layer.video_object_layer_height;
    entry->config.assign(info, info + info_size);
    return true;
}

bool ReadVideoEntry(PlayHandle* play, uint32_t track, VideoEntry* entry) {
    TrackDescriptions descriptions(play, track);
    VisualEntryInfo visual;
    if (!descriptions.Get() || bxf_get_visual_entry(play, descriptions.Get(), 1, &visual) != BXF_RET_OK) return false;
    entry->entry_type = visual.entry_type;
    if (visual.entry_type == kH263Entry) {
        entry->width = visual.width;
        entry->height = visual.height;
        return true;
    }
    return ReadMpeg4Configuration(play, descriptions.Get(), entry);
}

}  // namespace

CMpeg4VStream::CMpeg4VStream(HRESULT* result, CStreamHost* host, const wchar_t* name, PlayHandle* play, uint32_t track)
    : CTrackStream(result, host, name, play, track, StreamSide::Video, kBufferBytes) {}

bool CMpeg4VStream::IsOwnType(const GUID& major, const GUID& subtype) const {
    return major == MEDIATYPE_Video && subtype == MEDIASUBTYPE_PrivateMPEG4V;
}

HRESULT CMpeg4VStream::BuildMediaType(int, CMediaType* type) {
    VideoEntry entry;
    try {
        if (!ReadVideoEntry(play_, track_, &entry)) return E_UNEXPECTED;
    } catch (const std::bad_alloc&) {
        return E_UNEXPECTED;  // the configuration's copy
    }
    const ULONG config_length = static_cast<ULONG>(entry.config.size());
    BYTE* block = type->AllocFormatBuffer(sizeof(VIDEOINFOHEADER) + config_length + kPaddingBytes);
    if (!block) return E_OUTOFMEMORY;  // zero-filled, the padding with it
    auto* format = reinterpret_cast<VIDEOINFOHEADER*>(block);
    const LONG width = static_cast<LONG>(entry.width), height = static_cast<LONG>(entry.height);
    format->rcSource = RECT{0, 0, width, height};
    format->rcTarget = RECT{0, 0, width, height};
    format->dwBitRate = bit_rate_;
    format->dwBitErrorRate = 0;
    format->AvgTimePerFrame = NominalFrameTime();
    BITMAPINFOHEADER& bitmap = format->bmiHeader;
    bitmap.biSize = sizeof(BITMAPINFOHEADER);
    bitmap.biWidth = width;
    bitmap.biHeight = height;
    bitmap.biPlanes = 1;
    bitmap.biBitCount = kBitCount;
    bitmap.biCompression = entry.entry_type == kH263Entry ? kH263Compression : kMpeg4Compression;
    if (config_length) std::memcpy(block + sizeof(VIDEOINFOHEADER), entry.config.data(), config_length);

    type->SetType(MEDIATYPE_Video);
    type->SetSubtype(MEDIASUBTYPE_PrivateMPEG4V);
    type->SetFormatType(FORMAT_VideoInfo);
    type->SetTemporalCompression(TRUE);
    type->SetVariableSize();
    type->lSampleSize = 0;
    return S_OK;
}
