// An AMR narrow-band storage file (.amr, RFC 4867 section 5): the magic
// "#!AMR\n", then the speech frames, each with its frame header byte. The
// AMR pin delivers each track sample as stored, which is a run of such
// frames already, so the samples follow the magic unchanged.
#ifndef KELO_TOOLS_KELO_PLAY_AMR_STORAGE_H
#define KELO_TOOLS_KELO_PLAY_AMR_STORAGE_H

#include <cstdint>
#include <vector>

#include "delivered_stream.h"

void BuildAmrStorage(const std::vector<DeliveredSample>& samples, std::vector<uint8_t>* out);

#endif
