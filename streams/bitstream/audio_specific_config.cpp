#include "audio_specific_config.h"

#include "bit_reader.h"

namespace {

constexpr uint32_t kExplicitFrequencyIndex = 15;
constexpr uint32_t kSamplingFrequencies[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                               22050, 16000, 12000, 11025, 8000,  7350};

bool HasGaSpecificConfig(uint32_t type) {
    switch (type) {
    case 1: case 2: case 3: case 4: case 6: case 7:
    case 17: case 19: case 20: case 21: case 22: case 23:
        return true;
    default:
        return false;
    }
}

void ReadElements(BitReader &r, uint32_t count, uint32_t *is_cpe, uint32_t *tag_select) {
    for (uint32_t i = 0; i < count; ++i) {
        if (is_cpe) is_cpe[i] = r.Read(1);
        tag_select[i] = r.Read(4);
    }
}

void ReadProgramConfigElement(BitReader &r, ProgramConfigElement *p) {
    p->element_instance_tag = r.Read(4);
    p->object_type = r.Read(2);
    // Index 15 is followed by the frequency itself in 24 bits, as in the
    // AudioSpecificConfig's own header.
    const uint32_t index = r.Read(4);
    p->sampling_frequency = index == kExplicitFrequencyIndex ? r.Read(24) : SamplingFrequencyFromIndex(index);
    // The counts' widths bound them by the arrays: 4 bits <= 16, 2 <= 4, 3 <= 8.
    p->num_front_channel_elements = r.Read(4);
    p->num_side_channel_elements = r.Read(4);
    p->num_back_channel_elements = r.Read(4);
    p->num_lfe_channel_elements = r.Read(2);
    p->num_assoc_data_elements = r.Read(3);
    p->num_valid_cc_elements = r.Read(4);
    p->mono_mixdown_present = r.Read(1);
    if (p->mono_mixdown_present) p->mono_mixdown_element_number = r.Read(4);
    p->stereo_mixdown_present = r.Read(1);
    if (p->stereo_mixdown_present) p->stereo_mixdown_element_number = r.Read(4);
    p->matrix_mixdown_idx_present = r.Read(1);
    if (p->matrix_mixdown_idx_present) {
        p->matrix_mixdown_idx = r.Read(2);
        p->pseudo_surround_enable = r.Read(1);
    }
    ReadElements(r, p->num_front_channel_elements, p->front_element_is_cpe, p->front_element_tag_select);
    ReadElements(r, p->num_side_channel_elements, p->side_element_is_cpe, p->side_element_tag_select);
    ReadElements(r, p->num_back_channel_elements, p->back_element_is_cpe, p->back_element_tag_select);
    ReadElements(r, p->num_lfe_channel_elements, nullptr, p->lfe_element_tag_select);
    ReadElements(r, p->num_assoc_data_elements, nullptr, p->assoc_data_element_tag_select);
    ReadElements(r, p->num_valid_cc_elements, p->cc_element_is_ind_sw, p->valid_cc_element_tag_select);
    // byte_alignment() counts from the first byte of the AudioSpecificConfig,
    // where the reader's range starts.
    r.AlignToByte();
    p->comment_field_bytes = r.Read(8);
    for (uint32_t i = 0; i < p->comment_field_bytes; ++i) p->comment_field_data[i] = static_cast<uint8_t>(r.Read(8));
}

void ReadGaSpecificConfig(BitReader &r, AudioSpecificConfigInfo *a) {
    a->frameLengthFlag = r.Read(1);
    a->dependsOnCoreCoder = r.Read(1);
    if (a->dependsOnCoreCoder) a->coreCoderDelay = r.Read(14);
    a->extensionFlag = r.Read(1);
    if (a->channelConfiguration == 0) ReadProgramConfigElement(r, &a->program_config_element);
    const uint32_t type = a->audioObjectType;
    if (type == 6 || type == 20) a->layerNr = r.Read(3);
    if (a->extensionFlag) {
        if (type == 22) {
            a->numOfSubFrame = r.Read(5);
            a->layer_length = r.Read(11);
        }
        if (type == 17 || type == 19 || type == 20 || type == 23) {
            a->aacSectionDataResilienceFlag = r.Read(1);
            a->aacScalefactorDataResilienceFlag = r.Read(1);
            a->aacSpectralDataResilienceFlag = r.Read(1);
        }
        a->extensionFlag3 = r.Read(1);
    }
}

}  // namespace

uint32_t SamplingFrequencyFromIndex(uint32_t index) {
    return index < sizeof kSamplingFrequencies / sizeof kSamplingFrequencies[0] ? kSamplingFrequencies[index] : 0;
}

AscResult ParseAudioSpecificConfig(const uint8_t *bytes, uint32_t size, AudioSpecificConfigInfo *info) {
    if (info == nullptr) return AscResult::NoInput;
    *info = AudioSpecificConfigInfo{};
    if (bytes == nullptr || size == 0) return AscResult::NoInput;
    BitReader r(bytes, size);
    info->audioObjectType = r.Read(5);
    const uint32_t index = r.Read(4);
    info->samplingFrequency = index == kExplicitFrequencyIndex ? r.Read(24) : SamplingFrequencyFromIndex(index);
    info->channelConfiguration = r.Read(4);
    if (!HasGaSpecificConfig(info->audioObjectType)) {
        return r.passed_end() ? AscResult::Truncated : AscResult::UnsupportedObjectType;
    }
    ReadGaSpecificConfig(r, info);
    return r.passed_end() ? AscResult::Truncated : AscResult::Ok;
}
