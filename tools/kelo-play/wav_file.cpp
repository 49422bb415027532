#include "wav_file.h"

#include <mmreg.h>
#include <uuids.h>

#include <limits>

#include "output_file.h"

namespace {

void PutU32(std::vector<uint8_t>* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutTag(std::vector<uint8_t>* out, const char (&tag)[5]) { out->insert(out->end(), tag, tag + 4); }

}  // namespace

bool BuildWavFile(const AM_MEDIA_TYPE& type, const std::vector<uint8_t>& data, std::vector<uint8_t>* file,
                  std::string* error) {
    if (type.formattype != FORMAT_WaveFormatEx || !type.pbFormat || type.cbFormat < sizeof(PCMWAVEFORMAT)) {
        *error = "the media type has no WAVEFORMATEX";
        return false;
    }
    const auto* wfx = reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat);
    size_t fmt_size = sizeof(PCMWAVEFORMAT);
    if (wfx->wFormatTag != WAVE_FORMAT_PCM) {
        if (type.cbFormat < sizeof(WAVEFORMATEX) || type.cbFormat < sizeof(WAVEFORMATEX) + wfx->cbSize) {
            *error = "the WAVEFORMATEX's cbSize runs past its format block";
            return false;
        }
        fmt_size = sizeof(WAVEFORMATEX) + wfx->cbSize;
    }
    const size_t padded = data.size() + (data.size() & 1);
    const size_t riff_size = 4 + (8 + fmt_size) + (8 + padded);
    if (riff_size > std::numeric_limits<uint32_t>::max()) {
        *error = "more data than a RIFF file holds (4 GiB)";
        return false;
    }
    file->clear();
    file->reserve(8 + riff_size);
    PutTag(file, "RIFF");
    PutU32(file, static_cast<uint32_t>(riff_size));
    PutTag(file, "WAVE");
    PutTag(file, "fmt ");
    PutU32(file, static_cast<uint32_t>(fmt_size));
    file->insert(file->end(), type.pbFormat, type.pbFormat + fmt_size);
    PutTag(file, "data");
    PutU32(file, static_cast<uint32_t>(data.size()));
    file->insert(file->end(), data.begin(), data.end());
    if (data.size() & 1) file->push_back(0);
    return true;
}

bool WriteWavFile(const AM_MEDIA_TYPE& type, const std::vector<uint8_t>& data, const std::wstring& path,
                  std::string* error) {
    std::vector<uint8_t> file;
    return BuildWavFile(type, data, &file, error) && WriteOutputFile(path, file, error);
}
