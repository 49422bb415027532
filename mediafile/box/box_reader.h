// Box and descriptor headers (ISO/IEC 14496-12 clause 4.2, ISO/IEC 14496-1
// clause 8.3.3) and the small header readers every box parser shares.
#ifndef BXF_BOX_READER_H
#define BXF_BOX_READER_H

#include "internal.h"

namespace bxf {

struct UuidHeader {
    uint32_t code0, code1, code2, code3;
    uint64_t payload_offset;  // body offset + 16
    uint64_t payload_size;    // body size - 16
    bool is_vendor_uuid;
};

struct FullBoxHeader {
    uint32_t version_flags;
    uint32_t entry_count;  // the word after version/flags
    uint64_t rest_offset;  // body offset + 8
    uint64_t rest_size;    // body size - 8
    uint32_t version() const { return version_flags >> 24; }
    uint32_t flags() const { return version_flags & 0xFFFFFFu; }
};

// Vendor uuid boxes share the last twelve bytes of their extended type and
// are named by the first four.
constexpr uint32_t kVendorUuidCode1 = 0x21D24FCE, kVendorUuidCode2 = 0xBB88695C, kVendorUuidCode3 = 0xFAC9C740;

uint32_t read_box_header(const Io &io, uint64_t offset, uint64_t available, uint32_t *out_type, uint64_t *out_size,
                         uint32_t *out_header_length);
uint32_t read_box(const Io &io, uint64_t offset, uint64_t available, BoxRecord *out);
// Offsets in and out are relative to `buffer`; `available` counts from `offset`.
uint32_t read_box_in_buffer(const uint8_t *buffer, uint64_t offset, uint64_t available, BoxRecord *out);
// An MPEG-4 descriptor's header, its length clipped to `available`;
// BXF_RET_NOTFOUND when its size bytes run past `available`.
uint32_t read_descriptor(const uint8_t *buffer, uint64_t offset, uint64_t available, BoxRecord *out);

uint32_t read_uuid_header(const Io &io, uint64_t body_offset, uint64_t body_size, UuidHeader *out);
uint32_t read_uuid_header_in_buffer(const uint8_t *buffer, uint64_t body_offset, uint64_t body_size, UuidHeader *out);

// Version/flags and the following word. `max_version` is the highest version
// the box accepts (0 for most boxes, 1 for those with 64-bit time fields).
uint32_t read_full_box_header(const Io &io, BoxRange body, uint32_t max_version, FullBoxHeader *out);

// A box body read whole into a pool-1 buffer, released when it goes out of
// scope so every return path frees it.
class BodyBuffer {
public:
    explicit BodyBuffer(LibraryInstance *inst) : inst_(inst) {}
    ~BodyBuffer() { bxf_free(inst_, data_); }
    BodyBuffer(const BodyBuffer &) = delete;
    BodyBuffer &operator=(const BodyBuffer &) = delete;

    uint32_t read(const Io &io, BoxRange body);
    const uint8_t *data() const { return data_; }
    uint64_t size() const { return size_; }

private:
    LibraryInstance *inst_;
    uint8_t *data_ = nullptr;
    uint64_t size_ = 0;
};

}  // namespace bxf

#endif
