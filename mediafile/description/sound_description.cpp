// QuickTime sound descriptions (QuickTime File Format, "Sound sample
// descriptions"): the fields that versions 1 and 2 add after the 28 bytes
// every audio entry has, the `enda` byte-order box and the `esds` inside a
// `wave` child, and the `chan` channel layout. Linear PCM in MOV files needs them: the sample
// format, size and channel arrangement are told here.
#include <cstring>

#include "sample_entry_parsers.h"

namespace bxf {

namespace {

constexpr uint64_t kVersion1Bytes = 16;
constexpr uint64_t kVersion2Bytes = 36;
constexpr uint64_t kChannelDescriptionBytes = 20;

// An ISO version 1 entry (14496-12 12.2.3) puts its child boxes right after
// the 28 bytes; a QuickTime one puts its four u32 there. A box header that
// fits what remains and names a printable type marks the ISO layout.
bool box_follows(const ByteCursor &c) {
    if (c.remaining() < 8) return false;
    const uint8_t *at = c.current();
    const uint64_t size = load_u32_be(at);
    if (size < 8 || size > c.remaining()) return false;
    for (int i = 4; i < 8; ++i)
        if (at[i] < 0x20 || at[i] > 0x7E) return false;
    return true;
}

double to_double(uint64_t bits) {
    double value = 0;
    static_assert(sizeof value == sizeof bits, "IEEE 754 binary64");
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// enda: a u16, non-zero for little-endian samples.
uint32_t read_enda(const BufferIo &io, const BoxRecord &box, SampleEntry &e) {
    ByteCursor c = io.body(box);
    const uint16_t little = c.u16();
    if (!c.ok()) return BXF_RET_FORMAT;
    e.audio.quicktime.has_enda = 1;
    e.audio.quicktime.little_endian = little != 0;
    return BXF_RET_OK;
}

// QuickTime keeps an MPEG-4 audio entry's esds inside its wave; an esds
// found at the entry's own level keeps precedence.
uint32_t read_wave_esds(const BufferIo &io, const BoxRecord &box, SampleEntry &e) {
    return e.esds ? BXF_RET_OK : parse_esds(io, box, &e.esds);
}

const BufferRule<SampleEntry> kWaveChildren[] = {
    {BXF_FOURCC('e', 'n', 'd', 'a'), Occurs::once, read_enda},
    {BXF_FOURCC('e', 's', 'd', 's'), Occurs::once, read_wave_esds},
};

}  // namespace

void read_sound_description_fields(ByteCursor &c, uint16_t entry_version, SoundDescription &qt) {
    if (entry_version == 1 && c.remaining() >= kVersion1Bytes && !box_follows(c)) {
        qt.has_version1 = 1;
        qt.samples_per_packet = c.u32();
        qt.bytes_per_packet = c.u32();
        qt.bytes_per_frame = c.u32();
        qt.bytes_per_sample = c.u32();
    } else if (entry_version == 2 && c.remaining() >= kVersion2Bytes) {
        qt.has_version2 = 1;
        c.skip(4);  // sizeOfStructOnly
        qt.audio_sample_rate = to_double(c.u64());
        qt.audio_channels = c.u32();
        c.skip(4);  // always 0x7F000000
        qt.bits_per_channel = c.u32();
        qt.format_flags = c.u32();
        qt.bytes_per_audio_packet = c.u32();
        qt.frames_per_audio_packet = c.u32();
    }
}

uint32_t read_wave(const BufferIo &io, const BoxRecord &box, SampleEntry &e) {
    return walk_buffer(io, children_of(box, 0), kWaveChildren, e);
}

// chan: version/flags, the layout tag, the bitmap, the description count,
// then 20 bytes per description of which the first u32 is its label. The
// labels kept are those the box holds, at most BXF_CHAN_MAX_LABELS.
uint32_t read_chan(const BufferIo &io, const BoxRecord &box, SampleEntry &e) {
    ByteCursor c = io.body(box);
    SoundDescription &qt = e.audio.quicktime;
    c.skip(4);
    const uint32_t tag = c.u32(), bitmap = c.u32(), count = c.u32();
    if (!c.ok()) return BXF_RET_FORMAT;
    qt.has_chan = 1;
    qt.layout_tag = tag;
    qt.channel_bitmap = bitmap;
    uint64_t held = c.remaining() / kChannelDescriptionBytes;
    if (held > count) held = count;
    if (held > BXF_CHAN_MAX_LABELS) held = BXF_CHAN_MAX_LABELS;
    for (uint64_t i = 0; i < held; ++i) {
        qt.labels[i] = c.u32();
        c.skip(kChannelDescriptionBytes - 4);
    }
    qt.label_count = static_cast<uint32_t>(held);
    return BXF_RET_OK;
}

}  // namespace bxf
