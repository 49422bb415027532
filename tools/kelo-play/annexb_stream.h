// An H.264 Annex B byte stream (.h264) from samples that each hold one NAL
// unit without length prefix or start code: a 4-byte start code before each.
// The parameter sets need nothing more: the pin delivers them in band.
#ifndef KELO_TOOLS_KELO_PLAY_ANNEXB_STREAM_H
#define KELO_TOOLS_KELO_PLAY_ANNEXB_STREAM_H

#include <cstdint>
#include <vector>

#include "delivered_stream.h"

// Appends the samples; an empty sample holds no NAL unit and adds nothing.
void BuildAnnexBStream(const std::vector<DeliveredSample>& samples, std::vector<uint8_t>* out);

#endif
