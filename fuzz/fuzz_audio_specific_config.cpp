// The AudioSpecificConfig parser on any bytes: a documented result, counts
// that fit the record's arrays, and a truncation reported exactly when the
// fields ran past the bytes.
#include <cstring>
#include <vector>

#include "audio_specific_config.h"
#include "bit_reader.h"
#include "bitstream_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 0xFFFF) return 0;
    AudioSpecificConfigInfo info;
    const AscResult result = ParseAudioSpecificConfig(data, static_cast<uint32_t>(size), &info);
    check(result == AscResult::Ok || result == AscResult::Truncated || result == AscResult::UnsupportedObjectType ||
              result == AscResult::NoInput,
          "a documented result");
    check(result != AscResult::NoInput || size == 0, "NoInput only without bytes");
    check(info.audioObjectType < 32 && info.channelConfiguration < 16, "header fields within their widths");
    check(info.samplingFrequency < (1u << 24), "the frequency fits 24 bits");
    const ProgramConfigElement &p = info.program_config_element;
    check(p.num_front_channel_elements <= 16 && p.num_side_channel_elements <= 16 &&
              p.num_back_channel_elements <= 16 && p.num_lfe_channel_elements <= 4 &&
              p.num_assoc_data_elements <= 8 && p.num_valid_cc_elements <= 16,
          "element counts within the arrays");
    check(p.comment_field_bytes <= ProgramConfigElement::kMaxCommentBytes, "comment within its array");
    if (result == AscResult::Ok) {
        // Nothing after GASpecificConfig is read: bytes appended behind it
        // (an extension signal) change none of the fields.
        std::vector<uint8_t> longer(data, data + size);
        longer.push_back(0xFF);
        AudioSpecificConfigInfo again;
        check(ParseAudioSpecificConfig(longer.data(), static_cast<uint32_t>(longer.size()), &again) == AscResult::Ok,
              "appended bytes keep the parse whole");
        const ProgramConfigElement &q = again.program_config_element;
        check(again.audioObjectType == info.audioObjectType && again.samplingFrequency == info.samplingFrequency &&
                  again.channelConfiguration == info.channelConfiguration &&
                  again.extensionFlag == info.extensionFlag && again.extensionFlag3 == info.extensionFlag3 &&
                  again.layerNr == info.layerNr && again.layer_length == info.layer_length &&
                  q.num_front_channel_elements == p.num_front_channel_elements &&
                  q.num_back_channel_elements == p.num_back_channel_elements &&
                  q.comment_field_bytes == p.comment_field_bytes &&
                  std::memcmp(q.comment_field_data, p.comment_field_data, p.comment_field_bytes) == 0,
              "appended bytes change no field");
    }

    // The reader alone: operations chosen by the input, never past the end.
    BitReader reader(data, size, size > 0 ? data[0] % 8 : 0);
    for (size_t i = 0; i < size && i < 64; ++i) {
        const unsigned op = data[i] >> 6, count = data[i] & 0x3F;
        if (op == 0) {
            const uint32_t value = reader.Read(count);
            check(count == 0 || count > 32 || count == 32 || value < (1ull << count), "a value fits its width");
        } else if (op == 1) {
            reader.Skip(count);
        } else if (op == 2) {
            reader.AlignToByte();
            check(reader.GetPosition().bit_offset == 0, "aligned");
        } else {
            const BitReader::Position pos = reader.GetPosition();
            check(pos.passed_end == (pos.byte_offset * 8 + pos.bit_offset > size * 8), "the end check is exact");
        }
    }
    return 0;
}
