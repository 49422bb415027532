// Finds a track's sample description entries in a real file by walking
// moov/trak/mdia/minf/stbl/stsd with the library's own box reader, so tests
// can hand the entries to the sample-entry parser without a movie open.
#ifndef BXF_TEST_STSD_LOCATOR_H
#define BXF_TEST_STSD_LOCATOR_H

#include <initializer_list>

#include "box_reader.h"

struct StsdLocation {
    BoxRange entries;       // the stsd body after version/flags and entry count
    uint32_t entry_count;   // as stored
    uint32_t handler_type;  // from mdia/hdlr
};

// The `nth` (1-based) child of type `type` inside `parent` (a body range).
inline uint32_t find_child_box(const bxf::Io &io, BoxRange parent, uint32_t type, uint32_t nth, BoxRecord *out) {
    for (uint64_t consumed = 0; parent.size - consumed >= 8;) {
        BoxRecord child;
        const uint32_t ret = bxf::read_box(io, parent.offset + consumed, parent.size - consumed, &child);
        if (ret != BXF_RET_OK) return ret;
        if (child.type == type && --nth == 0) {
            *out = child;
            return BXF_RET_OK;
        }
        consumed += child.m_box_size;
    }
    return BXF_RET_NOTFOUND;
}

struct PathStep {
    uint32_t type;
    uint32_t nth;
};

// Follows `path` down from `parent`, each step a child of the one before.
inline uint32_t find_box_path(const bxf::Io &io, BoxRange parent, std::initializer_list<PathStep> path,
                              BoxRecord *out) {
    for (const PathStep &step : path) {
        const uint32_t ret = find_child_box(io, parent, step.type, step.nth, out);
        if (ret != BXF_RET_OK) return ret;
        parent = bxf::body_range(*out);
    }
    return BXF_RET_OK;
}

// Locates the entries of the `track_number`-th (1-based) trak's stsd.
inline uint32_t locate_stsd(const bxf::Io &io, uint32_t track_number, StsdLocation *out) {
    uint64_t size = 0;
    BoxRecord mdia, hdlr, stsd;
    uint32_t ret = bxf::file_size(io.inst, io.file, &size);
    if (ret == BXF_RET_OK)
        ret = find_box_path(io, BoxRange{0, size},
                            {{BXF_FOURCC('m', 'o', 'o', 'v'), 1},
                             {BXF_FOURCC('t', 'r', 'a', 'k'), track_number},
                             {BXF_FOURCC('m', 'd', 'i', 'a'), 1}},
                            &mdia);
    if (ret == BXF_RET_OK) ret = find_box_path(io, bxf::body_range(mdia), {{BXF_FOURCC('h', 'd', 'l', 'r'), 1}}, &hdlr);
    if (ret == BXF_RET_OK)
        ret = find_box_path(io, bxf::body_range(mdia),
                            {{BXF_FOURCC('m', 'i', 'n', 'f'), 1},
                             {BXF_FOURCC('s', 't', 'b', 'l'), 1},
                             {BXF_FOURCC('s', 't', 's', 'd'), 1}},
                            &stsd);
    if (ret != BXF_RET_OK) return ret;
    // hdlr: version/flags, pre_defined, handler_type; stsd: version/flags, entry_count.
    uint8_t handler[4], count[4];
    if (hdlr.m_body_size < 12 || stsd.m_body_size < 8) return BXF_RET_FORMAT;
    ret = bxf::read_exact_at(io, hdlr.m_body_offset + 8, handler, 4);
    if (ret == BXF_RET_OK) ret = bxf::read_exact_at(io, stsd.m_body_offset + 4, count, 4);
    if (ret != BXF_RET_OK) return ret;
    *out = StsdLocation{BoxRange{stsd.m_body_offset + 8, stsd.m_body_size - 8}, bxf::load_u32_be(count),
                        bxf::load_u32_be(handler)};
    return BXF_RET_OK;
}

#endif
