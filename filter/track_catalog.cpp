#include "track_catalog.h"

#include <cstdarg>
#include <cwchar>

#include "aac_channels.h"
#include "audio_specific_config.h"
#include "es_descriptor.h"
#include "media_time.h"
#include "track_descriptions.h"
#include "track_language.h"

namespace {

// Handler names longer than this are cut: a menu has no room for more.
constexpr uint32_t kMaxHandlerName = 64;

std::wstring Printf(const wchar_t* format, ...) {
    wchar_t text[128];
    va_list args;
    va_start(args, format);
    std::vswprintf(text, sizeof text / sizeof text[0], format, args);
    va_end(args);
    return text;
}

std::wstring FourCC(uint32_t code) {
    std::wstring text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const wchar_t c = static_cast<wchar_t>((code >> shift) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : L'?';
    }
    return text;
}

struct Named {
    uint32_t code;
    const wchar_t* name;
};

constexpr Named kLayouts[] = {{1, L"1.0"}, {2, L"2.0"}, {6, L"5.1"}, {8, L"7.1"}};
constexpr Named kAacObjectTypes[] = {{1, L"AAC Main"}, {2, L"AAC LC"}, {3, L"AAC SSR"},
                                     {4, L"AAC LTP"},  {5, L"HE-AAC"}, {29, L"HE-AACv2"}};
constexpr Named kAvcProfiles[] = {{66, L"Baseline"}, {77, L"Main"},        {88, L"Extended"},   {100, L"High"},
                                  {110, L"High 10"}, {122, L"High 4:2:2"}, {244, L"High 4:4:4"}};

// The name of `code` in `table`, or null.
template <size_t N>
const wchar_t* NameOf(const Named (&table)[N], uint32_t code) {
    for (const Named& row : table)
        if (row.code == code) return row.name;
    return nullptr;
}

std::wstring Layout(uint32_t channels) {
    const wchar_t* name = NameOf(kLayouts, channels);
    return name ? name : Printf(L"%u channels", channels);
}

std::wstring Rate(uint32_t hertz) {
    if (hertz % 1000 == 0) return Printf(L"%u kHz", hertz / 1000);
    return Printf(L"%g kHz", hertz / 1000.0);
}

// The codec part of an MPEG-4 audio entry's name; fills rate and channels
// from its AudioSpecificConfig.
std::wstring Mpeg4AudioCodec(PlayHandle* play, SampleDescriptions* descriptions, TrackFacts* track) {
    uint32_t size = 0;
    if (bxf_get_esds_size(play, descriptions, 1, &size) != BXF_RET_OK || size == 0) return L"MPEG-4 Audio";
    std::vector<uint8_t> es(size);
    const uint8_t* config = nullptr;
    uint32_t config_length = 0;
    if (bxf_get_esds_bytes(play, descriptions, 1, size, es.data()) != BXF_RET_OK ||
        !FindDecoderSpecificInfo(es.data(), size, &config, &config_length) || config_length == 0)
        return L"MPEG-4 Audio";
    AudioSpecificConfigInfo info;
    ParseAudioSpecificConfig(config, config_length, &info);
    if (info.samplingFrequency) track->sample_rate = info.samplingFrequency;
    if (const uint32_t channels = AacChannelCount(info)) track->channels = channels;
    const wchar_t* name = NameOf(kAacObjectTypes, info.audioObjectType);
    return name ? name : Printf(L"MPEG-4 Audio type %u", info.audioObjectType);
}

void ReadAudioFormat(PlayHandle* play, SampleDescriptions* descriptions, TrackFacts* track) {
    AudioEntryInfo entry;
    if (bxf_get_audio_entry(play, descriptions, 1, &entry) != BXF_RET_OK) return;
    track->entry_type = entry.entry_type;
    track->channels = entry.channel_count;
    track->sample_rate = entry.sample_rate_integer;
    std::wstring codec;
    if (entry.entry_type == BXF_FOURCC('t', 'w', 'o', 's'))
        codec = Printf(L"PCM %u-bit", entry.sample_size);
    else if (entry.entry_type == BXF_FOURCC('s', 'a', 'm', 'r'))
        codec = L"AMR-NB";
    else if (entry.entry_type == BXF_FOURCC('m', 'p', '4', 'a'))
        codec = Mpeg4AudioCodec(play, descriptions, track);
    else
        codec = FourCC(entry.entry_type);
    track->format = codec + L" " + Layout(track->channels) + L", " + Rate(track->sample_rate);
}

void ReadVideoFormat(PlayHandle* play, SampleDescriptions* descriptions, TrackFacts* track) {
    VisualEntryInfo entry;
    if (bxf_get_visual_entry(play, descriptions, 1, &entry) != BXF_RET_OK) return;
    track->entry_type = entry.entry_type;
    track->kind_code = entry.kind;
    track->width = entry.width;
    track->height = entry.height;
    std::wstring codec;
    AvcConfigInfo avc;
    if (entry.kind == BXF_FORMAT_TYPE_AVC1) {
        codec = L"H.264";
        if (bxf_get_avc_config(play, descriptions, 1, &avc) == BXF_RET_OK) {
            const wchar_t* profile = NameOf(kAvcProfiles, avc.avc_profile_indication);
            if (profile) codec += std::wstring(L" ") + profile;
        }
    } else if (entry.kind == BXF_FORMAT_TYPE_HVC1) {
        codec = L"HEVC";
    } else if (entry.entry_type == BXF_FOURCC('m', 'p', '4', 'v')) {
        codec = L"MPEG-4 Visual";
    } else if (entry.entry_type == BXF_FOURCC('s', '2', '6', '3')) {
        codec = L"H.263";
    } else {
        codec = FourCC(entry.entry_type);
    }
    track->format = codec + Printf(L" %ux%u", track->width, track->height);
}

std::wstring HandlerName(const HandlerInfo& handler, const FileReader& read) {
    const uint64_t size = handler.handler_name.size < kMaxHandlerName ? handler.handler_name.size : kMaxHandlerName;
    if (handler.handler_name.offset == 0 || size == 0) return L"";
    BYTE bytes[kMaxHandlerName];
    if (!read(handler.handler_name.offset, static_cast<uint32_t>(size), bytes)) return L"";
    // A QuickTime name starts with its length byte; an ISO one ends at a zero.
    uint32_t begin = 0, end = static_cast<uint32_t>(size);
    if (bytes[0] < 0x20 && bytes[0] + 1u <= size) {
        begin = 1;
        end = bytes[0] + 1u;
    }
    std::wstring name;
    for (uint32_t i = begin; i < end && bytes[i] != 0; ++i)
        name += (bytes[i] >= 0x20 && bytes[i] < 0x7F) ? bytes[i] : L'?';
    return name;
}

}  // namespace

std::vector<TrackFacts> ReadTrackCatalog(PlayHandle* play, const FileReader& read) {
    std::vector<TrackFacts> tracks;
    uint32_t count = 0;
    if (bxf_get_track_count(play, &count) != BXF_RET_OK) return tracks;
    for (uint32_t number = 1; number <= count && number <= 0xFFFF; ++number) {
        TrackHeaderInfo header;
        MediaHeaderInfo media;
        HandlerInfo handler;
        if (bxf_get_handler(play, number, &handler) != BXF_RET_OK) continue;
        const bool audio = handler.handler_type == BXF_HDLR_MEDIA_SOUND;
        if (!audio && handler.handler_type != BXF_HDLR_MEDIA_VIDEO_AND_IMAGE) continue;
        TrackFacts track;
        track.number = number;
        track.kind = audio ? TrackKind::Audio : TrackKind::Video;
        if (bxf_get_track_header(play, number, &header) == BXF_RET_OK) {
            track.enabled = (header.flags & BXF_TKHD_FLAGS_TRACK_ENABLED) != 0;
            track.alternate_group = header.alternate_group;
        }
        media.time_scale = 0;
        if (bxf_get_media_header(play, number, &media) == BXF_RET_OK) track.language = media.language;
        track.handler_name = HandlerName(handler, read);
        if (bxf_open_track(play, number) == BXF_RET_OK) {
            bxf_play_get_sample_count(play, number, &track.sample_count);
            uint64_t duration = 0;
            if (media.time_scale != 0 && bxf_play_get_track_duration(play, number, 1, &duration) == BXF_RET_OK)
                track.duration = TrackToMediaTime(static_cast<int64_t>(duration > INT64_MAX ? INT64_MAX : duration),
                                                  media.time_scale);
            TrackDescriptions descriptions(play, number);
            if (descriptions.Get()) {
                if (audio)
                    ReadAudioFormat(play, descriptions.Get(), &track);
                else
                    ReadVideoFormat(play, descriptions.Get(), &track);
            }
        }
        if (track.format.empty()) track.format = L"unreadable format";
        tracks.push_back(std::move(track));
    }
    return tracks;
}

std::wstring TrackDisplayName(const TrackFacts& track) {
    const TrackLanguage language = LanguageOfCode(track.language);
    if (language.name) return std::wstring(language.name) + L", " + track.format;
    if (!track.handler_name.empty()) return track.handler_name + L", " + track.format;
    return track.format;
}

DWORD TrackGroup(const TrackFacts& track) {
    if (track.alternate_group != 0) return track.alternate_group;
    return track.kind == TrackKind::Video ? 0 : 1;
}
