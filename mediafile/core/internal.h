// Library-internal helpers shared by every parser: the file and memory
// wrappers over the instance's FileOps, big-endian readers and checked
// arithmetic on values read from files.
#ifndef BXF_INTERNAL_H
#define BXF_INTERNAL_H

#include "bxf.h"

namespace bxf {

// The pair every reader works with: the instance (operations, pools) and the
// caller's opaque file.
struct Io {
    LibraryInstance *inst;
    void *file;
};

uint32_t file_read(LibraryInstance *inst, void *file, void *buffer, uint64_t count, uint64_t *out_read);
uint32_t file_seek(LibraryInstance *inst, void *file, int64_t offset, uint32_t origin);
uint32_t file_size(LibraryInstance *inst, void *file, uint64_t *out_size);

// Seeks to `offset` from the start and reads exactly `count` bytes: a short
// read is BXF_RET_FILE.
uint32_t read_exact_at(const Io &io, uint64_t offset, void *buffer, uint64_t count);

void *mem_copy(LibraryInstance *inst, void *dst, uint64_t capacity, const void *src, uint64_t n);

inline uint16_t load_u16_be(const uint8_t *p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t load_u32_be(const uint8_t *p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline uint64_t load_u64_be(const uint8_t *p) { return (uint64_t(load_u32_be(p)) << 32) | load_u32_be(p + 4); }

// Checked arithmetic: false when the exact result does not fit.
inline bool checked_add(uint64_t a, uint64_t b, uint64_t *out) { return !__builtin_add_overflow(a, b, out); }
inline bool checked_mul(uint64_t a, uint64_t b, uint64_t *out) { return !__builtin_mul_overflow(a, b, out); }

// Allocates one zero-filled record of type T from `pool`, or null.
template <class T>
T *alloc_record(LibraryInstance *inst, uint32_t pool = BXF_POOL_GENERAL) {
    return static_cast<T *>(bxf_alloc(inst, pool, sizeof(T)));
}

// Frees every node of a singly linked list.
template <class T>
void free_list(LibraryInstance *inst, T *head) {
    while (head) {
        T *next = head->next;
        bxf_free(inst, head);
        head = next;
    }
}

// Appends `node` to a list kept as head and tail, preserving file order.
template <class T>
void append_node(T *&head, T *&tail, T *node) {
    if (tail)
        tail->next = node;
    else
        head = node;
    tail = node;
}

inline bool range_present(const BoxRange &r) { return r.offset != 0; }
inline BoxRange body_range(const BoxRecord &b) { return BoxRange{b.m_body_offset, b.m_body_size}; }
inline BoxRange box_range(const BoxRecord &b) { return BoxRange{b.m_box_offset, b.m_box_size}; }

}  // namespace bxf

#endif
