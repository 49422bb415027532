#include "memory_file.h"

#include <cstring>

namespace {

uint32_t mem_read(void *file, void *buffer, uint64_t count, uint64_t *out_read) {
    auto *f = static_cast<MemoryFile *>(file);
    if (!f || !buffer || !out_read) return BXF_RET_ARGS;
    ++f->reads;
    if (f->fail_reads) return BXF_RET_FILE;
    const uint64_t left = f->position < f->bytes.size() ? f->bytes.size() - f->position : 0;
    const uint64_t n = count < left ? count : left;
    if (n) std::memcpy(buffer, f->bytes.data() + f->position, n);
    f->position += n;
    f->bytes_read += n;
    *out_read = n;
    return BXF_RET_OK;
}

uint32_t mem_write(void *, const void *, uint64_t, uint64_t *) { return BXF_RET_FILE; }

uint32_t mem_seek(void *file, int64_t offset, uint32_t origin) {
    auto *f = static_cast<MemoryFile *>(file);
    if (!f || origin > BXF_SEEK_END) return BXF_RET_ARGS;
    const int64_t base = origin == BXF_SEEK_SET ? 0 : origin == BXF_SEEK_CUR ? int64_t(f->position)
                                                                              : int64_t(f->bytes.size());
    if (offset < -base) return BXF_RET_FILE;
    f->position = uint64_t(base + offset);
    return BXF_RET_OK;
}

uint32_t mem_tell(void *file, uint64_t *out) {
    auto *f = static_cast<MemoryFile *>(file);
    if (!f || !out) return BXF_RET_ARGS;
    *out = f->position;
    return BXF_RET_OK;
}

uint32_t mem_size(void *file, uint64_t *out) {
    auto *f = static_cast<MemoryFile *>(file);
    if (!f || !out) return BXF_RET_ARGS;
    *out = f->bytes.size();
    return BXF_RET_OK;
}

}  // namespace

FileOps memory_file_ops() {
    FileOps ops;
    bxf_fill_file_ops(&ops);
    ops.read = mem_read;
    ops.write = mem_write;
    ops.seek = mem_seek;
    ops.tell = mem_tell;
    ops.size = mem_size;
    return ops;
}
