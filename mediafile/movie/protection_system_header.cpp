// pssh (ISO/IEC 23001-7 8.1): a protection system's header in `moov`.
#include "box_reader.h"
#include "field_reader.h"
#include "movie_parsers.h"

namespace bxf {

uint32_t parse_pssh(const Io &io, const BoxRecord &box, PsshRecord **out) {
    if (box.m_body_size < 24) return BXF_RET_FORMAT;
    BoxRange rest;
    uint32_t version = 0, flags = 0, kid_count = 0;
    uint8_t system_id[16];
    uint32_t ret = read_fields(io, box, &rest, [&](ByteCursor &c) {
        // Every version above 0 carries the key identifiers.
        read_version(c, kAnyVersion, &version, &flags);
        c.copy(system_id, sizeof system_id);
        if (version != 0) kid_count = c.u32();
        return true;
    });
    if (ret != BXF_RET_OK) return ret;
    // The count is trusted only as far as the bytes behind it go.
    if (kid_count > rest.size / 16) return BXF_RET_FORMAT;
    const BoxRange kids{rest.offset, uint64_t(kid_count) * 16};
    uint32_t data_size = 0;
    ret = read_fields(io, BoxRange{kids.offset + kids.size, rest.size - kids.size}, &rest, [&](ByteCursor &c) {
        data_size = c.u32();
        return true;
    });
    if (ret != BXF_RET_OK) return ret;
    const uint64_t kept_size = data_size < rest.size ? data_size : rest.size;

    auto *record = alloc_record<PsshRecord>(io.inst);
    if (!record) return BXF_RET_NOMEM;
    if (kid_count) {
        record->kids = static_cast<uint8_t *>(bxf_alloc(io.inst, BXF_POOL_GENERAL, uint64_t(kid_count) * 16));
        if (!record->kids) {
            bxf_free(io.inst, record);
            return BXF_RET_NOMEM;
        }
        ret = read_exact_at(io, kids.offset, record->kids, kids.size);
        if (ret != BXF_RET_OK) {
            bxf_free(io.inst, record->kids);
            bxf_free(io.inst, record);
            return ret;
        }
    }
    record->box = box_range(box);
    record->body = body_range(box);
    record->version = static_cast<uint8_t>(version);
    mem_copy(io.inst, record->system_id, sizeof record->system_id, system_id, sizeof system_id);
    record->kid_count = kid_count;
    record->data = BoxRange{rest.offset, kept_size};
    *out = record;
    return BXF_RET_OK;
}

}  // namespace bxf
