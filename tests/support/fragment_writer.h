// Builds fragmented movies for tests: mvex/trex, and moof boxes whose traf
// and trun boxes say exactly what each test needs.
#ifndef BXF_TEST_FRAGMENT_WRITER_H
#define BXF_TEST_FRAGMENT_WRITER_H

#include "track_writer.h"

namespace boxw {

inline Bytes trex(uint32_t track_id, uint32_t duration = 0, uint32_t size = 0, uint32_t flags = 0) {
    return full_box("trex", 0, 0, cat({u32(track_id), u32(1), u32(duration), u32(size), u32(flags)}));
}

struct Tfhd {
    uint32_t track_id;
    uint32_t flags = 0;  // which optional fields follow
    uint64_t base_data_offset = 0;
    uint32_t description_index = 0, duration = 0, size = 0, sample_flags = 0;
};
inline Bytes tfhd(const Tfhd &t) {
    Bytes body = u32(t.track_id);
    if (t.flags & 0x1) append(body, u64(t.base_data_offset));
    if (t.flags & 0x2) append(body, u32(t.description_index));
    if (t.flags & 0x8) append(body, u32(t.duration));
    if (t.flags & 0x10) append(body, u32(t.size));
    if (t.flags & 0x20) append(body, u32(t.sample_flags));
    return full_box("tfhd", 0, t.flags, body);
}

inline Bytes tfdt(uint64_t time, uint8_t version = 1) {
    return full_box("tfdt", version, 0, version == 1 ? u64(time) : u32(uint32_t(time)));
}

struct TrunEntry {
    uint32_t duration = 0, size = 0, flags = 0, composition_offset = 0;
};
// A trun storing the fields `flags` announces; `count` defaults to the entries given.
inline Bytes trun(uint32_t flags, const std::vector<TrunEntry> &entries, int32_t data_offset = 0,
                  uint32_t first_sample_flags = 0, uint8_t version = 0, int64_t count = -1) {
    Bytes body = u32(count < 0 ? uint32_t(entries.size()) : uint32_t(count));
    if (flags & 0x1) append(body, u32(uint32_t(data_offset)));
    if (flags & 0x4) append(body, u32(first_sample_flags));
    for (const TrunEntry &e : entries) {
        if (flags & 0x100) append(body, u32(e.duration));
        if (flags & 0x200) append(body, u32(e.size));
        if (flags & 0x400) append(body, u32(e.flags));
        if (flags & 0x800) append(body, u32(e.composition_offset));
    }
    return full_box("trun", version, flags, body);
}

inline Bytes traf(const Bytes &children) { return box("traf", children); }
inline Bytes moof(uint32_t sequence, const Bytes &trafs) {
    return box("moof", cat({full_box("mfhd", 0, 0, u32(sequence)), trafs}));
}

// A movie of `tracks` video tracks (IDs 1, 2, ...) with sample tables
// `tables` (empty ones by default), time scale 1000 and mdhd duration
// `duration`, then `fragments`.
inline Bytes fragmented_movie(uint32_t tracks, const Bytes &trexes, const Bytes &fragments, uint64_t duration = 0,
                              const Bytes &tables = {}) {
    const Bytes stbl = tables.empty() ? cat({stts({}), stsc({}), stsz({}), stco({})}) : tables;
    Bytes traks;
    for (uint32_t id = 1; id <= tracks; ++id) {
        const Bytes mdia = box("mdia", cat({mdhd(0, 1000, duration), hdlr("vide"),
                                            minf(full_box("vmhd", 0, 1, zeros(8)), stbl)}));
        append(traks, box("trak", cat({tkhd(0, id, duration), mdia})));
    }
    return cat({ftyp(), box("moov", cat({mvhd(0, 1000), traks, box("mvex", trexes)})), fragments});
}

}  // namespace boxw

#endif
