// A media type in words for kelo-play's report, e.g.
// "PCM audio, 48000 Hz, 2 channels, 16 bits", "AAC LC audio, 44100 Hz, 2 channels"
// or "H.264 video, 320x240, SAR 1:1, High profile, level 1.3, 25.000 fps".
#ifndef KELO_TOOLS_KELO_PLAY_MEDIA_TYPE_WORDS_H
#define KELO_TOOLS_KELO_PLAY_MEDIA_TYPE_WORDS_H

#include <windows.h>
#include <strmif.h>

#include <string>

std::string MediaTypeWords(const AM_MEDIA_TYPE& mt);
// The subtype's short name ("PCM", "H.264", ...), its FOURCC if it is one of
// the FOURCC-based subtypes, or the GUID.
std::string SubtypeName(const GUID& subtype);

#endif
