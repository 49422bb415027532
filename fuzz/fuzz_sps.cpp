// The SPS parser on any NAL unit, then what the AVC pin does with it: the
// sample and picture aspect ratios, and the unit stored in a decoder
// configuration record. The parsed values must keep the parser's limits,
// and the record must hold the unit behind its 16-bit length.
#include <cstring>
#include <vector>

#include "aspect_ratio.h"
#include "avc_config_writer.h"
#include "bitstream_checks.h"
#include "sps_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 0xFFFF) return 0;
    AvcSpsInfo info;
    const bool parsed = ParseSequenceParameterSet(data, static_cast<uint32_t>(size), &info);
    if (parsed) {
        check((data[0] & 0x1F) == 7, "only type 7 parses");
        check(info.seq_parameter_set_id <= 31, "seq_parameter_set_id within 0..31");
        check(info.chroma_format_idc != 3, "4:4:4 is refused");
        check(info.num_ref_frames_in_pic_order_cnt_cycle <= 255, "order cycle within the array");
        check(info.max_num_ref_frames <= 16, "max_num_ref_frames within 0..16");
        check(info.nal_hrd.cpb_cnt_minus1 <= 31 && info.vcl_hrd.cpb_cnt_minus1 <= 31, "HRD entries within 32");
    }
    uint32_t sar_x = 0, sar_y = 0;
    GetSampleAspectRatio(info, &sar_x, &sar_y);
    check(sar_x != 0 && sar_y != 0, "a sample aspect ratio has no zero term");
    // Picture sizes from the input's last bytes, so large and odd sizes come.
    uint32_t width = 1280, height = 720;
    if (size >= 8) {
        std::memcpy(&width, data + size - 8, 4);
        std::memcpy(&height, data + size - 4, 4);
    }
    uint32_t dar_x = 0, dar_y = 0;
    ComputeDisplayAspectRatio(width, height, sar_x, sar_y, &dar_x, &dar_y);
    const uint32_t px = (width & ~31u) * sar_x, py = height * sar_y;
    if (px != 0 && py != 0) {
        check(dar_x != 0 && dar_y != 0 && px % dar_x == 0 && py % dar_y == 0 && px / dar_x == py / dar_y,
              "the ratio is the products divided by one common divisor");
    } else {
        check(dar_x == width && dar_y == height, "a zero product gives width:height");
    }

    AvcConfigWriter writer;
    const uint32_t level = size > 1 ? data[1] : 30;
    const bool header = writer.WriteHeader(size > 2 ? data[2] : 100, size > 3 ? data[3] : 0, level, 3);
    check(header == (level >= 9), "the header is refused for levels below 9 only");
    if (!header) return 0;
    check(writer.AddSps(data, static_cast<uint32_t>(size)), "one SPS of at most 65,535 bytes is taken");
    std::vector<uint8_t> record;
    check(writer.Finish(&record), "the record is finished");
    check(record.size() == 5 + 1 + 2 + size + 1, "the record holds the header, one entry and the counts");
    check(record[5] == 0xE1 && record[6] == (size >> 8) && record[7] == (size & 0xFF), "one SPS of its length");
    check(size == 0 || std::memcmp(record.data() + 8, data, size) == 0, "the SPS is stored as it came");
    return 0;
}
