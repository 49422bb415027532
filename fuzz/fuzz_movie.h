// The whole-file fuzz target's driver, also run without libFuzzer to replay
// the reproducers kept under fuzz/regressions/movie/.
#ifndef BXF_FUZZ_MOVIE_H
#define BXF_FUZZ_MOVIE_H

#include <cstddef>
#include <cstdint>

// Opens the file in `data` with the options its last three bytes choose and
// asks the whole interface about it; a broken invariant aborts. Returns the
// open's code (BXF_RET_ARGS for an input too short to carry the options).
uint32_t drive_movie_input(const uint8_t *data, size_t size);

#endif
