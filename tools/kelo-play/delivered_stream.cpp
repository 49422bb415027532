#include "delivered_stream.h"

bool DeliveredSamples(const DeliveredStream& stream, std::vector<DeliveredSample>* samples, std::string* error) {
    samples->clear();
    const std::vector<uint8_t>& bytes = *stream.bytes;
    for (const SinkEvent& event : *stream.events) {
        if (event.kind != SinkEventKind::kSample || event.byte_offset == SinkEvent::kNoBytes) continue;
        const size_t length = static_cast<size_t>(event.length);
        if (event.length < 0 || event.byte_offset > bytes.size() || length > bytes.size() - event.byte_offset) {
            *error = "a sample's bytes lie outside the recorded bytes";
            return false;
        }
        samples->push_back({bytes.data() + event.byte_offset, length});
    }
    return true;
}
