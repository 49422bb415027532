#include "media_type_words.h"

#include <amvideo.h>
#include <dvdmedia.h>
#include <mmreg.h>
#include <uuids.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <numeric>

#include "audio_specific_config.h"
#include "stream_guids.h"
#include "text.h"

namespace {

// Subtypes built as {FOURCC-0000-0010-8000-00AA00389B71}.
constexpr GUID kFourccBase = {0, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

constexpr DWORD Fourcc(char a, char b, char c, char d) {
    return static_cast<DWORD>(static_cast<unsigned char>(a)) | static_cast<DWORD>(static_cast<unsigned char>(b)) << 8 |
           static_cast<DWORD>(static_cast<unsigned char>(c)) << 16 |
           static_cast<DWORD>(static_cast<unsigned char>(d)) << 24;
}

struct NamedCode {
    DWORD code;  // FOURCC or WAVE format tag
    const char* name;
};

// The codecs the filter's pins carry, and a few common neighbours.
constexpr NamedCode kNames[] = {
    {WAVE_FORMAT_PCM, "PCM"},
    {WAVE_FORMAT_IEEE_FLOAT, "IEEE float"},
    {0x00ff, "AAC"},  // MEDIASUBTYPE_RAW_AAC1
    {0x0278, "AAC"},  // MEDIASUBTYPE_PrivateAAC
    {0x1600, "AAC (ADTS)"},
    {0x1610, "HE-AAC"},
    {0x0057, "AMR-NB"},
    {Fourcc('s', 'a', 'm', 'r'), "AMR-NB"},
    {Fourcc('S', 'A', 'M', 'R'), "AMR-NB"},
    {Fourcc('s', 'a', 'w', 'b'), "AMR-WB"},
    {Fourcc('H', '2', '6', '4'), "H.264"},
    {Fourcc('h', '2', '6', '4'), "H.264"},
    {Fourcc('A', 'V', 'C', '1'), "H.264"},
    {Fourcc('a', 'v', 'c', '1'), "H.264"},
    {Fourcc('M', 'P', '4', 'V'), "MPEG-4 Visual"},
    {Fourcc('M', 'P', '4', 'S'), "MPEG-4 Visual"},
    {Fourcc('m', 'p', '4', 'v'), "MPEG-4 Visual"},
    {Fourcc('X', 'V', 'I', 'D'), "MPEG-4 Visual"},
    {Fourcc('H', '2', '6', '3'), "H.263"},
    {Fourcc('s', '2', '6', '3'), "H.263"},
    {Fourcc('H', 'E', 'V', 'C'), "HEVC"},
    {Fourcc('h', 'v', 'c', '1'), "HEVC"},
    {Fourcc('H', 'V', 'C', '1'), "HEVC"},
};

// Subtypes of the filter's own that are not FOURCC-based.
struct NamedSubtype {
    const GUID* subtype;
    const char* name;
};
const NamedSubtype kPrivateNames[] = {
    {&MEDIASUBTYPE_PrivateAVC, "H.264"},
    {&MEDIASUBTYPE_PrivateMPEG4V, "MPEG-4 Visual or H.263"},
};

bool IsFourccSubtype(const GUID& subtype) {
    return std::memcmp(&subtype.Data2, &kFourccBase.Data2, sizeof(GUID) - sizeof(DWORD)) == 0;
}

std::string MajorWord(const GUID& major) {
    if (major == MEDIATYPE_Audio) return "audio";
    if (major == MEDIATYPE_Video) return "video";
    if (major == MEDIATYPE_Stream) return "byte stream";
    if (major == MEDIATYPE_Text) return "text";
    return "media " + GuidText(major);
}

const BITMAPINFOHEADER* VideoHeader(const AM_MEDIA_TYPE& mt, REFERENCE_TIME* frame_time) {
    *frame_time = 0;
    if (!mt.pbFormat) return nullptr;
    if ((mt.formattype == FORMAT_VideoInfo) && mt.cbFormat >= sizeof(VIDEOINFOHEADER)) {
        const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
        *frame_time = vih->AvgTimePerFrame;
        return &vih->bmiHeader;
    }
    if ((mt.formattype == FORMAT_VideoInfo2 || mt.formattype == FORMAT_MPEG2Video) &&
        mt.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
        const auto* vih = reinterpret_cast<const VIDEOINFOHEADER2*>(mt.pbFormat);
        *frame_time = vih->AvgTimePerFrame;
        return &vih->bmiHeader;
    }
    return nullptr;
}

// The AAC pin's words from its AudioSpecificConfig: "AAC LC audio, 44100 Hz,
// 2 channels"; false if the format block has no config.
bool AacWords(const AM_MEDIA_TYPE& mt, std::string* words) {
    AudioSpecificConfig config;
    std::string error;
    if (!AudioSpecificConfigOfType(mt, &config, &error)) return false;
    char detail[128];
    if (config.channel_configuration == 0) {
        std::snprintf(detail, sizeof detail, ", %lu Hz, channels in a program config element",
                      static_cast<unsigned long>(config.output_frequency));
    } else {
        // Configuration 7 is 7.1: eight channels; 1 to 6 are their own count.
        const int channels = config.channel_configuration == 7 ? 8 : config.channel_configuration;
        std::snprintf(detail, sizeof detail, ", %lu Hz, %d channel%s",
                      static_cast<unsigned long>(config.output_frequency), channels, channels == 1 ? "" : "s");
    }
    *words = AudioObjectTypeName(config.object_type) + " " + MajorWord(mt.majortype) + detail;
    return true;
}

// ", SAR 1:1": the sample aspect ratio that the VIDEOINFOHEADER2's picture
// aspect ratio gives for this size; nothing if it has none.
std::string SampleAspectWords(const AM_MEDIA_TYPE& mt, const BITMAPINFOHEADER& bmi) {
    if (mt.formattype != FORMAT_VideoInfo2 && mt.formattype != FORMAT_MPEG2Video) return "";
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER2*>(mt.pbFormat);
    const unsigned long long width = static_cast<unsigned long long>(std::llabs(bmi.biWidth));
    const unsigned long long height = static_cast<unsigned long long>(std::llabs(bmi.biHeight));
    if (!vih->dwPictAspectRatioX || !vih->dwPictAspectRatioY || !width || !height) return "";
    unsigned long long x = vih->dwPictAspectRatioX * height, y = vih->dwPictAspectRatioY * width;
    const unsigned long long divisor = std::gcd(x, y);
    char text[64];
    std::snprintf(text, sizeof text, ", SAR %llu:%llu", x / divisor, y / divisor);
    return text;
}

// ", High profile, level 3.0" from the avcC after an H.264 VIDEOINFOHEADER2.
std::string AvcProfileWords(const AM_MEDIA_TYPE& mt) {
    if (mt.subtype != MEDIASUBTYPE_PrivateAVC || mt.formattype != FORMAT_VideoInfo2 ||
        mt.cbFormat < sizeof(VIDEOINFOHEADER2) + 4)
        return "";
    const BYTE* avcc = mt.pbFormat + sizeof(VIDEOINFOHEADER2);
    if (avcc[0] != 1) return "";  // configurationVersion
    const char* profile = nullptr;
    switch (avcc[1]) {
        case 66:
            profile = "Baseline";
            break;
        case 77:
            profile = "Main";
            break;
        case 88:
            profile = "Extended";
            break;
        case 100:
            profile = "High";
            break;
        case 110:
            profile = "High 10";
            break;
        case 122:
            profile = "High 4:2:2";
            break;
        case 244:
            profile = "High 4:4:4";
            break;
    }
    char text[64];
    if (profile) {
        std::snprintf(text, sizeof text, ", %s profile, level %u.%u", profile, avcc[3] / 10u, avcc[3] % 10u);
    } else {
        std::snprintf(text, sizeof text, ", profile %u, level %u.%u", avcc[1], avcc[3] / 10u, avcc[3] % 10u);
    }
    return text;
}

// ", Main profile, level 3.1" from an HEVC MPEG2VIDEOINFO: general_profile_idc
// and general_level_idc (thirty times the level).
std::string HevcProfileWords(const AM_MEDIA_TYPE& mt) {
    if (mt.formattype != FORMAT_MPEG2Video || mt.cbFormat < sizeof(MPEG2VIDEOINFO) ||
        (mt.subtype.Data1 != Fourcc('H', 'V', 'C', '1') && mt.subtype.Data1 != Fourcc('H', 'E', 'V', 'C')))
        return "";
    const auto* info = reinterpret_cast<const MPEG2VIDEOINFO*>(mt.pbFormat);
    static const char* const kProfiles[] = {nullptr, "Main", "Main 10", "Main Still Picture", "Rext"};
    const DWORD level = info->dwLevel;
    char text[64];
    if (info->dwProfile < std::size(kProfiles) && kProfiles[info->dwProfile]) {
        std::snprintf(text, sizeof text, ", %s profile, level %lu.%lu", kProfiles[info->dwProfile],
                      static_cast<unsigned long>(level / 30), static_cast<unsigned long>(level % 30 / 3));
    } else {
        std::snprintf(text, sizeof text, ", profile %lu, level %lu.%lu", static_cast<unsigned long>(info->dwProfile),
                      static_cast<unsigned long>(level / 30), static_cast<unsigned long>(level % 30 / 3));
    }
    return text;
}

}  // namespace

std::string SubtypeName(const GUID& subtype) {
    if (IsFourccSubtype(subtype)) {
        for (const NamedCode& n : kNames)
            if (n.code == subtype.Data1) return n.name;
        const DWORD code = subtype.Data1;
        char text[16];
        if (code < 0x10000) {
            std::snprintf(text, sizeof text, "format 0x%04lx", static_cast<unsigned long>(code));
        } else {
            std::snprintf(text, sizeof text, "'%c%c%c%c'", static_cast<char>(code), static_cast<char>(code >> 8),
                          static_cast<char>(code >> 16), static_cast<char>(code >> 24));
        }
        return text;
    }
    for (const NamedSubtype& n : kPrivateNames)
        if (*n.subtype == subtype) return n.name;
    return GuidText(subtype);
}

namespace {

// The MPEG4 Video pin's one subtype carries MPEG-4 Visual and H.263: its
// biCompression ('MP4S', 's263') names the format.
std::string FormatName(const AM_MEDIA_TYPE& mt) {
    REFERENCE_TIME frame_time = 0;
    const BITMAPINFOHEADER* bmi = mt.subtype == MEDIASUBTYPE_PrivateMPEG4V ? VideoHeader(mt, &frame_time) : nullptr;
    if (!bmi) return SubtypeName(mt.subtype);
    GUID fourcc = kFourccBase;
    fourcc.Data1 = bmi->biCompression;
    return SubtypeName(fourcc);
}

}  // namespace

std::string MediaTypeWords(const AM_MEDIA_TYPE& mt) {
    std::string words = FormatName(mt) + " " + MajorWord(mt.majortype);
    char detail[128];
    if ((mt.subtype == MEDIASUBTYPE_RAW_AAC1 || mt.subtype == MEDIASUBTYPE_PrivateAAC) && AacWords(mt, &words)) {
        return words;
    }
    if (mt.formattype == FORMAT_WaveFormatEx && mt.pbFormat && mt.cbFormat >= sizeof(PCMWAVEFORMAT)) {
        const auto* wfx = reinterpret_cast<const WAVEFORMATEX*>(mt.pbFormat);
        std::snprintf(detail, sizeof detail, ", %lu Hz, %u channel%s, %u bits",
                      static_cast<unsigned long>(wfx->nSamplesPerSec), wfx->nChannels, wfx->nChannels == 1 ? "" : "s",
                      wfx->wBitsPerSample);
        words += detail;
    } else if (REFERENCE_TIME frame_time; const BITMAPINFOHEADER* bmi = VideoHeader(mt, &frame_time)) {
        std::snprintf(detail, sizeof detail, ", %ldx%ld", static_cast<long>(bmi->biWidth),
                      static_cast<long>(bmi->biHeight));
        words += detail;
        words += SampleAspectWords(mt, *bmi);
        words += AvcProfileWords(mt);
        words += HevcProfileWords(mt);
        if (frame_time > 0) {
            std::snprintf(detail, sizeof detail, ", %.3f fps", 1e7 / static_cast<double>(frame_time));
            words += detail;
        }
    }
    return words;
}
