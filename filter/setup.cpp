// What the filter registers with the filter mapper: its name, its merit and
// one output pin with the media types that describe it.
#include "setup.h"

#include <dshow.h>

#include "kelo_guids.h"
#include "mp4_file.h"

namespace {

// The wave-format-tag subtypes: the tag in the first field, the rest as in
// every such subtype.
constexpr GUID WaveFormatSubtype(unsigned long tag) {
    return {tag, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}
constexpr GUID kAudioSubtype027A = WaveFormatSubtype(0x027A);

const AMOVIESETUP_MEDIATYPE kOutputTypes[] = {
    {&MEDIATYPE_Stream, &MEDIASUBTYPE_KeloStreamMP4}, {&MEDIATYPE_Stream, &MEDIASUBTYPE_KeloStream3GP},
    {&MEDIATYPE_Audio, &MEDIASUBTYPE_PrivateAAC},           {&MEDIATYPE_Audio, &kAudioSubtype027A},
    {&MEDIATYPE_Video, &MEDIASUBTYPE_KeloVideoAVC},   {&MEDIATYPE_Video, &MEDIASUBTYPE_KeloVideoMP4V},
};

wchar_t kOutputPinName[] = L"Output";

const AMOVIESETUP_PIN kPins[] = {{
    kOutputPinName,
    FALSE,  // rendered
    TRUE,   // output
    FALSE,  // zero instances allowed
    TRUE,   // many instances
    &CLSID_NULL,
    nullptr,
    sizeof(kOutputTypes) / sizeof(kOutputTypes[0]),
    kOutputTypes,
}};

constexpr DWORD kMeritPreferred = 0x00800000;

}  // namespace

const AMOVIESETUP_FILTER kKeloFilterSetup = {&CLSID_KeloMervane, L"Kelo Mervane", kMeritPreferred, 1, kPins};

const AMOVIESETUP_FILTER* CMP4file::GetSetupData() { return &kKeloFilterSetup; }
