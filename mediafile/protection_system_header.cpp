// pssh (ISO/IEC 23001-7 8.1): a protection system's header in `moov`.
#include "box_reader.h"
#include "byte_cursor.h"
#include "play_handle.h"

namespace bxf {

uint32_t parse_pssh(const Io &io, const BoxRecord &box, PsshRecord **out) {
    if (box.m_body_size < 24) return BXF_RET_FORMAT;
    BodyBuffer body(io.inst);
    uint32_t ret = body.read(io, body_range(box));
    if (ret != BXF_RET_OK) return ret;
    ByteCursor c(body.data(), body.size());
    const uint8_t version = static_cast<uint8_t>(c.u32() >> 24);
    uint8_t system_id[16];
    c.copy(system_id, sizeof system_id);

    uint32_t kid_count = 0;
    const uint8_t *kids = nullptr;
    if (version != 0) {
        kid_count = c.u32();
        // The count is trusted only as far as the bytes behind it go.
        if (kid_count > c.remaining() / 16) return BXF_RET_FORMAT;
        kids = c.current();
        c.skip(uint64_t(kid_count) * 16);
    }
    const uint32_t data_size = c.u32();
    if (!c.ok()) return BXF_RET_FORMAT;
    const uint64_t kept_size = data_size < c.remaining() ? data_size : c.remaining();

    auto *record = alloc_record<PsshRecord>(io.inst);
    if (!record) return BXF_RET_NOMEM;
    if (kid_count) {
        record->kids = static_cast<uint8_t *>(bxf_alloc(io.inst, BXF_POOL_GENERAL, uint64_t(kid_count) * 16));
        if (!record->kids) {
            bxf_free(io.inst, record);
            return BXF_RET_NOMEM;
        }
        mem_copy(io.inst, record->kids, uint64_t(kid_count) * 16, kids, uint64_t(kid_count) * 16);
    }
    record->box = box_range(box);
    record->body = body_range(box);
    record->version = version;
    mem_copy(io.inst, record->system_id, sizeof record->system_id, system_id, sizeof system_id);
    record->kid_count = kid_count;
    record->data = BoxRange{box.m_body_offset + c.position(), kept_size};
    *out = record;
    return BXF_RET_OK;
}

}  // namespace bxf
