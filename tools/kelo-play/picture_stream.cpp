#include "picture_stream.h"

#include <amvideo.h>
#include <uuids.h>

namespace {

constexpr ULONG kPaddingBytes = 2;

}  // namespace

bool Mpeg4VisualConfigOfType(const AM_MEDIA_TYPE& type, std::vector<uint8_t>* config, std::string* error) {
    if (type.formattype != FORMAT_VideoInfo || !type.pbFormat ||
        type.cbFormat < sizeof(VIDEOINFOHEADER) + kPaddingBytes) {
        *error = "the MPEG-4 Visual format block is no VIDEOINFOHEADER with its padding";
        return false;
    }
    const BYTE* start = type.pbFormat + sizeof(VIDEOINFOHEADER);
    const BYTE* end = type.pbFormat + type.cbFormat - kPaddingBytes;
    config->assign(start, end);
    return true;
}

void BuildPictureStream(const std::vector<uint8_t>& prefix, const std::vector<DeliveredSample>& samples,
                        std::vector<uint8_t>* out) {
    out->insert(out->end(), prefix.begin(), prefix.end());
    for (const DeliveredSample& sample : samples) out->insert(out->end(), sample.data, sample.data + sample.length);
}
