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

struct HostileFile {
    std::string name;  // a file name: letters, digits, '-' and '_', ending in ".mp4"
    boxw::Bytes bytes;
};

std::vector<HostileFile> FilterHostileSet();

#endif
