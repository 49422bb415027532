#include "video_object_layer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bit_string.h"
#include "bit_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Fields = std::vector<uint32_t>;

constexpr uint32_t kVisualObjectSequence = 0x1B0, kUserData = 0x1B2, kVisualObject = 0x1B5, kVop = 0x1B6;
constexpr uint32_t kVideoObject = 0x100, kLayer = 0x120;

// Syntax elements written through the bitstream writer, each checked.
class Bits {
public:
    Bits& u(unsigned count, uint32_t value) {
        EXPECT_TRUE(writer_.WriteBits(value, count));
        return *this;
    }
    Bits& flag(bool value) { return u(1, value ? 1 : 0); }
    Bits& marker() { return u(1, 1); }
    Bits& start_code(uint32_t code) { return align().u(32, code); }
    Bits& align() {
        EXPECT_TRUE(writer_.WriteBytes(nullptr, 0));
        return *this;
    }
    Bits& bytes(const Bytes& b) {
        EXPECT_TRUE(writer_.WriteBytes(b.data(), b.size()));
        return *this;
    }
    Bytes take() { return writer_.Take(); }

private:
    BitWriter writer_;
};

// The layer's fields, as a test sets them; the defaults make a plain 320 x 240
// version 1 rectangular layer.
struct Layer {
    int verid = 0;  // 0: no is_object_layer_identifier
    uint32_t type = 1;
    uint32_t aspect_ratio_info = 1;
    bool vol_control = false, vbv = false;
    uint32_t shape = 0, shape_extension = 0;
    uint32_t resolution = 30000;
    bool fixed_rate = false;
    uint32_t fixed_increment = 0;
    unsigned fixed_increment_bits = 0;
    uint32_t width = 320, height = 240;
    uint32_t sprite = 0;
    bool not_8_bit = false;
    bool quant_type = false;
    // Each loaded matrix as written (a short one ends with its zero); an
    // empty entry is an unloaded matrix.
    std::vector<Bytes> matrices;
    int complexity_method = -1;  // -1: complexity_estimation_disable
    uint32_t resync_marker_disable = 1, data_partitioned = 1, reversible_vlc = 1;
};

void WriteLayer(Bits& b, const Layer& l, int visual_object_verid = 1) {
    const int verid = l.verid ? l.verid : visual_object_verid;
    b.start_code(kLayer).u(1, 0).u(8, l.type).flag(l.verid != 0);
    if (l.verid) b.u(4, l.verid).u(3, 1);
    b.u(4, l.aspect_ratio_info);
    if (l.aspect_ratio_info == 15) b.u(8, 12).u(8, 11);
    b.flag(l.vol_control);
    if (l.vol_control) {
        b.u(2, 1).u(1, 0).flag(l.vbv);
        if (l.vbv) b.u(15, 1).marker().u(15, 2).marker().u(15, 3).marker().u(3, 4).u(11, 5).marker().u(15, 6).marker();
    }
    b.u(2, l.shape);
    if (l.shape == 3 && verid != 1) b.u(4, l.shape_extension);
    b.marker().u(16, l.resolution).marker().flag(l.fixed_rate);
    if (l.fixed_rate) b.u(l.fixed_increment_bits, l.fixed_increment);
    if (l.shape == 2) return;
    if (l.shape == 0) b.marker().u(13, l.width).marker().u(13, l.height).marker();
    b.u(1, 0).u(1, 1).u(verid == 1 ? 1 : 2, l.sprite);
    if (l.sprite == 1)
        b.u(13, 100).marker().u(13, 200).marker().u(13, 3).marker().u(13, 4).marker().u(6, 3).u(2, 1).u(1, 0).u(1, 1);
    if (l.sprite == 2) b.u(6, 2).u(2, 3).u(1, 1);
    if (verid != 1 && l.shape != 0) b.u(1, 1);
    b.flag(l.not_8_bit);
    if (l.not_8_bit) b.u(4, 9).u(4, 10);
    if (l.shape == 3) b.u(3, 5);
    b.flag(l.quant_type);
    if (l.quant_type)
        for (const Bytes& m : l.matrices) {
            b.flag(!m.empty());
            for (uint8_t v : m) b.u(8, v);
        }
    if (verid != 1) b.u(1, 0);
    b.flag(l.complexity_method < 0);
    if (l.complexity_method >= 0) {
        b.u(2, uint32_t(l.complexity_method));
        if (l.complexity_method <= 1) {
            b.u(1, 0).u(6, 0x3F).u(1, 0).u(4, 0xF).marker().u(1, 0).u(4, 0xF).u(1, 0).u(6, 0x3F).marker();
            if (l.complexity_method == 1) b.u(1, 0).u(2, 3);
        }
    }
    b.u(1, l.resync_marker_disable).u(1, l.data_partitioned);
    if (l.data_partitioned) b.u(1, l.reversible_vlc);
}

Bytes LayerOnly(const Layer& l) {
    Bits b;
    WriteLayer(b, l);
    return b.take();
}

// Visual object sequence, visual object (type 1, video signal type with
// colours), video object and layer.
Bytes FullConfiguration(const Layer& l, int visual_object_verid = 0) {
    Bits b;
    b.start_code(kVisualObjectSequence).u(8, 0xF5);
    b.start_code(kVisualObject).flag(visual_object_verid != 0);
    if (visual_object_verid) b.u(4, uint32_t(visual_object_verid)).u(3, 2);
    b.u(4, 1).u(1, 1).u(3, 5).u(1, 0).u(1, 1).u(8, 1).u(8, 6).u(8, 7);
    b.start_code(kVideoObject);
    WriteLayer(b, l, visual_object_verid ? visual_object_verid : 1);
    return b.take();
}

VolResult Parse(const Bytes& bytes, Mpeg4VolInfo* info) { return ParseExact(ParseVideoObjectLayer, bytes, info); }

const Bytes kUserDataBlock = {0x00, 0x00, 0x01, 0xB2, 'K', 'e', 'l', 'o', 0x00, 0x00, 0x02};

struct EntryCase {
    const char* name;
    Bytes bytes;
    VolResult result;
    uint32_t width, height;
};

TEST(VideoObjectLayer, EntryPoints) {
    Layer l;
    Bits user_before_vo;
    user_before_vo.start_code(kVisualObjectSequence).u(8, 3).bytes(kUserDataBlock).bytes(kUserDataBlock);
    user_before_vo.start_code(kVisualObject).u(1, 0).u(4, 1).u(1, 0).align().bytes(kUserDataBlock);
    user_before_vo.start_code(kVideoObject);
    WriteLayer(user_before_vo, l);

    Bits still_texture;
    still_texture.start_code(kVisualObjectSequence).u(8, 3).start_code(kVisualObject).u(1, 0).u(4, 2);
    still_texture.u(1, 1).u(3, 5).u(1, 0).u(1, 0);  // a video signal type, format 5
    const Bytes still_texture_bytes = still_texture.take();
    Bits no_layer;
    no_layer.start_code(kVisualObjectSequence).u(8, 3).start_code(kVisualObject).u(1, 0).u(4, 1).u(1, 0);
    no_layer.start_code(kVideoObject).start_code(0x1B3).u(8, 0);
    Bits video_object;
    video_object.start_code(0x11F);
    WriteLayer(video_object, l);
    const Bytes plain_layer = LayerOnly(l);
    Bits layer_12f;
    layer_12f.u(32, 0x12F).bytes(Bytes(plain_layer.begin() + 4, plain_layer.end()));

    // Sequence (5 bytes), visual object (5), video object (4) and a layer of
    // 85 bits: 29 bytes, the last one partly padding, none past the end.
    Layer control;
    control.verid = 1;
    control.vol_control = true;
    Bits odd_length;
    odd_length.start_code(kVisualObjectSequence).u(8, 1).start_code(kVisualObject).u(1, 0).u(4, 1).u(1, 0);
    WriteLayer(odd_length.start_code(kVideoObject), control);
    const Bytes twenty_nine = odd_length.take();
    ASSERT_EQ(twenty_nine.size(), 29u);

    const std::vector<EntryCase> cases = {
        {"29 bytes", twenty_nine, VolResult::Ok, 320, 240},
        {"visual object sequence", FullConfiguration(l), VolResult::Ok, 320, 240},
        {"layer start code", LayerOnly(l), VolResult::Ok, 320, 240},
        {"layer start code 0x12F", layer_12f.take(), VolResult::Ok, 320, 240},
        {"video object start code 0x11F", video_object.take(), VolResult::Ok, 320, 240},
        {"user data before and inside the visual object", user_before_vo.take(), VolResult::Ok, 320, 240},
        {"layer followed by user data", Bits().bytes(LayerOnly(l)).bytes(kUserDataBlock).take(), VolResult::Ok, 320,
         240},
        {"still texture object: no layer", still_texture_bytes, VolResult::Ok, 0, 0},
        {"video object without a layer", no_layer.take(), VolResult::Ok, 0, 0},
        {"VOP start code", Bits().u(32, kVop).u(32, 0x12345678).take(), VolResult::UnknownStartCode, 0, 0},
        {"visual object start code", Bits().u(32, kVisualObject).u(8, 0x08).take(), VolResult::UnknownStartCode, 0, 0},
        {"user data first", Bits().bytes(kUserDataBlock).bytes(LayerOnly(l)).take(), VolResult::UnknownStartCode, 0, 0},
        {"no start code prefix", Bits().u(32, 0x01000120).take(), VolResult::UnknownStartCode, 0, 0},
        // No start code behind the user data: the skip stops at the last byte.
        {"user data up to the end",
         Bits().start_code(kVisualObjectSequence).u(8, 1).start_code(kUserData).u(32, 0x61620000).take(),
         VolResult::Truncated, 0, 0},
    };
    for (const EntryCase& c : cases) {
        SCOPED_TRACE(c.name);
        Mpeg4VolInfo info;
        EXPECT_EQ(Parse(c.bytes, &info), c.result);
        EXPECT_EQ(info.video_object_layer_width, c.width);
        EXPECT_EQ(info.video_object_layer_height, c.height);
    }
    Mpeg4VolInfo info;
    ASSERT_EQ(Parse(still_texture_bytes, &info), VolResult::Ok);
    EXPECT_EQ(info.video_format, 5) << "a still texture object has a video signal type too";
}

TEST(VideoObjectLayer, VisualObjectFields) {
    Layer l;
    l.width = 720;
    l.height = 576;
    l.aspect_ratio_info = 2;
    Mpeg4VolInfo info;
    ASSERT_EQ(Parse(FullConfiguration(l, 2), &info), VolResult::Ok);
    EXPECT_EQ(info.profile_and_level_indication, 0xF5);
    // The visual object's fields in syntax order, then the layer's.
    EXPECT_EQ((Fields{info.visual_object_verid, info.visual_object_type, info.video_signal_type, info.video_format,
                      info.video_range, info.colour_description, info.colour_primaries, info.transfer_characteristics,
                      info.matrix_coefficients}),
              (Fields{2, 1, 1, 5, 0, 1, 1, 6, 7}));
    EXPECT_EQ(info.video_object_layer_verid, 2) << "taken from the visual object";
    EXPECT_EQ((Fields{info.aspect_ratio_info, info.video_object_layer_width, info.video_object_layer_height,
                      info.vop_time_increment_resolution}),
              (Fields{2, 720, 576, 30000}));

    // The layer's own identifier wins over the visual object's.
    l.verid = 1;
    ASSERT_EQ(Parse(FullConfiguration(l, 2), &info), VolResult::Ok);
    EXPECT_EQ(info.video_object_layer_verid, 1);
}

TEST(VideoObjectLayer, FixedVopTimeIncrementWidth) {
    const std::vector<std::pair<uint32_t, unsigned>> rows = {{30000, 15}, {16, 4}, {1, 1}, {2, 1},     {3, 2},
                                                             {17, 5},     {25, 5}, {0, 1}, {65535, 16}};
    for (const auto& [resolution, bits] : rows) {
        SCOPED_TRACE(resolution);
        EXPECT_EQ(FixedVopTimeIncrementBits(resolution), bits);
        // Read at that width, the picture size behind it comes out right.
        Layer l;
        l.resolution = resolution;
        l.fixed_rate = true;
        l.fixed_increment_bits = bits;
        l.fixed_increment = (1u << bits) - 1;
        // Some of these layers end on a byte boundary: no reversible_vlc is read there.
        l.data_partitioned = 0;
        Mpeg4VolInfo info;
        ASSERT_EQ(Parse(LayerOnly(l), &info), VolResult::Ok);
        EXPECT_EQ(info.fixed_vop_rate, 1);
        EXPECT_EQ(info.fixed_vop_time_increment, l.fixed_increment);
        EXPECT_EQ(info.video_object_layer_width, 320);
        EXPECT_EQ(info.video_object_layer_height, 240);
    }
}

Layer Shaped(uint32_t shape, int verid, uint32_t extension = 0, std::vector<Bytes> matrices = {}) {
    Layer l;
    l.shape = shape;
    l.verid = verid;
    l.shape_extension = extension;
    l.quant_type = !matrices.empty();
    l.matrices = std::move(matrices);
    return l;
}

Layer With(void (*change)(Layer&)) {
    Layer l;
    change(l);
    return l;
}

struct LayerRow {
    const char* name;
    Layer layer;
    VolResult result;
    uint8_t shape, sprite;
};

// Every optional branch of the layer: the last flags come out right only
// when each branch was read at its exact length, and one byte less is a
// truncation.
TEST(VideoObjectLayer, OptionalBranches) {
    Bytes full(64);
    for (size_t i = 0; i < full.size(); ++i) full[i] = uint8_t(8 + i);
    const Bytes short_matrix = {16, 17, 18, 0}, m = {1, 2, 0};
    const LayerRow rows[] = {
        {"plain", Layer{}, VolResult::Ok, 0, 0},
        {"no matrix loaded", Shaped(0, 0, 0, {{}, {}}), VolResult::Ok, 0, 0},
        {"full intra matrix, no terminator", Shaped(0, 0, 0, {full, {}}), VolResult::Ok, 0, 0},
        {"full intra and non-intra", Shaped(0, 0, 0, {full, Bytes(64, 255)}), VolResult::Ok, 0, 0},
        {"short intra ended by zero", Shaped(0, 0, 0, {short_matrix, {}}), VolResult::Ok, 0, 0},
        {"short non-intra after a full intra", Shaped(0, 0, 0, {full, short_matrix}), VolResult::Ok, 0, 0},
        {"zero first: an empty matrix", Shaped(0, 0, 0, {{0}, {0}}), VolResult::Ok, 0, 0},
        {"binary shape", Shaped(1, 0), VolResult::Ok, 1, 0},
        {"binary, version 2 (sadct_disable)", Shaped(1, 2), VolResult::Ok, 1, 0},
        {"binary only: ends after the time fields", Shaped(2, 0), VolResult::Ok, 2, 0},
        {"grayscale version 1", Shaped(3, 0), VolResult::Ok, 3, 0},
        {"grayscale extension 0: one component", Shaped(3, 2, 0, {{}, {}, m, m}), VolResult::Ok, 3, 0},
        {"grayscale extension 2: two components", Shaped(3, 2, 2, {m, {}, {}, m, m, {}}), VolResult::Ok, 3, 0},
        {"grayscale extension 12: three components", Shaped(3, 2, 12, {{}, {}, m, m, m, m, m, m}), VolResult::Ok, 3, 0},
        {"grayscale extension 13 without matrices", Shaped(3, 2, 13), VolResult::Ok, 3, 0},
        {"grayscale extension 13 with quant_type", Shaped(3, 2, 13, {{}, {}}), VolResult::InvalidShapeExtension, 3, 0},
        {"grayscale version 1 with quant_type", Shaped(3, 1, 0, {{}, {}}), VolResult::InvalidShapeExtension, 3, 0},
        {"static sprite, version 1", With([](Layer& l) { l.sprite = 1; }), VolResult::Ok, 0, 1},
        {"static sprite, version 2", With([](Layer& l) { l.verid = 2, l.sprite = 1; }), VolResult::Ok, 0, 1},
        {"GMC sprite, version 2", With([](Layer& l) { l.verid = 2, l.sprite = 2; }), VolResult::Ok, 0, 2},
        {"reserved sprite 3, version 2", With([](Layer& l) { l.verid = 2, l.sprite = 3; }), VolResult::Ok, 0, 3},
        {"complexity method 0", With([](Layer& l) { l.complexity_method = 0; }), VolResult::Ok, 0, 0},
        {"complexity method 1", With([](Layer& l) { l.verid = 2, l.complexity_method = 1; }), VolResult::Ok, 0, 0},
        {"complexity method 2 (reserved)", With([](Layer& l) { l.complexity_method = 2; }), VolResult::Ok, 0, 0},
        {"extended pixel aspect ratio", With([](Layer& l) { l.aspect_ratio_info = 15; }), VolResult::Ok, 0, 0},
        {"vol control with vbv parameters", With([](Layer& l) { l.vol_control = l.vbv = true; }), VolResult::Ok, 0, 0},
        {"vol control without vbv", With([](Layer& l) { l.vol_control = true; }), VolResult::Ok, 0, 0},
        {"not 8 bit, version 2", With([](Layer& l) { l.verid = 2, l.not_8_bit = true; }), VolResult::Ok, 0, 0},
    };
    // reversible_vlc is read only behind data_partitioned.
    const uint32_t tails[][4] = {{0, 1, 1, 1}, {1, 0, 1, 0}};  // written resync, partitioned, rvlc; rvlc read
    for (const LayerRow& row : rows) {
        for (const auto& tail : tails) {
            SCOPED_TRACE(testing::Message() << row.name << ", resync_marker_disable " << tail[0]);
            Layer l = row.layer;
            l.resync_marker_disable = tail[0];
            l.data_partitioned = tail[1];
            l.reversible_vlc = tail[2];
            const Bytes bytes = LayerOnly(l);
            Mpeg4VolInfo info;
            EXPECT_EQ(Parse(bytes, &info), row.result);
            EXPECT_EQ(info.video_object_layer_shape, row.shape);
            EXPECT_EQ(info.sprite_enable, row.sprite);
            EXPECT_EQ(info.quant_type, l.quant_type);
            EXPECT_EQ(info.video_object_layer_width, row.shape == 0 ? 320 : 0);
            EXPECT_EQ(info.video_object_layer_height, row.shape == 0 ? 240 : 0);
            if (row.result == VolResult::Ok && row.shape != 2) {
                EXPECT_EQ(info.resync_marker_disable, tail[0]);
                EXPECT_EQ(info.data_partitioned, tail[1]);
                EXPECT_EQ(info.reversible_vlc, tail[3]);
            }
            if (row.result == VolResult::Ok) {
                EXPECT_EQ(Parse(Bytes(bytes.begin(), bytes.end() - 1), &info), VolResult::Truncated);
            }
            // Entered at a visual object sequence, a broken layer does not fail the parse.
            EXPECT_EQ(Parse(FullConfiguration(l), &info), VolResult::Ok);
        }
    }
}

TEST(VideoObjectLayer, NoInput) {
    Mpeg4VolInfo info;
    info.video_object_layer_width = 9;
    EXPECT_EQ(ParseVideoObjectLayer(nullptr, 4, &info), VolResult::NoInput);
    EXPECT_EQ(info.video_object_layer_width, 0) << "the record is reset";
    const uint8_t bytes[] = {0, 0, 1, 0x20};
    EXPECT_EQ(ParseVideoObjectLayer(bytes, 0, &info), VolResult::NoInput);
    EXPECT_EQ(ParseVideoObjectLayer(bytes, 4, nullptr), VolResult::NoInput);
}

}  // namespace
