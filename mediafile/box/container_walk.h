// The container walk every parser follows: children are read one after the
// other from the body start, each dispatched through the container's table of
// known types; unknown types are skipped unread, a row that may occur once
// takes only the first such child (rows that fill one field share a slot, and
// the first child of any of them wins), uuid children are told apart by their
// extended type, and up to 7 trailing bytes are ignored.
// A child reader gets the child's record, never the whole file, so a size-0
// child ends where its container ends.
#ifndef BXF_CONTAINER_WALK_H
#define BXF_CONTAINER_WALK_H

#include <cstddef>

#include "box_reader.h"

namespace bxf {

enum class Occurs { once, repeat };

// A uuid box's extended type: the 16 bytes after its header, as four words.
struct ExtendedType {
    uint32_t word[4];
};
inline bool operator==(const ExtendedType &a, const ExtendedType &b) {
    return a.word[0] == b.word[0] && a.word[1] == b.word[1] && a.word[2] == b.word[2] && a.word[3] == b.word[3];
}
// Vendor uuid boxes are named by the first word of their extended type.
constexpr ExtendedType vendor_uuid(uint32_t name) {
    return ExtendedType{{name, kVendorUuidCode1, kVendorUuidCode2, kVendorUuidCode3}};
}
constexpr uint32_t kUuidType = BXF_FOURCC('u', 'u', 'i', 'd');

inline ExtendedType extended_type_of(const UuidHeader &h) { return ExtendedType{{h.code0, h.code1, h.code2, h.code3}}; }
// What follows a uuid box's extended type (its body is at least 16 bytes
// once the walk has matched it).
inline BoxRange uuid_payload(const BoxRecord &box) { return BoxRange{box.m_body_offset + 16, box.m_body_size - 16}; }

// The row a child goes to. Rows of type uuid are keyed by the extended type
// as well. `shared_slot` (nonzero) names a field that several rows fill:
// of all their children only the first is read, whichever row it matches.
template <class Target>
struct ChildRule {
    uint32_t type;
    Occurs occurs;
    uint32_t (*read)(const Io &io, const BoxRecord &child, Target &target);
    uint8_t shared_slot = 0;
    ExtendedType uuid = {};
};

// A row for the first uuid child of one extended type.
template <class Target>
constexpr ChildRule<Target> uuid_rule(ExtendedType uuid, uint32_t (*read)(const Io &, const BoxRecord &, Target &)) {
    return ChildRule<Target>{kUuidType, Occurs::once, read, 0, uuid};
}

// The seen-bit of row `i`: its own, or that of the first row of its slot.
template <class Rule>
uint64_t slot_bit(const Rule *rules, size_t i) {
    if (rules[i].shared_slot != 0)
        for (size_t j = 0; j < i; ++j)
            if (rules[j].shared_slot == rules[i].shared_slot) return uint64_t(1) << j;
    return uint64_t(1) << i;
}

template <class Rule>
bool has_uuid_rows(const Rule *rules, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (rules[i].type == kUuidType) return true;
    return false;
}

// The index of the row that reads `child` (`ext` is its extended type when
// it is a uuid box), or `count` when no row does or the row's slot is taken
// already; the row's slot is marked taken.
template <class Rule>
size_t take_row(const Rule *rules, size_t count, const BoxRecord &child, const ExtendedType &ext, uint64_t &taken) {
    for (size_t i = 0; i < count; ++i) {
        if (rules[i].type != child.type || (child.type == kUuidType && !(rules[i].uuid == ext))) continue;
        const uint64_t bit = slot_bit(rules, i);
        if (rules[i].occurs == Occurs::once && (taken & bit)) return count;
        taken |= bit;
        return i;
    }
    return count;
}

// Called after every child (known or not). Returning false ends the walk with
// BXF_RET_OK.
template <class Target>
using AfterChild = bool (*)(const Io &io, const BoxRecord &child, Target &target);

template <class Target, size_t N>
uint32_t walk_container(const Io &io, BoxRange body, const ChildRule<Target> (&rules)[N], Target &target,
                        AfterChild<Target> after = nullptr, uint64_t max_children = UINT64_MAX) {
    static_assert(N <= 64, "one seen-bit per row");
    const bool keyed_uuids = has_uuid_rows(rules, N);
    uint64_t taken = 0;
    uint64_t consumed = 0;
    for (uint64_t children = 0; children < max_children && body.size - consumed >= 8; ++children) {
        BoxRecord child;
        uint32_t ret = read_box(io, body.offset + consumed, body.size - consumed, &child);
        if (ret != BXF_RET_OK) return ret;
        ExtendedType ext{};
        if (keyed_uuids && child.type == kUuidType) {
            UuidHeader uuid;
            ret = read_uuid_header(io, child.m_body_offset, child.m_body_size, &uuid);
            if (ret != BXF_RET_OK) return ret;
            ext = extended_type_of(uuid);
        }
        const size_t row = take_row(rules, N, child, ext, taken);
        if (row < N) {
            ret = rules[row].read(io, child, target);
            if (ret != BXF_RET_OK) return ret;
        }
        consumed += child.m_box_size;
        if (after && !after(io, child, target)) break;
    }
    return BXF_RET_OK;
}

}  // namespace bxf

#endif
