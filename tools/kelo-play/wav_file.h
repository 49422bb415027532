// A RIFF WAVE file from a WAVEFORMATEX media type and its delivered bytes.
#ifndef KELO_TOOLS_KELO_PLAY_WAV_FILE_H
#define KELO_TOOLS_KELO_PLAY_WAV_FILE_H

#include <windows.h>
#include <strmif.h>

#include <cstdint>
#include <string>
#include <vector>

// The file's bytes: "RIFF" size "WAVE", a "fmt " chunk holding the format block
// (16 bytes for plain PCM, else the WAVEFORMATEX and its cbSize extra bytes, as
// WAVE_FORMAT_EXTENSIBLE needs), and a "data" chunk with the bytes, padded to
// an even size. False with a message if the type has no usable WAVEFORMATEX or
// the data does not fit a RIFF file's 32-bit sizes.
bool BuildWavFile(const AM_MEDIA_TYPE& type, const std::vector<uint8_t>& data, std::vector<uint8_t>* file,
                  std::string* error);
bool WriteWavFile(const AM_MEDIA_TYPE& type, const std::vector<uint8_t>& data, const std::wstring& path,
                  std::string* error);

#endif
