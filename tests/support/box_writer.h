// Builds byte-exact boxes for tests, including deliberately wrong sizes.
#ifndef BXF_TEST_BOX_WRITER_H
#define BXF_TEST_BOX_WRITER_H

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace boxw {

using Bytes = std::vector<uint8_t>;

inline Bytes be(uint64_t v, int width) {
    Bytes b;
    for (int i = width - 1; i >= 0; --i) b.push_back(uint8_t(v >> (8 * i)));
    return b;
}
inline Bytes u8(uint8_t v) { return Bytes{v}; }
inline Bytes u16(uint16_t v) { return be(v, 2); }
inline Bytes u32(uint32_t v) { return be(v, 4); }
inline Bytes u64(uint64_t v) { return be(v, 8); }
inline Bytes zeros(size_t n) { return Bytes(n, 0); }
inline Bytes text(const std::string &s) { return Bytes(s.begin(), s.end()); }
inline Bytes fourcc(const char *c) { return Bytes(c, c + 4); }

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes &p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A box with its true 32-bit size.
inline Bytes box(const char *type, const Bytes &body = {}) {
    return cat({u32(uint32_t(8 + body.size())), fourcc(type), body});
}
// A box whose size field says whatever the test needs.
inline Bytes box_sized(uint32_t declared, const char *type, const Bytes &body = {}) {
    return cat({u32(declared), fourcc(type), body});
}
// A box with a 64-bit largesize (true size unless `declared` is given).
inline Bytes large_box(const char *type, const Bytes &body, uint64_t declared = 0) {
    return cat({u32(1), fourcc(type), u64(declared ? declared : 16 + body.size()), body});
}
inline Bytes full_box(const char *type, uint8_t version, uint32_t flags, const Bytes &body = {}) {
    return box(type, cat({u32((uint32_t(version) << 24) | (flags & 0xFFFFFF)), body}));
}
// A uuid box with the given 16-byte extended type.
inline Bytes uuid_box(const Bytes &extended_type, const Bytes &body = {}) {
    return box("uuid", cat({extended_type, body}));
}
// Vendor uuids are named by four characters and share the last twelve bytes.
inline Bytes vendor_uuid(const char *name) {
    return cat({fourcc(name), u32(0x21D24FCE), u32(0xBB88695C), u32(0xFAC9C740)});
}
// The vendor profile list: its version, the entry count it announces, then `entries`.
inline Bytes prof(uint32_t count, const Bytes &entries, uint8_t version = 0) {
    return uuid_box(vendor_uuid("PROF"), cat({u32(uint32_t(version) << 24), u32(count), entries}));
}

// A minimal valid movie header: version 0 or 1, with the given time scale.
inline Bytes mvhd(uint8_t version, uint32_t time_scale, uint64_t duration = 0) {
    const Bytes times = version == 1 ? cat({u64(0), u64(0), u32(time_scale), u64(duration)})
                                     : cat({u32(0), u32(0), u32(time_scale), u32(uint32_t(duration))});
    return full_box("mvhd", version, 0, cat({times, zeros(80)}));
}

inline Bytes ftyp() { return box("ftyp", cat({fourcc("isom"), u32(512), fourcc("isom"), fourcc("mp41")})); }

// An MPEG-4 descriptor (ISO/IEC 14496-1 8.3.3): tag, then the body size in
// `size_bytes` bytes of 7 bits (leading ones carry the continuation bit).
inline Bytes descriptor(uint8_t tag, const Bytes &body, int size_bytes = 1) {
    Bytes out{tag};
    for (int i = size_bytes - 1; i >= 0; --i)
        out.push_back(uint8_t(((body.size() >> (7 * i)) & 0x7F) | (i ? 0x80 : 0)));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// A visual sample entry: the 78 bytes of fixed fields (data reference index
// 1, 72 dpi, frame count 1, depth 0x18), then `children`.
inline Bytes visual_entry(const char *type, uint16_t width, uint16_t height, const Bytes &children = {}) {
    return box(type, cat({zeros(6), u16(1), zeros(16), u16(width), u16(height), u32(0x00480000), u32(0x00480000),
                          u32(0), u16(1), zeros(32), u16(0x18), u16(0xFFFF), children}));
}

// An audio sample entry: the 28 bytes of fixed fields (data reference index
// 1, `version` in the first reserved word, rate as 16.16), then `children`.
inline Bytes audio_entry(const char *type, uint16_t channels, uint16_t sample_size, uint32_t rate_16_16,
                         const Bytes &children = {}, uint16_t version = 0) {
    return box(type, cat({zeros(6), u16(1), u16(version), zeros(6), u16(channels), u16(sample_size), u32(0),
                          u32(rate_16_16), children}));
}

// Movie fragment random-access boxes (ISO/IEC 14496-12 8.8.10, 8.8.11).
struct TfraEntry {
    uint64_t time, moof_offset;
    uint32_t traf, trun, sample;
};
// A tfra whose number_of_entry says `declared`, with `entries` laid out for
// `version` and the length-size word, then `extra` bytes.
inline Bytes tfra(uint8_t version, uint32_t track_id, uint32_t length_sizes, uint32_t declared,
                  const std::vector<TfraEntry> &entries, const Bytes &extra = {}) {
    const int wide = version == 1 ? 8 : 4;
    Bytes body = cat({u32(track_id), u32(length_sizes), u32(declared)});
    for (const TfraEntry &e : entries)
        body = cat({body, be(e.time, wide), be(e.moof_offset, wide), be(e.traf, int((length_sizes >> 4) & 3) + 1),
                    be(e.trun, int((length_sizes >> 2) & 3) + 1), be(e.sample, int(length_sizes & 3) + 1)});
    return full_box("tfra", version, 0, cat({body, extra}));
}
inline Bytes mfro(uint32_t mfra_size, uint8_t version = 0) { return full_box("mfro", version, 0, u32(mfra_size)); }
// An mfra holding `children`, closed by the mfro that gives its size.
inline Bytes mfra(const Bytes &children) { return box("mfra", cat({children, mfro(uint32_t(8 + children.size() + 16))})); }

}  // namespace boxw

#endif
