// Replays the whole-file target's reproducers without libFuzzer, so that the
// native and the Windows build run them as tests: each input must come
// through the driver's checks (a broken one aborts) and its open must answer
// the code that fuzz/regressions/expected_codes.txt names for it. A
// reproducer without an expected code, or a code without its reproducer,
// fails the run too.
// usage: replay_regressions REGRESSIONS_DIR
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "bxf.h"
#include "fuzz_movie.h"

namespace fs = std::filesystem;

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: replay_regressions REGRESSIONS_DIR\n");
        return 2;
    }
    const fs::path dir = argv[1];
    std::map<std::string, std::string> expected;  // "movie/NAME" -> "BXF_RET_..."
    std::ifstream list(dir / "expected_codes.txt");
    for (std::string name, code; list >> name;) {
        if (name[0] == '#') {
            std::getline(list, code);  // a comment line
            continue;
        }
        list >> code;
        expected[name] = code;
    }
    unsigned passed = 0, failed = 0;
    for (const fs::directory_entry &entry : fs::directory_iterator(dir / "movie")) {
        const std::string name = "movie/" + entry.path().filename().string();
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        const auto want = expected.find(name);
        const char *got = bxf_ret_name(drive_movie_input(bytes.data(), bytes.size()));
        if (want == expected.end()) {
            std::printf("FAIL %s: no expected code listed (it opens with %s)\n", name.c_str(), got);
            ++failed;
            continue;
        }
        const bool ok = want->second == got;
        std::printf("%s %s: %s, expected %s\n", ok ? "ok" : "FAIL", name.c_str(), got, want->second.c_str());
        ok ? ++passed : ++failed;
        expected.erase(want);
    }
    for (const auto &left : expected) {
        std::printf("FAIL %s: listed, but no such reproducer\n", left.first.c_str());
        ++failed;
    }
    std::printf("%u passed, %u failed\n", passed, failed);
    return failed == 0 && passed != 0 ? 0 : 1;
}
