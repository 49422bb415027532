#include "amr_storage.h"

void BuildAmrStorage(const std::vector<DeliveredSample>& samples, std::vector<uint8_t>* out) {
    static const char kMagic[] = "#!AMR\n";
    out->insert(out->end(), kMagic, kMagic + sizeof kMagic - 1);
    for (const DeliveredSample& sample : samples) out->insert(out->end(), sample.data, sample.data + sample.length);
}
