#include "es_descriptor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bit_string.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kDecoderConfigFixed = {0x40, 0x15, 0x00, 0x18, 0x00, 0x00, 0x01, 0xF4, 0x00, 0x00, 0x01, 0xF4, 0x00};
const Bytes kAsc = {0x12, 0x10};

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes &p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A descriptor size field: 7-bit groups, most significant first.
Bytes SizeField(size_t n) {
    return n < 0x80 ? Bytes{uint8_t(n)} : Bytes{uint8_t(0x80 | (n >> 7)), uint8_t(n & 0x7F)};
}

// An ES_Descriptor around `es_fields` (ES_ID, flags and the optional fields)
// with a DecoderConfigDescriptor holding `info`, then an SLConfigDescriptor.
Bytes EsDescriptor(const Bytes &es_fields, const Bytes &info, const Bytes &info_size = {}) {
    const Bytes dsi = Concat({{0x05}, info_size.empty() ? SizeField(info.size()) : info_size, info});
    const Bytes dcd = Concat({{0x04}, SizeField(kDecoderConfigFixed.size() + dsi.size()), kDecoderConfigFixed, dsi});
    const Bytes body = Concat({es_fields, dcd, {0x06, 0x01, 0x02}});
    return Concat({{0x03}, SizeField(body.size()), body});
}

struct Found {
    bool ok;
    Bytes info;
    size_t offset;
};

Found Find(const Bytes &es, size_t length) {
    auto copy = ExactCopy(es.data(), length);
    const uint8_t *info = reinterpret_cast<const uint8_t *>(1);
    uint32_t size = 77;
    const bool ok = FindDecoderSpecificInfo(copy.get(), static_cast<uint32_t>(length), &info, &size);
    if (!ok) {
        EXPECT_EQ(info, nullptr);
        EXPECT_EQ(size, 0u);
        return {false, {}, 0};
    }
    return {true, Bytes(info, info + size), size_t(info - copy.get())};
}

struct Case {
    const char *name;
    Bytes es;
    bool ok;
    Bytes info;
};

TEST(FindDecoderSpecificInfo, Walks) {
    const Bytes plain = EsDescriptor({0x00, 0x01, 0x00}, kAsc);
    Bytes long_sizes = Concat({{0x03, 0x80, 0x80, 0x80, uint8_t(plain.size() - 2)}, Bytes(plain.begin() + 2, plain.end())});
    Bytes wrong_first = plain;
    wrong_first[0] = 0x04;
    Bytes wrong_config_tag = plain;
    wrong_config_tag[5] = 0x05;
    Bytes wrong_info_tag = plain;
    wrong_info_tag[7 + 13] = 0x06;
    // OCRstreamFlag without its OCR_ES_Id: the configuration tag is looked
    // for two bytes earlier, and only then.
    Bytes no_ocr_id_no_config_tag = EsDescriptor({0x00, 0x01, 0x20}, kAsc);
    no_ocr_id_no_config_tag[5] = 0x07;
    // Without the flag no look back: ES_ID 4 and flags 0x0D would read as a
    // configuration tag and its size.
    const Bytes no_flag_body = Concat({{0x00, 0x04, 0x0D}, kDecoderConfigFixed, {0x05, 0x02}, kAsc, {0x06, 0x01, 0x02}});
    const Bytes no_flag_no_look_back = Concat({{0x03}, SizeField(no_flag_body.size()), no_flag_body});
    const Bytes big_info(200, 0x5A);
    const std::vector<Case> cases = {
        {"plain", plain, true, kAsc},
        {"four-byte sizes", long_sizes, true, kAsc},
        {"streamDependenceFlag", EsDescriptor({0x00, 0x01, 0x80, 0x00, 0x07}, kAsc), true, kAsc},
        {"URL_Flag", EsDescriptor({0x00, 0x01, 0x40, 0x03, 'a', 'b', 'c'}, kAsc), true, kAsc},
        {"empty URL", EsDescriptor({0x00, 0x01, 0x40, 0x00}, kAsc), true, kAsc},
        {"OCRstreamFlag with OCR_ES_Id", EsDescriptor({0x00, 0x01, 0x20, 0x00, 0x09}, kAsc), true, kAsc},
        {"all three flags", EsDescriptor({0x00, 0x01, 0xE0, 0x00, 0x07, 0x01, 'u', 0x00, 0x09}, kAsc), true, kAsc},
        {"OCRstreamFlag without OCR_ES_Id", EsDescriptor({0x00, 0x01, 0x20}, kAsc), true, kAsc},
        {"two-byte DecSpecificInfo size", EsDescriptor({0x00, 0x01, 0x00}, big_info, {0x81, 0x48}), true, big_info},
        {"empty DecSpecificInfo", EsDescriptor({0x00, 0x01, 0x00}, {}), true, {}},
        {"OCRstreamFlag, no OCR_ES_Id, no configuration tag", no_ocr_id_no_config_tag, false, {}},
        {"no OCRstreamFlag, a configuration tag two bytes early", no_flag_no_look_back, false, {}},
        {"first tag not 3", wrong_first, false, {}},
        {"no DecoderConfigDescriptor tag", wrong_config_tag, false, {}},
        {"no DecSpecificInfo tag", wrong_info_tag, false, {}},
        {"DecSpecificInfo longer than the bytes", EsDescriptor({0x00, 0x01, 0x00}, kAsc, {0x7F}), false, {}},
        {"DecSpecificInfo size of 2^35", EsDescriptor({0x00, 0x01, 0x00}, kAsc, {0xFF, 0xFF, 0xFF, 0xFF, 0x7F}), false, {}},
        // Size bytes past 64 bits must not wrap to a small size.
        {"DecSpecificInfo size of 2^70 + 2",
         EsDescriptor({0x00, 0x01, 0x00}, kAsc, {0x81, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x02}), false,
         {}},
        {"empty", {}, false, {}},
        {"endless size bytes", Bytes{0x03, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80}, false, {}},
    };
    for (const Case &c : cases) {
        const Found f = Find(c.es, c.es.size());
        EXPECT_EQ(f.ok, c.ok) << c.name;
        EXPECT_EQ(f.info, c.info) << c.name;
    }
}

TEST(FindDecoderSpecificInfo, EveryTruncationFindsNothingUntilThePayloadEnds) {
    for (const Bytes &es : {EsDescriptor({0x00, 0x01, 0xE0, 0x00, 0x07, 0x02, 'u', 'v', 0x00, 0x09}, kAsc),
                            EsDescriptor({0x00, 0x01, 0x20}, kAsc)}) {
        const Found whole = Find(es, es.size());
        ASSERT_TRUE(whole.ok);
        const size_t payload_end = whole.offset + whole.info.size();
        for (size_t length = 0; length <= es.size(); ++length) {
            const Found f = Find(es, length);
            EXPECT_EQ(f.ok, length >= payload_end) << length;
            if (f.ok) {
                EXPECT_EQ(f.info, kAsc) << length;
            }
        }
    }
}

}  // namespace
