// An ADTS stream (.aac) from raw AAC access units: a 7-byte header without
// CRC before each one, its fields taken from the AudioSpecificConfig.
#ifndef KELO_TOOLS_KELO_PLAY_ADTS_STREAM_H
#define KELO_TOOLS_KELO_PLAY_ADTS_STREAM_H

#include <cstdint>
#include <string>
#include <vector>

#include "audio_specific_config.h"
#include "delivered_stream.h"

// Appends each sample as one ADTS frame. False with a message when ADTS
// cannot say what the config says: a core object type past AAC LTP (its
// profile field has two bits), a written-out rate not in the index table, a
// channel configuration of 0 (the program config element would have to be
// repeated in the stream), or a frame longer than 8191 bytes.
bool BuildAdtsStream(const AudioSpecificConfig& config, const std::vector<DeliveredSample>& samples,
                     std::vector<uint8_t>* out, std::string* error);

#endif
