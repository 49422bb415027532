#include "output_file.h"

#include <cstdio>

bool WriteOutputFile(const std::wstring& path, const std::vector<uint8_t>& bytes, std::string* error) {
    FILE* out = _wfopen(path.c_str(), L"wb");
    if (!out) {
        *error = "cannot create the file";
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    const bool closed = std::fclose(out) == 0;
    if (!written || !closed) {
        *error = "cannot write the file";
        return false;
    }
    return true;
}
