// The ES descriptor walk on any bytes: a DecoderSpecificInfo that is found
// lies wholly inside the input, and one that is not found comes back as a
// null pointer and 0. What is found goes on to the AudioSpecificConfig
// parser, as the AAC pin does.
#include "audio_specific_config.h"
#include "bitstream_checks.h"
#include "es_descriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 0xFFFF) return 0;
    const uint8_t *info = reinterpret_cast<const uint8_t *>(&size);
    uint32_t info_size = 12345;
    const bool found = FindDecoderSpecificInfo(data, static_cast<uint32_t>(size), &info, &info_size);
    if (!found) {
        check(info == nullptr && info_size == 0, "nothing found: null and 0");
        return 0;
    }
    check(info >= data && info_size <= size && static_cast<size_t>(info - data) <= size - info_size,
          "the payload lies inside the input");
    touch(info, info_size);
    AudioSpecificConfigInfo config;
    ParseAudioSpecificConfig(info, info_size, &config);
    return 0;
}
