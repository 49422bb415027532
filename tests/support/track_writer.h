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

inline void append(Bytes &to, const Bytes &more) { to.insert(to.end(), more.begin(), more.end()); }

// Sample tables from (count, value) pairs or plain value lists.
using Pairs = std::vector<std::pair<uint32_t, uint32_t>>;
inline Bytes pair_table(const char *type, uint8_t version, const Pairs &entries) {
    Bytes body = u32(uint32_t(entries.size()));
    for (const auto &e : entries) append(body, cat({u32(e.first), u32(e.second)}));
    return full_box(type, version, 0, body);
}
inline Bytes stts(const Pairs &runs) { return pair_table("stts", 0, runs); }
inline Bytes ctts(const Pairs &runs, uint8_t version = 0) { return pair_table("ctts", version, runs); }
struct StscEntry {
    uint32_t first_chunk, samples_per_chunk, description_index;
};
inline Bytes stsc(const std::vector<StscEntry> &entries) {
    Bytes body = u32(uint32_t(entries.size()));
    for (const auto &e : entries) append(body, cat({u32(e.first_chunk), u32(e.samples_per_chunk), u32(e.description_index)}));
    return full_box("stsc", 0, 0, body);
}
inline Bytes u32_table(const char *type, const std::vector<uint32_t> &values) {
    Bytes body = u32(uint32_t(values.size()));
    for (uint32_t v : values) append(body, u32(v));
    return full_box(type, 0, 0, body);
}
inline Bytes stco(const std::vector<uint32_t> &offsets) { return u32_table("stco", offsets); }
inline Bytes stss(const std::vector<uint32_t> &samples) { return u32_table("stss", samples); }
inline Bytes stsz(const std::vector<uint32_t> &sizes) {
    Bytes body = cat({u32(0), u32(uint32_t(sizes.size()))});
    for (uint32_t v : sizes) append(body, u32(v));
    return full_box("stsz", 0, 0, body);
}
inline Bytes stsz_constant(uint32_t size, uint32_t count) { return full_box("stsz", 0, 0, cat({u32(size), u32(count)})); }

// A one-track movie ("vide", time scale 1000, mdhd duration `duration`)
// whose stbl holds `tables`.
inline Bytes table_movie(const Bytes &tables, uint64_t duration) {
    const Bytes mdia = box("mdia", cat({mdhd(0, 1000, duration), hdlr("vide"),
                                        minf(full_box("vmhd", 0, 1, zeros(8)), tables)}));
    return cat({ftyp(), box("moov", cat({mvhd(0, 1000), box("trak", cat({tkhd(0, 1, duration), mdia}))}))});
}

// Sample auxiliary-information boxes (ISO/IEC 14496-12 8.7.8, 8.7.9). With a
// type, flags bit 0 is set and aux_info_type and its parameter are written.
struct AuxType {
    const char *type = nullptr;
    uint32_t parameter = 0;
};
inline Bytes aux_type_fields(const AuxType &t) { return t.type ? cat({fourcc(t.type), u32(t.parameter)}) : Bytes{}; }
inline Bytes saio(const std::vector<uint64_t> &offsets, uint8_t version = 0, const AuxType &t = {}) {
    Bytes body = cat({aux_type_fields(t), u32(uint32_t(offsets.size()))});
    for (uint64_t o : offsets) append(body, be(o, version == 1 ? 8 : 4));
    return full_box("saio", version, t.type ? 1 : 0, body);
}
inline Bytes saiz(uint8_t default_size, uint32_t sample_count, const std::vector<uint8_t> &sizes = {},
                  const AuxType &t = {}) {
    return full_box("saiz", 0, t.type ? 1 : 0,
                    cat({aux_type_fields(t), u8(default_size), u32(sample_count), Bytes(sizes.begin(), sizes.end())}));
}

}  // namespace boxw

#endif
