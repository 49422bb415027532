// Writes a dump file whole.
#ifndef KELO_TOOLS_KELO_PLAY_OUTPUT_FILE_H
#define KELO_TOOLS_KELO_PLAY_OUTPUT_FILE_H

#include <cstdint>
#include <string>
#include <vector>

// Creates or truncates path and writes bytes; false with a message.
bool WriteOutputFile(const std::wstring& path, const std::vector<uint8_t>& bytes, std::string* error);

#endif
