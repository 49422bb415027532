// The container walk every parser follows: children are read one after the
// other from the body start, each dispatched through the container's table of
// known types; unknown types are skipped unread, a row that may occur once
// takes only the first such child, and up to 7 trailing bytes are ignored.
// A child reader gets the child's record, never the whole file, so a size-0
// child ends where its container ends.
#ifndef BXF_CONTAINER_WALK_H
#define BXF_CONTAINER_WALK_H

#include <cstddef>

#include "box_reader.h"

namespace bxf {

enum class Occurs { once, repeat };

template <class Target>
struct ChildRule {
    uint32_t type;
    Occurs occurs;
    uint32_t (*read)(const Io &io, const BoxRecord &child, Target &target);
};

// Called after every child (known or not). Returning false ends the walk with
// BXF_RET_OK.
template <class Target>
using AfterChild = bool (*)(const Io &io, const BoxRecord &child, Target &target);

template <class Target, size_t N>
uint32_t walk_container(const Io &io, BoxRange body, const ChildRule<Target> (&rules)[N], Target &target,
                        AfterChild<Target> after = nullptr, uint64_t max_children = UINT64_MAX) {
    static_assert(N <= 64, "one seen-bit per row");
    uint64_t seen = 0;
    uint64_t consumed = 0;
    for (uint64_t children = 0; children < max_children && body.size - consumed >= 8; ++children) {
        BoxRecord child;
        uint32_t ret = read_box(io, body.offset + consumed, body.size - consumed, &child);
        if (ret != BXF_RET_OK) return ret;
        for (size_t i = 0; i < N; ++i) {
            if (rules[i].type != child.type) continue;
            const uint64_t bit = uint64_t(1) << i;
            if (rules[i].occurs == Occurs::once && (seen & bit)) break;
            seen |= bit;
            ret = rules[i].read(io, child, target);
            if (ret != BXF_RET_OK) return ret;
            break;
        }
        consumed += child.m_box_size;
        if (after && !after(io, child, target)) break;
    }
    return BXF_RET_OK;
}

}  // namespace bxf

#endif
