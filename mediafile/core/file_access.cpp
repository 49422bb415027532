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

void *mem_copy(LibraryInstance *inst, void *dst, uint64_t capacity, const void *src, uint64_t n) {
    return inst->ops.copy_memory(inst->ops.context, dst, capacity, src, n);
}

}  // namespace bxf
