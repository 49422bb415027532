// The channel count an AAC LC stream decodes to, from its AudioSpecificConfig.
#ifndef KELO_STREAMS_BITSTREAM_AAC_CHANNELS_H
#define KELO_STREAMS_BITSTREAM_AAC_CHANNELS_H

#include <cstdint>

#include "audio_specific_config.h"

// 1, 2 or 6 for those channel configurations; through a program_config_element
// (configuration 0) of two front elements, 1 for a dual-mono pair and 6 for
// 5.1; 0, refused, for every other arrangement.
uint32_t AacChannelCount(const AudioSpecificConfigInfo& info);

#endif
