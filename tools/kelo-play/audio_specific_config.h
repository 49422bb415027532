// The first fields of an MPEG-4 AudioSpecificConfig, read here on their own
// (kelo-play stays independent of the filter's parsers): enough to name the
// codec and to build ADTS headers.
#ifndef KELO_TOOLS_KELO_PLAY_AUDIO_SPECIFIC_CONFIG_H
#define KELO_TOOLS_KELO_PLAY_AUDIO_SPECIFIC_CONFIG_H

#include <windows.h>
#include <strmif.h>

#include <cstddef>
#include <cstdint>
#include <string>

struct AudioSpecificConfig {
    int object_type = 0;              // the signalled one: 5 (SBR) and 29 (PS) stay as they are
    int core_object_type = 0;         // what the access units' raw data is: the one after SBR/PS, else object_type
    int frequency_index = 0;          // of the core; 15 when the rate is written out
    uint32_t sampling_frequency = 0;  // of the core, from the table or written out
    uint32_t output_frequency = 0;    // with SBR, the extension's rate; else sampling_frequency
    int channel_configuration = 0;    // 0: a program config element says
};

// Reads the fields from the config's bytes; false with a message if the
// bytes end inside them or the frequency index is a reserved one.
bool ParseAudioSpecificConfig(const uint8_t* data, size_t size, AudioSpecificConfig* config, std::string* error);

// The AudioSpecificConfig after a FORMAT_WaveFormatEx type's WAVEFORMATEX
// (cbSize bytes of it); false with a message if the type has none.
bool AudioSpecificConfigOfType(const AM_MEDIA_TYPE& type, AudioSpecificConfig* config, std::string* error);

// "AAC LC", "HE-AAC", "HE-AAC v2", ... or "AAC object type N".
std::string AudioObjectTypeName(int object_type);

#endif
