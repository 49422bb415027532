// Builds the boxes of a track (tkhd, mdia with mdhd and hdlr, minf with a
// media header, dinf and stbl) for tests of the movie model.
#ifndef BXF_TEST_TRACK_WRITER_H
#define BXF_TEST_TRACK_WRITER_H

#include "box_writer.h"

namespace boxw {

inline Bytes tkhd(uint8_t version, uint32_t track_id, uint64_t duration, uint32_t width = 0, uint32_t height = 0,
                  uint32_t flags = 3) {
    const Bytes times = version == 1 ? cat({u64(1), u64(2), u32(track_id), u32(0), u64(duration)})
                                     : cat({u32(1), u32(2), u32(track_id), u32(0), u32(uint32_t(duration))});
    Bytes matrix;
    for (uint32_t m : {0x10000u, 0u, 0u, 0u, 0x10000u, 0u, 0u, 0u, 0x40000000u}) matrix = cat({matrix, u32(m)});
    return full_box("tkhd", version, flags,
                    cat({times, zeros(8), u16(0), u16(0), u16(0x0100), u16(0), matrix, u32(width), u32(height)}));
}

inline Bytes mdhd(uint8_t version, uint32_t time_scale, uint64_t duration, uint16_t language = 0x55C4) {
    const Bytes times = version == 1 ? cat({u64(0), u64(0), u32(time_scale), u64(duration)})
                                     : cat({u32(0), u32(0), u32(time_scale), u32(uint32_t(duration))});
    return full_box("mdhd", version, 0, cat({times, u16(language), u16(0)}));
}

inline Bytes hdlr(const char *handler, const std::string &name = "Handler") {
    return full_box("hdlr", 0, 0, cat({u32(0), fourcc(handler), zeros(12), text(name), zeros(1)}));
}

inline Bytes stsd(const Bytes &entries, uint32_t count, uint8_t version = 0) {
    return full_box("stsd", version, 0, cat({u32(count), entries}));
}

inline Bytes minf(const Bytes &media_header, const Bytes &stbl_children) {
    const Bytes dinf = box("dinf", full_box("dref", 0, 0, cat({u32(1), full_box("url ", 0, 1)})));
    return box("minf", cat({media_header, dinf, box("stbl", stbl_children)}));
}

// A whole track: tkhd, then mdia (mdhd, hdlr, minf), then `extra` children.
inline Bytes trak(uint32_t track_id, const char *handler, uint32_t time_scale, const Bytes &stbl_children = {},
                  const Bytes &extra = {}) {
    const Bytes media_header = std::string(handler) == "soun" ? full_box("smhd", 0, 0, zeros(4))
                                                              : full_box("vmhd", 0, 1, zeros(8));
    return box("trak", cat({tkhd(0, track_id, 1000), extra,
                            box("mdia", cat({mdhd(0, time_scale, 5 * time_scale), hdlr(handler),
                                             minf(media_header, stbl_children)}))}));
}

}  // namespace boxw

#endif
