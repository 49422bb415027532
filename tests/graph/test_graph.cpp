#include "test_graph.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

const FilterModule& TestModule() {
    static FilterModule module;
    static std::string error;
    if (!module.Loaded() && error.empty() && !module.Load(WindowsPath(Environment("KELO_FILTER_MODULE")), &error))
        std::fprintf(stderr, "KELO_FILTER_MODULE: %s\n", error.c_str());
    return module;
}

HRESULT CreateFilter(IBaseFilter** filter) {
    const FilterModule& module = TestModule();
    return module.Loaded() ? module.CreateFilter(filter) : HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
}

std::string FixtureFile(const char* folder, const std::string& name) { return Environment(folder) + "/" + name; }

std::vector<uint8_t> ReadWholeFile(const std::string& unix_path) {
    std::ifstream in(WindowsPath(unix_path).c_str(), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ScratchFile(const std::string& name) {
    const std::string folder = Environment("KELO_SCRATCH");
    CreateDirectoryW(WindowsPath(folder).c_str(), nullptr);
    return folder + "/" + name;
}

bool WriteWholeFile(const std::string& unix_path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(WindowsPath(unix_path).c_str(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::string PatchedCopy(const std::string& unix_path, const std::string& name, const std::string& anchor, size_t offset,
                        const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> file = ReadWholeFile(unix_path);
    const auto at = std::search(file.begin(), file.end(), anchor.begin(), anchor.end());
    const size_t begin = static_cast<size_t>(at - file.begin()) + offset;
    if (at == file.end() || begin + bytes.size() > file.size()) return "";
    std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(begin));
    const std::string path = ScratchFile(name);
    return WriteWholeFile(path, file) ? path : "";
}

std::vector<uint8_t> BoxBody(const std::vector<uint8_t>& file, const char (&tag)[5], size_t* at) {
    auto found = std::search(file.begin(), file.end(), tag, tag + 4);
    if (found == file.end() || found - file.begin() < 4) return {};
    *at = static_cast<size_t>(found - file.begin()) + 4;
    const size_t size =
        size_t(file[*at - 8]) << 24 | size_t(file[*at - 7]) << 16 | size_t(file[*at - 6]) << 8 | file[*at - 5];
    if (size < 8 || *at + size - 8 > file.size()) return {};
    return std::vector<uint8_t>(file.begin() + std::ptrdiff_t(*at), file.begin() + std::ptrdiff_t(*at + size - 8));
}
