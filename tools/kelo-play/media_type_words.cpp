#include "media_type_words.h"

#include <amvideo.h>
#include <dvdmedia.h>
#include <mmreg.h>
#include <uuids.h>

#include <cstdio>
#include <cstring>

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
    {Fourcc('m', 'p', '4', 'v'), "MPEG-4 Visual"},
    {Fourcc('X', 'V', 'I', 'D'), "MPEG-4 Visual"},
    {Fourcc('H', '2', '6', '3'), "H.263"},
    {Fourcc('s', '2', '6', '3'), "H.263"},
    {Fourcc('H', 'E', 'V', 'C'), "HEVC"},
    {Fourcc('h', 'v', 'c', '1'), "HEVC"},
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
    return GuidText(subtype);
}

std::string MediaTypeWords(const AM_MEDIA_TYPE& mt) {
    std::string words = SubtypeName(mt.subtype) + " " + MajorWord(mt.majortype);
    char detail[128];
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
        if (frame_time > 0) {
            std::snprintf(detail, sizeof detail, ", %.3f fps", 1e7 / static_cast<double>(frame_time));
            words += detail;
        }
    }
    return words;
}
