#include "pcm_format.h"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <iterator>

namespace {

constexpr uint32_t kMaxChannels = 32;
constexpr double kMaxSampleRate = 1e7;

// What the four-character code alone tells.
struct PcmKind {
    uint32_t entry_type;
    uint32_t bytes;  // 0: from the entry's sample size
    bool is_float;
    bool big_endian;   // unless an `enda` says little-endian
    bool signed_8bit;  // for 8-bit values
};

constexpr PcmKind kKinds[] = {
    {BXF_FOURCC('t', 'w', 'o', 's'), 0, false, true, true},
    {BXF_FOURCC('N', 'O', 'N', 'E'), 0, false, true, true},
    {BXF_FOURCC('s', 'o', 'w', 't'), 0, false, false, true},
    {BXF_FOURCC('r', 'a', 'w', ' '), 0, false, true, false},  // 8-bit unsigned (16-bit as twos)
    {BXF_FOURCC('i', 'n', '2', '4'), 3, false, true, true},
    {BXF_FOURCC('i', 'n', '3', '2'), 4, false, true, true},
    {BXF_FOURCC('f', 'l', '3', '2'), 4, true, true, true},
    {BXF_FOURCC('f', 'l', '6', '4'), 8, true, true, true},
};
constexpr uint32_t kLpcm = BXF_FOURCC('l', 'p', 'c', 'm');

// WAVE speaker masks of CoreAudio's predefined layouts (tag >> 16).
struct LayoutMask {
    uint32_t tag;
    uint32_t mask;
};
constexpr LayoutMask kLayoutMasks[] = {
    {100, 0x4},   {101, 0x3},  {102, 0x3},   {108, 0x33}, {113, 0x7},   {114, 0x7},  {115, 0x107},
    {116, 0x107}, {117, 0x37}, {118, 0x37},  {119, 0x37}, {120, 0x37},  {121, 0x3F}, {122, 0x3F},
    {123, 0x3F},  {124, 0x3F}, {125, 0x13F}, {126, 0xFF}, {128, 0x63F},
};
// The mask a count of channels has when nothing says otherwise.
constexpr uint32_t kDefaultMasks[] = {0, 0x4, 0x3, 0x7, 0x33, 0x37, 0x3F, 0x13F, 0x63F};

// The first 18 CoreAudio labels and channel bits are WAVE's speaker positions in order.
constexpr uint32_t kWaveSpeakerCount = 18;

uint32_t MaskOfChan(const SoundDescription& qt) {
    if (qt.layout_tag == BXF_CHAN_LAYOUT_USE_BITMAP) return qt.channel_bitmap;
    if (qt.layout_tag == BXF_CHAN_LAYOUT_USE_DESCRIPTIONS) {
        uint32_t mask = 0;
        for (uint32_t i = 0; i < qt.label_count; ++i) {
            const uint32_t label = qt.labels[i];
            if (label == 0 || label > kWaveSpeakerCount || (mask & (1u << (label - 1)))) return 0;
            mask |= 1u << (label - 1);
        }
        return mask;
    }
    for (const LayoutMask& row : kLayoutMasks)
        if (row.tag == qt.layout_tag >> 16) return row.mask;
    return 0;
}

// The `chan` box's mask when it names one speaker per channel, else the default.
uint32_t ChannelMask(const SoundDescription& qt, uint32_t channels) {
    const uint32_t mask = qt.has_chan ? MaskOfChan(qt) : 0;
    if (mask != 0 && std::bitset<32>(mask).count() == channels) return mask;
    return channels < std::size(kDefaultMasks) ? kDefaultMasks[channels] : 0;
}

// lpcm: everything from the version 2 fields.
bool DescribeLpcm(const SoundDescription& qt, PcmFormat* f) {
    if (!qt.has_version2 || (qt.format_flags & BXF_LPCM_FLAG_NON_INTERLEAVED)) return false;
    const uint32_t bits = qt.bits_per_channel;
    f->is_float = (qt.format_flags & BXF_LPCM_FLAG_FLOAT) != 0;
    f->big_endian = (qt.format_flags & BXF_LPCM_FLAG_BIG_ENDIAN) != 0;
    const bool is_signed = (qt.format_flags & BXF_LPCM_FLAG_SIGNED) != 0;
    if (f->is_float ? bits != 32 && bits != 64 : bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    if (!f->is_float && bits > 8 && !is_signed) return false;  // WAVE has no unsigned wide values
    f->signed_8bit = is_signed;
    f->bytes_per_value = bits / 8;
    // A packet of one frame must hold exactly the frame.
    return qt.frames_per_audio_packet != 1 || qt.bytes_per_audio_packet == 0 ||
           uint64_t{qt.bytes_per_audio_packet} == uint64_t{f->channels} * f->bytes_per_value;
}

}  // namespace

bool IsLinearPcmEntry(uint32_t entry_type) {
    return entry_type == kLpcm || std::any_of(std::begin(kKinds), std::end(kKinds),
                                              [&](const PcmKind& k) { return k.entry_type == entry_type; });
}

bool DescribePcm(const SampleEntry& entry, PcmFormat* f) {
    if (entry.kind != BXF_FORMAT_TYPE_MP4A) return false;
    const AudioFields& a = entry.audio;
    const SoundDescription& qt = a.quicktime;
    f->channels = qt.has_version2 ? qt.audio_channels : a.channel_count;
    if (f->channels == 0 || f->channels > kMaxChannels) return false;
    double rate = qt.has_version2 ? qt.audio_sample_rate : a.has_srat ? a.srat : a.sample_rate >> 16;
    if (!(rate >= 1 && rate <= kMaxSampleRate)) return false;  // NaN too
    f->sample_rate = static_cast<uint32_t>(std::lround(rate));

    if (entry.entry_type == kLpcm) {
        if (!DescribeLpcm(qt, f)) return false;
    } else {
        const PcmKind* kind = std::find_if(std::begin(kKinds), std::end(kKinds),
                                           [&](const PcmKind& k) { return k.entry_type == entry.entry_type; });
        if (kind == std::end(kKinds)) return false;
        f->is_float = kind->is_float;
        f->big_endian = kind->big_endian && !(qt.has_enda && qt.little_endian);
        f->signed_8bit = kind->signed_8bit;
        f->bytes_per_value = kind->bytes ? kind->bytes : a.sample_size / 8u;
        if (kind->bytes == 0 && (a.sample_size % 8 != 0 || f->bytes_per_value == 0 || f->bytes_per_value > 4))
            return false;
    }
    f->channel_mask = ChannelMask(qt, f->channels);
    return true;
}

void ConvertPcmValues(const PcmFormat& format, uint8_t* bytes, uint32_t size) {
    const uint32_t width = format.bytes_per_value;
    if (width == 1) {
        if (format.signed_8bit)
            for (uint32_t at = 0; at < size; ++at) bytes[at] ^= 0x80;
        return;
    }
    if (!format.big_endian || width == 0) return;
    for (uint32_t at = 0; at + width <= size; at += width) std::reverse(bytes + at, bytes + at + width);
}
