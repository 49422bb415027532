// The container walk of container_walk.h on bytes already in memory: boxes
// (sample entries and their children) or MPEG-4 descriptors (inside esds).
// The same rules hold: children follow one another from the start of the
// area, unknown types are skipped unread, a row that may occur once takes
// only the first such child, and a tail too short for a header is ignored
// (up to 7 bytes for boxes; for descriptors, a header cut by the end).
// Lengths are clipped to the area, so a child can never reach past its
// container.
#ifndef BXF_BUFFER_WALK_H
#define BXF_BUFFER_WALK_H

#include <cstddef>

#include "box_reader.h"
#include "byte_cursor.h"
#include "container_walk.h"

namespace bxf {

// A box body read whole into memory: what every in-memory reader gets in
// place of an Io. Box records hold offsets into `data`.
struct BufferIo {
    LibraryInstance *inst;
    const uint8_t *data;
    uint64_t size;
    uint64_t file_offset;  // where data[0] lies in the file

    // A bounded reader over a child's body (records are already clipped to
    // the buffer by the header readers).
    ByteCursor body(const BoxRecord &child) const { return ByteCursor(data + child.m_body_offset, child.m_body_size); }
    BoxRange file_range(uint64_t offset, uint64_t length) const { return BoxRange{file_offset + offset, length}; }
};

enum class HeaderKind { box, descriptor };

// Calls visit(child) for each child of `area` (offsets into the buffer),
// stopping after `max_children`; the first non-OK code ends the walk.
template <class Visit>
uint32_t for_each_child(const BufferIo &io, BoxRange area, HeaderKind kind, uint64_t max_children, Visit &&visit) {
    const uint64_t min_header = kind == HeaderKind::box ? 8 : 2;
    uint64_t consumed = 0;
    for (uint64_t n = 0; n < max_children && area.size - consumed >= min_header; ++n) {
        const uint64_t offset = area.offset + consumed, available = area.size - consumed;
        BoxRecord child;
        uint32_t ret = kind == HeaderKind::box ? read_box_in_buffer(io.data, offset, available, &child)
                                               : read_descriptor(io.data, offset, available, &child);
        if (ret == BXF_RET_NOTFOUND && kind == HeaderKind::descriptor) return BXF_RET_OK;  // a tail cut in a header
        if (ret == BXF_RET_OK) ret = visit(child);
        if (ret != BXF_RET_OK) return ret;
        consumed += child.m_box_size;  // at least the header, so the walk always advances
    }
    return BXF_RET_OK;
}

// The rows of an in-memory walk: as ChildRule (shared slots, uuid rows keyed
// by their extended type), for readers of buffered bodies.
template <class Target>
struct BufferRule {
    uint32_t type;  // a box type, or a descriptor tag
    Occurs occurs;
    uint32_t (*read)(const BufferIo &io, const BoxRecord &child, Target &target);
    uint8_t shared_slot = 0;
    ExtendedType uuid = {};
};

template <class Target>
constexpr BufferRule<Target> uuid_rule(ExtendedType uuid,
                                       uint32_t (*read)(const BufferIo &, const BoxRecord &, Target &)) {
    return BufferRule<Target>{kUuidType, Occurs::once, read, 0, uuid};
}

template <class Target>
uint32_t walk_buffer(const BufferIo &io, BoxRange area, const BufferRule<Target> *rules, size_t count, Target &target,
                     HeaderKind kind = HeaderKind::box) {
    const bool keyed_uuids = kind == HeaderKind::box && has_uuid_rows(rules, count);
    uint64_t taken = 0;  // one bit per row
    return for_each_child(io, area, kind, UINT64_MAX, [&](const BoxRecord &child) -> uint32_t {
        ExtendedType ext{};
        if (keyed_uuids && child.type == kUuidType) {
            UuidHeader uuid;
            const uint32_t ret = read_uuid_header_in_buffer(io.data, child.m_body_offset, child.m_body_size, &uuid);
            if (ret != BXF_RET_OK) return ret;
            ext = extended_type_of(uuid);
        }
        const size_t rows = count < 64 ? count : 64;
        const size_t row = take_row(rules, rows, child, ext, taken);
        return row < rows ? rules[row].read(io, child, target) : BXF_RET_OK;
    });
}

template <class Target, size_t N>
uint32_t walk_buffer(const BufferIo &io, BoxRange area, const BufferRule<Target> (&rules)[N], Target &target,
                     HeaderKind kind = HeaderKind::box) {
    static_assert(N <= 64, "one seen-bit per row");
    return walk_buffer(io, area, rules, N, target, kind);
}

// The children of a box or descriptor: its body after `skip` bytes of fields.
inline BoxRange children_of(const BoxRecord &parent, uint64_t skip) {
    return skip < parent.m_body_size ? BoxRange{parent.m_body_offset + skip, parent.m_body_size - skip}
                                     : BoxRange{parent.m_body_offset + parent.m_body_size, 0};
}

}  // namespace bxf

#endif
