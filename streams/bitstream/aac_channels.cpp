#include "aac_channels.h"

uint32_t AacChannelCount(const AudioSpecificConfigInfo& info) {
    switch (info.channelConfiguration) {
        case 1:
        case 2:
        case 6:
            return info.channelConfiguration;
        case 0:
            break;
        default:
            return 0;
    }
    const ProgramConfigElement& pce = info.program_config_element;
    if (pce.num_front_channel_elements != 2 || pce.num_side_channel_elements != 0 || pce.num_assoc_data_elements != 0 ||
        pce.num_valid_cc_elements != 0)
        return 0;
    const bool dual_mono = pce.num_back_channel_elements == 0 && pce.num_lfe_channel_elements == 0 &&
                           !pce.front_element_is_cpe[0] && !pce.front_element_is_cpe[1];
    if (dual_mono) return 1;
    const bool surround = pce.num_back_channel_elements == 1 && pce.back_element_is_cpe[0] &&
                          pce.num_lfe_channel_elements == 1 && !pce.front_element_is_cpe[0] &&
                          pce.front_element_is_cpe[1];
    return surround ? 6 : 0;
}
