#include "hevc_stream.h"

#include <dvdmedia.h>
#include <uuids.h>

#include <cstddef>

namespace {

// Appends each NAL unit of `data` (length fields of `length_size` bytes,
// big-endian) behind a start code.
bool AppendUnits(const uint8_t* data, size_t size, unsigned length_size, std::vector<uint8_t>* out) {
    static const uint8_t kStartCode[] = {0, 0, 0, 1};
    size_t at = 0;
    while (at < size) {
        if (size - at < length_size) return false;
        size_t length = 0;
        for (unsigned i = 0; i < length_size; ++i) length = length << 8 | data[at + i];
        at += length_size;
        if (length > size - at) return false;
        out->insert(out->end(), kStartCode, kStartCode + sizeof kStartCode);
        out->insert(out->end(), data + at, data + at + length);
        at += length;
    }
    return true;
}

}  // namespace

bool BuildHevcStream(const AM_MEDIA_TYPE& type, const std::vector<DeliveredSample>& samples, std::vector<uint8_t>* out,
                     std::string* error) {
    const size_t header_at = offsetof(MPEG2VIDEOINFO, dwSequenceHeader);
    if (type.formattype != FORMAT_MPEG2Video || !type.pbFormat || type.cbFormat < header_at) {
        *error = "the HEVC type has no MPEG2VIDEOINFO";
        return false;
    }
    const auto* info = reinterpret_cast<const MPEG2VIDEOINFO*>(type.pbFormat);
    const DWORD length_size = info->dwFlags;
    if (length_size != 1 && length_size != 2 && length_size != 4) {
        *error = "the HEVC type's NAL length size is not 1, 2 or 4";
        return false;
    }
    if (info->cbSequenceHeader > type.cbFormat - header_at ||
        !AppendUnits(type.pbFormat + header_at, info->cbSequenceHeader, 2, out)) {
        *error = "the HEVC type's parameter sets run past its format block";
        return false;
    }
    for (const DeliveredSample& sample : samples) {
        if (!AppendUnits(sample.data, sample.length, length_size, out)) {
            *error = "a delivered HEVC access unit's NAL lengths run past it";
            return false;
        }
    }
    return true;
}
