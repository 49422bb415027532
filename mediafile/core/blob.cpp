#include "blob.h"

#include <cstring>

namespace bxf {

namespace {

// A zero-filled copy of `length` bytes with `extra` zero bytes after them.
uint32_t copy_bytes(LibraryInstance *inst, const uint8_t *src, uint64_t length, uint64_t extra, Blob *out) {
    const uint64_t total = length + extra;
    if (total == 0) {
        *out = Blob{nullptr, 0};
        return BXF_RET_OK;
    }
    if (total > UINT32_MAX) return BXF_RET_NOMEM;
    auto *data = static_cast<uint8_t *>(bxf_alloc(inst, BXF_POOL_GENERAL, total));
    if (!data) return BXF_RET_NOMEM;
    if (length) mem_copy(inst, data, total, src, length);
    *out = Blob{data, uint32_t(total)};
    return BXF_RET_OK;
}

}  // namespace

uint32_t copy_blob(LibraryInstance *inst, ByteCursor &c, uint64_t length, Blob *out) {
    if (!c.need(length)) return BXF_RET_FORMAT;
    const uint32_t ret = copy_bytes(inst, c.current(), length, 0, out);
    if (ret == BXF_RET_OK) c.skip(length);
    return ret;
}

uint64_t string_span(const ByteCursor &c) {
    const void *zero = std::memchr(c.current(), 0, c.remaining());
    return zero ? uint64_t(static_cast<const uint8_t *>(zero) - c.current()) + 1 : c.remaining();
}

uint32_t copy_string(LibraryInstance *inst, ByteCursor &c, Blob *out) {
    if (c.remaining() == 0) {
        *out = Blob{nullptr, 0};
        return BXF_RET_OK;
    }
    const uint64_t span = string_span(c);
    const bool terminated = c.current()[span - 1] == 0;
    const uint64_t length = terminated ? span - 1 : span;
    const uint32_t ret = copy_bytes(inst, c.current(), length, 1, out);
    if (ret == BXF_RET_OK) c.skip(span);
    return ret;
}

void release_blob(LibraryInstance *inst, Blob &blob) {
    bxf_free(inst, blob.data);
    blob = Blob{nullptr, 0};
}

}  // namespace bxf
