// The one way box parsers read their fixed fields: the head of the body is
// read into a small buffer and decoded through a ByteCursor, so a body too
// short for a field fails the cursor instead of being read past.
#ifndef BXF_FIELD_READER_H
#define BXF_FIELD_READER_H

#include "box_reader.h"
#include "byte_cursor.h"

namespace bxf {

// The most fixed-field bytes any box has (tkhd of version 1).
constexpr uint64_t kMaxFixedFieldBytes = 96;

// Decodes a box's fixed fields from bytes already in memory through
// `fields(cursor)`, which returns false for a version it does not know, and
// gives the range that follows them. Offsets in and out are relative to
// `buffer`. From a body shorter than its fields the cursor fails on the
// first field missing: BXF_RET_FORMAT.
template <class Fields>
uint32_t read_fields_in_buffer(const uint8_t *buffer, BoxRange body, BoxRange *rest, Fields &&fields) {
    ByteCursor c(buffer + body.offset, body.size);
    if (!fields(c) || !c.ok()) return BXF_RET_FORMAT;
    *rest = BoxRange{body.offset + c.position(), body.size - c.position()};
    return BXF_RET_OK;
}

// The same for a body in the file: its head is read into a small buffer
// first.
template <class Fields>
uint32_t read_fields(const Io &io, BoxRange body, BoxRange *rest, Fields &&fields) {
    uint8_t head[kMaxFixedFieldBytes];
    const uint64_t size = body.size < sizeof head ? body.size : sizeof head;
    const uint32_t ret = read_exact_at(io, body.offset, head, size);
    if (ret != BXF_RET_OK) return ret;
    BoxRange head_rest;
    const uint32_t decoded = read_fields_in_buffer(head, BoxRange{0, size}, &head_rest, fields);
    if (decoded != BXF_RET_OK) return decoded;
    *rest = BoxRange{body.offset + head_rest.offset, body.size - head_rest.offset};
    return BXF_RET_OK;
}
template <class Fields>
uint32_t read_fields(const Io &io, const BoxRecord &box, BoxRange *rest, Fields &&fields) {
    return read_fields(io, body_range(box), rest, fields);
}

// A full box of version 0 or 1 whose one field is a time or duration: 32
// bits in version 0, 64 in version 1 (tfdt, mehd).
inline uint32_t read_versioned_time(const Io &io, const BoxRecord &box, uint64_t *out) {
    BoxRange rest;
    uint32_t version = 0, flags = 0;
    uint64_t value = 0;
    const uint32_t ret = read_fields(io, box, &rest, [&](ByteCursor &c) {
        const bool known = read_version(c, 1, &version, &flags);
        value = c.u32_or_u64(version == 1);
        return known;
    });
    if (ret == BXF_RET_OK) *out = value;
    return ret;
}

}  // namespace bxf

#endif
