#include "box_reader.h"

#include "field_reader.h"

namespace bxf {

namespace {

// Steps shared by file and buffer reading once the header is known: a size of
// 0 runs to the end of the parent, sizes 1..7 and sizes below the header are
// malformed, and a size past the parent is clipped to it.
uint32_t fill_record(uint32_t type, uint64_t declared, uint32_t header_length, uint64_t offset, uint64_t available,
                     BoxRecord *out) {
    uint64_t size = declared == 0 ? available : declared;
    if (size < 8 || size < header_length) return BXF_RET_FORMAT;
    if (size > available) size = available;
    *out = BoxRecord{type, offset, size, offset + header_length, size - header_length};
    return BXF_RET_OK;
}

void fill_uuid(const uint8_t *ext, uint64_t body_offset, uint64_t body_size, UuidHeader *out) {
    UuidHeader h{};
    h.code0 = load_u32_be(ext);
    h.code1 = load_u32_be(ext + 4);
    h.code2 = load_u32_be(ext + 8);
    h.code3 = load_u32_be(ext + 12);
    h.payload_offset = body_offset + 16;
    h.payload_size = body_size - 16;
    h.is_vendor_uuid = h.code1 == kVendorUuidCode1 && h.code2 == kVendorUuidCode2 && h.code3 == kVendorUuidCode3;
    *out = h;
}

}  // namespace

uint32_t read_box_header(const Io &io, uint64_t offset, uint64_t available, uint32_t *out_type, uint64_t *out_size,
                         uint32_t *out_header_length) {
    if (!io.inst || !io.file || !out_type || !out_size || !out_header_length) return BXF_RET_ARGS;
    if (available < 8) return BXF_RET_FORMAT;
    uint8_t head[16];
    uint32_t ret = read_exact_at(io, offset, head, 8);
    if (ret != BXF_RET_OK) return ret;
    uint64_t size = load_u32_be(head);
    uint32_t header_length = 8;
    if (size == 1) {
        if (available < 16) return BXF_RET_FORMAT;
        uint64_t got = 0;
        ret = file_read(io.inst, io.file, head + 8, 8, &got);
        if (ret != BXF_RET_OK || got != 8) return BXF_RET_FILE;
        size = load_u64_be(head + 8);
        header_length = 16;
    }
    *out_type = load_u32_be(head + 4);
    *out_size = size;
    *out_header_length = header_length;
    return BXF_RET_OK;
}

uint32_t read_box(const Io &io, uint64_t offset, uint64_t available, BoxRecord *out) {
    if (!out) return BXF_RET_ARGS;
    if (available < 8) return BXF_RET_FORMAT;
    uint32_t type = 0, header_length = 0;
    uint64_t size = 0;
    uint32_t ret = read_box_header(io, offset, available, &type, &size, &header_length);
    if (ret != BXF_RET_OK) return ret;
    return fill_record(type, size, header_length, offset, available, out);
}

uint32_t read_box_in_buffer(const uint8_t *buffer, uint64_t offset, uint64_t available, BoxRecord *out) {
    if (!buffer || !out) return BXF_RET_ARGS;
    if (available < 8) return BXF_RET_FORMAT;
    const uint8_t *p = buffer + offset;
    uint64_t size = load_u32_be(p);
    uint32_t header_length = 8;
    if (size == 1) {
        if (available < 16) return BXF_RET_FORMAT;
        size = load_u64_be(p + 8);
        header_length = 16;
    }
    return fill_record(load_u32_be(p + 4), size, header_length, offset, available, out);
}

uint32_t read_descriptor(const uint8_t *buffer, uint64_t offset, uint64_t available, BoxRecord *out) {
    if (!buffer || !out) return BXF_RET_ARGS;
    if (available < 2) return BXF_RET_FORMAT;
    const uint8_t *p = buffer + offset;
    // Up to four size bytes of seven bits each, and never past `available`.
    // A header cut by the end of the area is BXF_RET_NOTFOUND: no descriptor
    // starts there.
    const uint64_t max_size_bytes = (available < 5 ? available : 5) - 1;
    uint64_t size = 0;
    uint32_t size_bytes = 0;
    for (;;) {
        const uint8_t b = p[1 + size_bytes];
        size = (size << 7) | (b & 0x7Fu);
        ++size_bytes;
        if (!(b & 0x80u)) break;
        if (size_bytes >= max_size_bytes) return size_bytes < 4 ? BXF_RET_NOTFOUND : BXF_RET_FORMAT;
    }
    const uint32_t header_length = 1 + size_bytes;
    uint64_t total = size + header_length;
    if (total > available) total = available;
    if (header_length > 5 || total < header_length) return BXF_RET_FORMAT;
    *out = BoxRecord{p[0], offset, total, offset + header_length, total - header_length};
    return BXF_RET_OK;
}

uint32_t read_uuid_header(const Io &io, uint64_t body_offset, uint64_t body_size, UuidHeader *out) {
    if (!io.inst || !io.file || !out) return BXF_RET_ARGS;
    if (body_size < 16) return BXF_RET_FORMAT;
    uint8_t ext[16];
    uint32_t ret = read_exact_at(io, body_offset, ext, sizeof ext);
    if (ret != BXF_RET_OK) return ret;
    fill_uuid(ext, body_offset, body_size, out);
    return BXF_RET_OK;
}

uint32_t read_uuid_header_in_buffer(const uint8_t *buffer, uint64_t body_offset, uint64_t body_size, UuidHeader *out) {
    if (!buffer || !out) return BXF_RET_ARGS;
    if (body_size < 16) return BXF_RET_FORMAT;
    fill_uuid(buffer + body_offset, body_offset, body_size, out);
    return BXF_RET_OK;
}

uint32_t read_full_box_header(const Io &io, BoxRange body, uint32_t max_version, FullBoxHeader *out) {
    if (!io.inst || !io.file || !out) return BXF_RET_ARGS;
    BoxRange rest;
    uint32_t version = 0, flags = 0, count = 0;
    const uint32_t ret = read_fields(io, body, &rest, [&](ByteCursor &c) {
        const bool known = read_version(c, max_version, &version, &flags);
        count = c.u32();
        return known;
    });
    if (ret != BXF_RET_OK) return ret;
    *out = FullBoxHeader{version << 24 | flags, count, rest.offset, rest.size};
    return BXF_RET_OK;
}

uint32_t BodyBuffer::read(const Io &io, BoxRange body) {
    bxf_free(inst_, data_);
    data_ = nullptr;
    size_ = 0;
    auto *buffer = static_cast<uint8_t *>(bxf_alloc(inst_, BXF_POOL_GENERAL, body.size));
    if (!buffer) return BXF_RET_NOMEM;
    const uint32_t ret = read_exact_at(io, body.offset, buffer, body.size);
    if (ret != BXF_RET_OK) {
        bxf_free(inst_, buffer);
        return ret;
    }
    data_ = buffer;
    size_ = body.size;
    return BXF_RET_OK;
}

}  // namespace bxf
