#include "audio_specific_config.h"

#include <mmreg.h>
#include <uuids.h>

namespace {

// The sampling frequencies that indices 0 to 12 stand for.
constexpr uint32_t kFrequencies[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                     22050, 16000, 12000, 11025, 8000,  7350};
constexpr int kFrequencyWrittenOut = 15;
constexpr int kObjectTypeEscape = 31;
constexpr int kObjectTypeSbr = 5;
constexpr int kObjectTypePs = 29;

// Most significant bit first; reading past the end sets `overrun`.
class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint32_t Read(int count) {
        uint32_t value = 0;
        for (int i = 0; i < count; ++i, ++position_) {
            if (position_ >= size_ * 8) {
                overrun = true;
                return 0;
            }
            value = value << 1 | ((data_[position_ / 8] >> (7 - position_ % 8)) & 1u);
        }
        return value;
    }
    bool overrun = false;

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

int ReadObjectType(BitReader& bits) {
    const int type = static_cast<int>(bits.Read(5));
    return type == kObjectTypeEscape ? 32 + static_cast<int>(bits.Read(6)) : type;
}

// The index and the rate it stands for; false for the reserved 13 and 14.
bool ReadFrequency(BitReader& bits, int* index, uint32_t* frequency) {
    *index = static_cast<int>(bits.Read(4));
    if (*index == kFrequencyWrittenOut) {
        *frequency = bits.Read(24);
        return true;
    }
    if (*index >= static_cast<int>(sizeof kFrequencies / sizeof kFrequencies[0])) return false;
    *frequency = kFrequencies[*index];
    return true;
}

}  // namespace

bool ParseAudioSpecificConfig(const uint8_t* data, size_t size, AudioSpecificConfig* config, std::string* error) {
    BitReader bits(data, size);
    AudioSpecificConfig c;
    c.object_type = ReadObjectType(bits);
    bool known_index = ReadFrequency(bits, &c.frequency_index, &c.sampling_frequency);
    c.channel_configuration = static_cast<int>(bits.Read(4));
    c.core_object_type = c.object_type;
    c.output_frequency = c.sampling_frequency;
    if (c.object_type == kObjectTypeSbr || c.object_type == kObjectTypePs) {
        // Explicit SBR signalling: the extension's rate, then the core's type.
        int extension_index = 0;
        known_index = ReadFrequency(bits, &extension_index, &c.output_frequency) && known_index;
        c.core_object_type = ReadObjectType(bits);
    }
    if (bits.overrun) {
        *error = "the AudioSpecificConfig ends inside its first fields";
        return false;
    }
    if (!known_index) {
        *error = "the AudioSpecificConfig has a reserved sampling frequency index";
        return false;
    }
    *config = c;
    return true;
}

bool AudioSpecificConfigOfType(const AM_MEDIA_TYPE& type, AudioSpecificConfig* config, std::string* error) {
    if (type.formattype != FORMAT_WaveFormatEx || !type.pbFormat || type.cbFormat < sizeof(WAVEFORMATEX)) {
        *error = "the media type has no WAVEFORMATEX";
        return false;
    }
    const auto* wfx = reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat);
    if (wfx->cbSize == 0 || type.cbFormat - sizeof(WAVEFORMATEX) < wfx->cbSize) {
        *error = wfx->cbSize == 0 ? "the WAVEFORMATEX carries no AudioSpecificConfig (cbSize 0)"
                                  : "the WAVEFORMATEX's cbSize runs past its format block";
        return false;
    }
    return ParseAudioSpecificConfig(type.pbFormat + sizeof(WAVEFORMATEX), wfx->cbSize, config, error);
}

std::string AudioObjectTypeName(int object_type) {
    switch (object_type) {
        case 1:
            return "AAC Main";
        case 2:
            return "AAC LC";
        case 3:
            return "AAC SSR";
        case 4:
            return "AAC LTP";
        case 5:
            return "HE-AAC";
        case 29:
            return "HE-AAC v2";
        default:
            return "AAC object type " + std::to_string(object_type);
    }
}
