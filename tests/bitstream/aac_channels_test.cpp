// Which AudioSpecificConfig channel arrangements the AAC pin plays, and as
// how many channels.
#include <gtest/gtest.h>

#include "aac_channels.h"

namespace {

struct Arrangement {
    const char* name;
    uint32_t channel_configuration;
    // The program_config_element, for configuration 0: element counts, then
    // whether each front element and the first back element is a channel pair.
    uint32_t front, side, back, lfe, assoc, coupling;
    bool front_pair[2];
    bool back_pair;
    uint32_t channels;
};

class AacChannels : public ::testing::TestWithParam<Arrangement> {};

TEST_P(AacChannels, CountOrRefusal) {
    const Arrangement& a = GetParam();
    AudioSpecificConfigInfo info;
    info.channelConfiguration = a.channel_configuration;
    ProgramConfigElement& pce = info.program_config_element;
    pce.num_front_channel_elements = a.front;
    pce.num_side_channel_elements = a.side;
    pce.num_back_channel_elements = a.back;
    pce.num_lfe_channel_elements = a.lfe;
    pce.num_assoc_data_elements = a.assoc;
    pce.num_valid_cc_elements = a.coupling;
    pce.front_element_is_cpe[0] = a.front_pair[0];
    pce.front_element_is_cpe[1] = a.front_pair[1];
    pce.back_element_is_cpe[0] = a.back_pair;
    EXPECT_EQ(AacChannelCount(info), a.channels);
}

INSTANTIATE_TEST_SUITE_P(
    Arrangements, AacChannels,
    ::testing::Values(Arrangement{"mono", 1, 0, 0, 0, 0, 0, 0, {}, false, 1},
                      Arrangement{"stereo", 2, 0, 0, 0, 0, 0, 0, {}, false, 2},
                      Arrangement{"five_one", 6, 0, 0, 0, 0, 0, 0, {}, false, 6},
                      Arrangement{"three", 3, 0, 0, 0, 0, 0, 0, {}, false, 0},
                      Arrangement{"four", 4, 0, 0, 0, 0, 0, 0, {}, false, 0},
                      Arrangement{"five", 5, 0, 0, 0, 0, 0, 0, {}, false, 0},
                      Arrangement{"seven_one", 7, 0, 0, 0, 0, 0, 0, {}, false, 0},
                      Arrangement{"reserved", 8, 0, 0, 0, 0, 0, 0, {}, false, 0},
                      Arrangement{"pce_dual_mono", 0, 2, 0, 0, 0, 0, 0, {false, false}, false, 1},
                      Arrangement{"pce_five_one", 0, 2, 0, 1, 1, 0, 0, {false, true}, true, 6},
                      Arrangement{"pce_two_pairs", 0, 2, 0, 0, 0, 0, 0, {true, true}, false, 0},
                      Arrangement{"pce_one_front", 0, 1, 0, 0, 0, 0, 0, {false, false}, false, 0},
                      Arrangement{"pce_three_fronts", 0, 3, 0, 0, 0, 0, 0, {false, false}, false, 0},
                      Arrangement{"pce_with_side", 0, 2, 1, 0, 0, 0, 0, {false, false}, false, 0},
                      Arrangement{"pce_dual_mono_with_lfe", 0, 2, 0, 0, 1, 0, 0, {false, false}, false, 0},
                      Arrangement{"pce_dual_mono_with_data", 0, 2, 0, 0, 0, 1, 0, {false, false}, false, 0},
                      Arrangement{"pce_five_one_with_coupling", 0, 2, 0, 1, 1, 0, 1, {false, true}, true, 0},
                      Arrangement{"pce_five_one_single_back", 0, 2, 0, 1, 1, 0, 0, {false, true}, false, 0},
                      Arrangement{"pce_five_one_without_lfe", 0, 2, 0, 1, 0, 0, 0, {false, true}, true, 0},
                      Arrangement{"pce_five_one_pair_first", 0, 2, 0, 1, 1, 0, 0, {true, false}, true, 0},
                      Arrangement{"pce_five_one_two_front_pairs", 0, 2, 0, 1, 1, 0, 0, {true, true}, true, 0}),
    [](const ::testing::TestParamInfo<Arrangement>& info) { return std::string(info.param.name); });

}  // namespace
