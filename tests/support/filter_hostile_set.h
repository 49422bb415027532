// Hostile files for the source filter, made with the box writers: the
// library's classes of malformed input, set in an otherwise playable H.264 +
// AAC movie, and files that stress the pins (parameter sets, NAL length
// fields, samples larger than a pin's buffer, refused audio configurations,
// odd sample entries, time scales of 0, a description index that changes
// mid-track). Each must load or be refused with the documented code, and
// what loads must play to its end or abort, never crash or hang.
#ifndef BXF_TEST_FILTER_HOSTILE_SET_H
#define BXF_TEST_FILTER_HOSTILE_SET_H

#include <string>
#include <vector>

#include "box_writer.h"

// What the documented rules make of a file, where they settle it: Load's
// 0x800A0141; both pins to the end; a stream error (EC_ERRORABORT with
// E_FAIL); one pin refusing its format at connection while the other plays to
// the end. kAny: only the general rules (no crash or hang, a documented code).
enum class HostileExpect { kAny, kRefused, kComplete, kAbort, kOnlyVideoPlays, kOnlyAudioPlays };

struct HostileFile {
    std::string name;  // a file name: letters, digits, '-' and '_', ending in ".mp4"
    boxw::Bytes bytes;
    HostileExpect expect = HostileExpect::kAny;
};

std::vector<HostileFile> FilterHostileSet();

#endif
