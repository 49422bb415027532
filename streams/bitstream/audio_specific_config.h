// The AudioSpecificConfig of MPEG-4 audio (ISO/IEC 14496-3 1.6.2.1) up to
// and including its GASpecificConfig (4.4.1) with the program_config_element.
#ifndef KELO_BITSTREAM_AUDIO_SPECIFIC_CONFIG_H
#define KELO_BITSTREAM_AUDIO_SPECIFIC_CONFIG_H

#include <cstdint>

struct ProgramConfigElement {
    static constexpr uint32_t kMaxCommentBytes = 255;

    uint32_t element_instance_tag = 0;
    uint32_t object_type = 0;
    uint32_t sampling_frequency = 0;  // Hz, from sampling_frequency_index
    uint32_t num_front_channel_elements = 0;
    uint32_t num_side_channel_elements = 0;
    uint32_t num_back_channel_elements = 0;
    uint32_t num_lfe_channel_elements = 0;
    uint32_t num_assoc_data_elements = 0;
    uint32_t num_valid_cc_elements = 0;
    uint32_t mono_mixdown_present = 0;
    uint32_t mono_mixdown_element_number = 0;
    uint32_t stereo_mixdown_present = 0;
    uint32_t stereo_mixdown_element_number = 0;
    uint32_t matrix_mixdown_idx_present = 0;
    uint32_t matrix_mixdown_idx = 0;
    uint32_t pseudo_surround_enable = 0;
    uint32_t front_element_is_cpe[16] = {};
    uint32_t front_element_tag_select[16] = {};
    uint32_t side_element_is_cpe[16] = {};
    uint32_t side_element_tag_select[16] = {};
    uint32_t back_element_is_cpe[16] = {};
    uint32_t back_element_tag_select[16] = {};
    uint32_t lfe_element_tag_select[4] = {};
    uint32_t assoc_data_element_tag_select[8] = {};
    uint32_t cc_element_is_ind_sw[16] = {};
    uint32_t valid_cc_element_tag_select[16] = {};
    uint32_t comment_field_bytes = 0;
    uint8_t comment_field_data[kMaxCommentBytes] = {};
};

struct AudioSpecificConfigInfo {
    uint32_t audioObjectType = 0;
    uint32_t samplingFrequency = 0;  // Hz, not the index
    uint32_t channelConfiguration = 0;
    uint32_t frameLengthFlag = 0;
    uint32_t dependsOnCoreCoder = 0;
    uint32_t coreCoderDelay = 0;
    uint32_t extensionFlag = 0;
    uint32_t layerNr = 0;
    uint32_t numOfSubFrame = 0;
    uint32_t layer_length = 0;
    uint32_t aacSectionDataResilienceFlag = 0;
    uint32_t aacScalefactorDataResilienceFlag = 0;
    uint32_t aacSpectralDataResilienceFlag = 0;
    uint32_t extensionFlag3 = 0;
    ProgramConfigElement program_config_element;  // read when channelConfiguration is 0
};

enum class AscResult {
    Ok,
    // The fields ran past the bytes; what lay past them was read as zeros.
    Truncated,
    // An object type without GASpecificConfig (type 8, CELP, has a layout of
    // its own that nothing here reads); only the first three fields are set.
    UnsupportedObjectType,
    NoInput,
};

// samplingFrequencyIndex 0..12 -> 96000..7350 Hz; 13 and 14 -> 0 (reserved);
// 15 is the escape to an explicit 24-bit frequency, which the caller reads.
uint32_t SamplingFrequencyFromIndex(uint32_t index);

// Reads audioObjectType (5 bits), samplingFrequencyIndex (4; 15 -> the
// 24-bit frequency follows), channelConfiguration (4) and, for the object
// types with GASpecificConfig (1-4, 6, 7, 17, 19-23), that config. Nothing
// after it is read: extension signalling (SBR, PS) that follows stays
// unread. The record is reset first.
AscResult ParseAudioSpecificConfig(const uint8_t *bytes, uint32_t size, AudioSpecificConfigInfo *info);

#endif
