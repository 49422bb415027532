#include "annexb_stream.h"

void BuildAnnexBStream(const std::vector<DeliveredSample>& samples, std::vector<uint8_t>* out) {
    static const uint8_t kStartCode[] = {0, 0, 0, 1};
    for (const DeliveredSample& sample : samples) {
        if (sample.length == 0) continue;
        out->insert(out->end(), kStartCode, kStartCode + sizeof kStartCode);
        out->insert(out->end(), sample.data, sample.data + sample.length);
    }
}
