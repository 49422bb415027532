#include "adts_stream.h"

namespace {

constexpr size_t kHeaderSize = 7;
constexpr size_t kMaxFrameLength = (1u << 13) - 1;  // the 13-bit aac_frame_length
constexpr uint32_t kIndexedFrequencies[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                            22050, 16000, 12000, 11025, 8000,  7350};

// The index ADTS writes for the core rate; -1 if none stands for it.
int AdtsFrequencyIndex(const AudioSpecificConfig& config) {
    if (config.frequency_index < 15) return config.frequency_index;
    for (int i = 0; i < static_cast<int>(sizeof kIndexedFrequencies / sizeof kIndexedFrequencies[0]); ++i)
        if (kIndexedFrequencies[i] == config.sampling_frequency) return i;
    return -1;
}

}  // namespace

bool BuildAdtsStream(const AudioSpecificConfig& config, const std::vector<DeliveredSample>& samples,
                     std::vector<uint8_t>* out, std::string* error) {
    if (config.core_object_type < 1 || config.core_object_type > 4) {
        *error = "ADTS cannot carry " + AudioObjectTypeName(config.core_object_type) + " (only object types 1 to 4)";
        return false;
    }
    const int frequency_index = AdtsFrequencyIndex(config);
    if (frequency_index < 0) {
        *error = "ADTS cannot carry a sampling frequency of " + std::to_string(config.sampling_frequency) + " Hz";
        return false;
    }
    if (config.channel_configuration < 1 || config.channel_configuration > 7) {
        *error = "ADTS cannot carry channel configuration " + std::to_string(config.channel_configuration);
        return false;
    }
    const unsigned profile = static_cast<unsigned>(config.core_object_type - 1);
    const unsigned channels = static_cast<unsigned>(config.channel_configuration);
    for (const DeliveredSample& sample : samples) {
        const size_t frame_length = kHeaderSize + sample.length;
        if (frame_length > kMaxFrameLength) {
            *error = "an access unit of " + std::to_string(sample.length) + " bytes is too long for an ADTS frame";
            return false;
        }
        // syncword 0xFFF, MPEG-4, layer 0, no CRC; profile, rate index, private
        // bit 0, channel configuration, four zero flags; frame length; buffer
        // fullness 0x7FF (variable rate); one raw data block.
        const uint8_t header[kHeaderSize] = {
            0xff,
            0xf1,
            static_cast<uint8_t>(profile << 6 | static_cast<unsigned>(frequency_index) << 2 | channels >> 2),
            static_cast<uint8_t>((channels & 3) << 6 | frame_length >> 11),
            static_cast<uint8_t>(frame_length >> 3),
            static_cast<uint8_t>((frame_length & 7) << 5 | 0x1f),
            0xfc,
        };
        out->insert(out->end(), header, header + kHeaderSize);
        out->insert(out->end(), sample.data, sample.data + sample.length);
    }
    return true;
}
