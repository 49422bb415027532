// An HEVC Annex B byte stream (.hevc) from the HEVC pin's delivery: the
// parameter sets of its MPEG2VIDEOINFO (each behind a 2-byte length), then
// every access unit's NAL units (each behind a length field of dwFlags
// bytes), each NAL unit behind a 4-byte start code.
#ifndef KELO_TOOLS_KELO_PLAY_HEVC_STREAM_H
#define KELO_TOOLS_KELO_PLAY_HEVC_STREAM_H

#include <windows.h>
#include <strmif.h>

#include <cstdint>
#include <string>
#include <vector>

#include "delivered_stream.h"

// False with a message if the type has no MPEG2VIDEOINFO, the length size is
// not 1, 2 or 4, or a length runs past its sequence header or sample.
bool BuildHevcStream(const AM_MEDIA_TYPE& type, const std::vector<DeliveredSample>& samples, std::vector<uint8_t>* out,
                     std::string* error);

#endif
