#include "pin_media_types.h"

#include <gtest/gtest.h>

// After windows.h, which filter_graph.h brings.
#include <dvdmedia.h>
#include <mmreg.h>

#include <algorithm>
#include <cstddef>

#include "hvcc_units.h"
#include "stream_guids.h"
#include "test_graph.h"

namespace {

// A WAVE subtype: its format tag in the base GUID.
GUID WaveSubtype(uint32_t tag) { return {tag, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}}; }

std::vector<CMediaType> OfferedTypes(IPin* pin) {
    std::vector<CMediaType> types;
    ComPtr<IEnumMediaTypes> offered;
    if (FAILED(pin->EnumMediaTypes(offered.Receive()))) return types;
    for (AM_MEDIA_TYPE* type = nullptr; offered->Next(1, &type, nullptr) == S_OK; type = nullptr) {
        types.emplace_back(*type);
        DeleteMediaType(type);
    }
    return types;
}

// The kinds of a type, and whether its samples depend on others.
void ExpectKinds(const AM_MEDIA_TYPE& type, const GUID& major, const GUID& format, bool temporal) {
    EXPECT_EQ(type.majortype, major);
    EXPECT_EQ(type.formattype, format);
    EXPECT_EQ(type.bTemporalCompression != FALSE, temporal);
}

// The whole picture as source and target, and a 24-bit bitmap header of the codec's compression.
template <typename VideoHeader>
void ExpectPicture(const VideoHeader& header, long width, long height, DWORD compression) {
    const RECT picture = {0, 0, width, height};
    const BITMAPINFOHEADER& bitmap = header.bmiHeader;
    EXPECT_TRUE(EqualRect(&header.rcSource, &picture));
    EXPECT_TRUE(EqualRect(&header.rcTarget, &picture));
    EXPECT_EQ(bitmap.biSize, 40u);
    EXPECT_EQ(bitmap.biWidth, width);
    EXPECT_EQ(bitmap.biHeight, height);
    EXPECT_EQ(bitmap.biPlanes, 1);
    EXPECT_EQ(bitmap.biBitCount, 24);
    EXPECT_EQ(bitmap.biCompression, compression);
    EXPECT_EQ(bitmap.biSizeImage, 0u);
    EXPECT_EQ(bitmap.biXPelsPerMeter, 0);
    EXPECT_EQ(bitmap.biClrUsed, 0u);
}

// Uncompressed samples of `bits`: whole bytes per channel, frames of every channel's sample.
void ExpectPcmLayout(const WAVEFORMATEX& wave, unsigned channels, unsigned rate, unsigned bits) {
    EXPECT_EQ(wave.nChannels, channels);
    EXPECT_EQ(wave.nSamplesPerSec, rate);
    EXPECT_EQ(wave.wBitsPerSample, bits);
    EXPECT_EQ(wave.nBlockAlign, bits / 8 * channels);
    EXPECT_EQ(wave.nAvgBytesPerSec, bits / 8 * channels * rate);
}

}  // namespace

void ExpectAvcType(const TypeContext& c) {
    EXPECT_EQ(OfferedTypes(c.pin).size(), 1u);
    const CMediaType& video = c.type;
    ExpectKinds(video, MEDIATYPE_Video, FORMAT_VideoInfo2, true);
    EXPECT_FALSE(video.bFixedSizeSamples);
    ASSERT_GT(video.cbFormat, sizeof(VIDEOINFOHEADER2) + 2);
    const auto* header = reinterpret_cast<const VIDEOINFOHEADER2*>(video.pbFormat);
    ExpectPicture(*header, c.width, c.height, MAKEFOURCC('M', 'P', '4', 'S'));
    // The frame time, bit rate and interlacing: check_video_rates.py, against ffprobe.
    EXPECT_EQ(header->dwPictAspectRatioX, 4u);  // 160x120 at a sample aspect ratio of 1:1
    EXPECT_EQ(header->dwPictAspectRatioY, 3u);
    EXPECT_EQ(header->dwControlFlags, 0u);
    EXPECT_EQ(video.pbFormat[video.cbFormat - 2] | video.pbFormat[video.cbFormat - 1], 0) << "two zero bytes end it";
    // The rebuilt record is the stored one up to its PPS: the high-profile fields after them are not written again.
    std::vector<uint8_t> record(video.pbFormat + sizeof(VIDEOINFOHEADER2), video.pbFormat + video.cbFormat - 2);
    const std::vector<uint8_t>& stored = c.stream.extradata;
    ASSERT_LE(record.size(), stored.size());
    EXPECT_TRUE(std::equal(record.begin(), record.end(), stored.begin()));
    EXPECT_TRUE(stored.size() - record.size() == 0 || stored.size() - record.size() == 4);
}

void ExpectAacType(const TypeContext& c) {
    std::vector<CMediaType> types = OfferedTypes(c.pin);
    ASSERT_EQ(types.size(), 2u);
    EXPECT_EQ(types[0].subtype, WaveSubtype(0x00FF));
    EXPECT_EQ(types[1].subtype, WaveSubtype(0x0278));
    for (const CMediaType& audio : types) {
        ExpectKinds(audio, MEDIATYPE_Audio, FORMAT_WaveFormatEx, true);
        EXPECT_EQ(audio.lSampleSize, 4u);
        ASSERT_EQ(audio.cbFormat, sizeof(WAVEFORMATEX) + c.stream.extradata.size());
        const auto* wave = reinterpret_cast<const WAVEFORMATEX*>(audio.pbFormat);
        EXPECT_EQ(wave->wFormatTag, 0x00FF);
        EXPECT_EQ(wave->nChannels, c.stream.channels);
        EXPECT_EQ(wave->nSamplesPerSec, c.stream.rate);
        EXPECT_EQ(wave->nAvgBytesPerSec, 0u);
        EXPECT_EQ(wave->nBlockAlign, 2 * c.stream.channels);
        EXPECT_EQ(wave->wBitsPerSample, 0);
        EXPECT_EQ(wave->cbSize, c.stream.extradata.size());
        std::vector<uint8_t> config(audio.pbFormat + sizeof(WAVEFORMATEX), audio.pbFormat + audio.cbFormat);
        EXPECT_EQ(config, c.stream.extradata) << "the AudioSpecificConfig is passed on unchanged";
    }
    EXPECT_EQ(c.type.subtype, types[0].subtype) << "the connection took the first";
}

void ExpectMpeg4VideoType(const TypeContext& c) {
    const bool h263 = c.stream.codec == "h263";
    const AM_MEDIA_TYPE& type = c.type;
    ExpectKinds(type, MEDIATYPE_Video, FORMAT_VideoInfo, true);
    EXPECT_EQ(type.subtype, MEDIASUBTYPE_PrivateMPEG4V);
    EXPECT_FALSE(type.bFixedSizeSamples);
    const std::vector<uint8_t> config = h263 ? std::vector<uint8_t>() : c.stream.extradata;
    ASSERT_EQ(type.cbFormat, sizeof(VIDEOINFOHEADER) + config.size() + 2);
    const auto* header = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
    ExpectPicture(*header, c.width, c.height, h263 ? MAKEFOURCC('s', '2', '6', '3') : MAKEFOURCC('M', 'P', '4', 'S'));
    EXPECT_EQ(header->dwBitErrorRate, 0u);
    std::vector<uint8_t> stored(type.pbFormat + sizeof(VIDEOINFOHEADER),
                                type.pbFormat + sizeof(VIDEOINFOHEADER) + config.size());
    EXPECT_EQ(stored, config) << "the DecoderSpecificInfo as ffprobe's extradata";
    EXPECT_EQ(type.pbFormat[type.cbFormat - 2] | type.pbFormat[type.cbFormat - 1], 0) << "two zero bytes end it";
}

// The VPS, SPS and PPS of the file's own hvcC, each behind its 2-byte length; profile, level and NAL length size
// from its fields.
void ExpectHevcType(const TypeContext& c) {
    size_t at = 0;
    const std::vector<uint8_t> hvcc = BoxBody(ReadWholeFile(c.path), "hvcC", &at);
    ASSERT_GT(hvcc.size(), 23u);
    std::vector<uint8_t> sets;
    for (unsigned kind : {32u, 33u, 34u})
        for (const HvccUnit& unit : HvccUnits(hvcc))
            if (unit.type == kind)
                sets.insert(sets.end(), hvcc.begin() + std::ptrdiff_t(unit.length_at),
                            hvcc.begin() + std::ptrdiff_t(unit.length_at + 2 + unit.length));
    const CMediaType& type = c.type;
    ExpectKinds(type, MEDIATYPE_Video, FORMAT_MPEG2Video, true);
    EXPECT_EQ(type.subtype.Data1, MAKEFOURCC('H', 'V', 'C', '1'));
    const size_t header_at = offsetof(MPEG2VIDEOINFO, dwSequenceHeader);
    ASSERT_EQ(type.cbFormat, header_at + sets.size());
    const auto* info = reinterpret_cast<const MPEG2VIDEOINFO*>(type.pbFormat);
    ExpectPicture(info->hdr, c.width, c.height, MAKEFOURCC('H', 'V', 'C', '1'));
    // 170 x 10 : 126 x 11, reduced.
    EXPECT_EQ(info->hdr.dwPictAspectRatioX, 850u);
    EXPECT_EQ(info->hdr.dwPictAspectRatioY, 693u);
    EXPECT_EQ(info->dwProfile, hvcc[1] & 0x1Fu);
    EXPECT_EQ(info->dwLevel, hvcc[12]);
    EXPECT_EQ(info->dwFlags, (hvcc[21] & 3u) + 1);
    EXPECT_EQ(info->cbSequenceHeader, sets.size());
    EXPECT_TRUE(std::equal(sets.begin(), sets.end(), type.pbFormat + header_at));
    // The same block under the other subtype.
    ComPtr<IPin> peer;
    ASSERT_EQ(c.pin->ConnectedTo(peer.Receive()), S_OK);
    CMediaType named = type;
    named.subtype.Data1 = MAKEFOURCC('H', 'E', 'V', 'C');
    EXPECT_EQ(c.pin->QueryAccept(&named), S_OK);
}

// The samr entry's own numbers in the PCM pin's layout, whatever they say of AMR (3GP writers store a channel count
// of 2 for mono AMR): an AMR decoder takes the subtype and reads the rest from the stream.
void ExpectAmrType(const TypeContext& c) {
    const std::vector<uint8_t> file = ReadWholeFile(c.path);
    static const char kTag[] = "samr";
    auto found = std::search(file.begin(), file.end(), kTag, kTag + 4);
    // After the tag: 6 reserved bytes, the data reference index, 8 reserved bytes, then channelcount, samplesize,
    // 4 bytes, samplerate (16.16).
    const size_t fields = static_cast<size_t>(found - file.begin()) + 4 + 16;
    ASSERT_TRUE(found != file.end() && fields + 12 <= file.size());
    auto be16 = [&file](size_t i) { return static_cast<uint16_t>(file[i] << 8 | file[i + 1]); };
    const uint16_t channels = be16(fields), bits = be16(fields + 2), rate = be16(fields + 8);
    const CMediaType& type = c.type;
    ExpectKinds(type, MEDIATYPE_Audio, FORMAT_WaveFormatEx, false);
    EXPECT_EQ(type.subtype, WaveSubtype(MAKEFOURCC('s', 'a', 'm', 'r')));
    EXPECT_FALSE(type.bFixedSizeSamples);
    ASSERT_EQ(type.cbFormat, sizeof(WAVEFORMATEX));
    const auto* wave = reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat);
    EXPECT_EQ(wave->wFormatTag, WAVE_FORMAT_PCM);
    ExpectPcmLayout(*wave, channels, rate, bits);
    EXPECT_EQ(wave->cbSize, 0);
}

// Beyond 16 bits or 2 channels WAVE wants the extensible format (its valid bits say the rest).
void ExpectPcmType(const TypeContext& c) {
    const AM_MEDIA_TYPE& type = c.type;
    ExpectKinds(type, MEDIATYPE_Audio, FORMAT_WaveFormatEx, false);
    EXPECT_EQ(type.subtype, MEDIASUBTYPE_PCM);
    ASSERT_GE(type.cbFormat, sizeof(WAVEFORMATEX));
    const auto* format = reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat);
    const bool extensible = c.stream.bits > 16 || c.stream.channels > 2;
    EXPECT_EQ(format->wFormatTag, extensible ? WAVE_FORMAT_EXTENSIBLE : WAVE_FORMAT_PCM);
    ExpectPcmLayout(*format, c.stream.channels, c.stream.rate, c.stream.bits);
    EXPECT_EQ(format->cbSize, extensible ? sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX) : 0);
}
