// Thin wrappers over the instance's operations that every parser uses:
// any failure of the caller's read, seek or size becomes BXF_RET_FILE.
#include "internal.h"

namespace bxf {

uint32_t file_read(LibraryInstance *inst, void *file, void *buffer, uint64_t count, uint64_t *out_read) {
    return inst->ops.read(file, buffer, count, out_read) == BXF_RET_OK ? BXF_RET_OK : BXF_RET_FILE;
}

uint32_t file_seek(LibraryInstance *inst, void *file, int64_t offset, uint32_t origin) {
    return inst->ops.seek(file, offset, origin) == BXF_RET_OK ? BXF_RET_OK : BXF_RET_FILE;
}

uint32_t file_size(LibraryInstance *inst, void *file, uint64_t *out_size) {
    return inst->ops.size(file, out_size) == BXF_RET_OK ? BXF_RET_OK : BXF_RET_FILE;
}

uint32_t read_exact_at(const Io &io, uint64_t offset, void *buffer, uint64_t count) {
    if (offset > uint64_t(INT64_MAX)) return BXF_RET_FILE;
    uint32_t ret = file_seek(io.inst, io.file, static_cast<int64_t>(offset), BXF_SEEK_SET);
    if (ret != BXF_RET_OK) return ret;
    uint64_t got = 0;
    ret = file_read(io.inst, io.file, buffer, count, &got);
    if (ret != BXF_RET_OK) return ret;
    return got == count ? BXF_RET_OK : BXF_RET_FILE;
}

namespace {

template <class T>
uint32_t read_be(LibraryInstance *inst, void *file, T *out) {
    if (!inst || !file || !out) return BXF_RET_ARGS;
    uint8_t bytes[sizeof(T)];
    uint64_t got = 0;
    if (file_read(inst, file, bytes, sizeof(T), &got) != BXF_RET_OK || got != sizeof(T)) return BXF_RET_FILE;
    T v = 0;
    for (uint8_t b : bytes) v = static_cast<T>((v << 8) | b);
    *out = v;
    return BXF_RET_OK;
}

}  // namespace

uint32_t read_u16_be(LibraryInstance *inst, void *file, uint16_t *out) { return read_be(inst, file, out); }
uint32_t read_u32_be(LibraryInstance *inst, void *file, uint32_t *out) { return read_be(inst, file, out); }
uint32_t read_u64_be(LibraryInstance *inst, void *file, uint64_t *out) { return read_be(inst, file, out); }

void *mem_copy(LibraryInstance *inst, void *dst, uint64_t capacity, const void *src, uint64_t n) {
    return inst->ops.copy_memory(inst->ops.context, dst, capacity, src, n);
}
void *mem_fill(LibraryInstance *inst, void *dst, int value, uint64_t n) {
    return inst->ops.fill_memory(inst->ops.context, dst, value, n);
}
void *mem_move(LibraryInstance *inst, void *dst, uint64_t capacity, const void *src, uint64_t n) {
    return inst->ops.move_memory(inst->ops.context, dst, capacity, src, n);
}
int mem_compare(LibraryInstance *inst, const void *a, const void *b, uint64_t n) {
    return inst->ops.compare_memory(inst->ops.context, a, b, n);
}

char *str_copy_bounded(LibraryInstance *inst, char *dst, uint64_t capacity, const char *src, uint64_t n) {
    if (n == 0) return dst;
    if (!dst || capacity < n) return nullptr;
    // Terminate first so the result is a string whatever the copy does.
    dst[n - 1] = '\0';
    return inst->ops.copy_string(inst->ops.context, dst, capacity, src, n - 1);
}

uint64_t str_length_bounded(const char *s, uint64_t max) {
    uint64_t n = 0;
    if (!s) return 0;
    while (n < max && s[n] != '\0') ++n;
    return n;
}

}  // namespace bxf
