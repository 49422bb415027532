// sinf / rinf (ISO/IEC 14496-12 8.12, 8.15): the original format, the scheme
// and the scheme's own information (ISO/IEC 23001-7 tenc for protection,
// stvi for stereo video).
#include "sample_entry_parsers.h"

namespace bxf {

namespace {

// Version/flags of a full box whose only version is 0.
bool read_version0(ByteCursor &c, uint32_t *flags = nullptr) {
    uint32_t version = 0, read_flags = 0;
    const bool known = read_version(c, 0, &version, &read_flags);
    if (flags) *flags = read_flags;
    return known;
}

uint32_t read_frma(const BufferIo &io, const BoxRecord &box, SchemeInfo &info) {
    ByteCursor c = io.body(box);
    info.data_format = c.u32();
    if (!c.ok()) return BXF_RET_FORMAT;
    info.has_frma = 1;
    return BXF_RET_OK;
}

uint32_t read_schm(const BufferIo &io, const BoxRecord &box, SchemeInfo &info) {
    ByteCursor c = io.body(box);
    uint32_t flags = 0;
    const bool version0 = read_version0(c, &flags);
    const uint32_t scheme_type = c.u32();
    const uint32_t scheme_version = c.u32();
    if (!version0 || !c.ok()) return BXF_RET_FORMAT;
    // The URI is there only when flags bit 0 says so; an empty one still
    // keeps its terminator.
    if ((flags & 1) && c.remaining() > 0) {
        const uint32_t ret = copy_string(io.inst, c, &info.scheme_uri);
        if (ret != BXF_RET_OK) return ret;
    }
    info.has_schm = 1;
    info.schm_flags = flags;
    info.scheme_type = scheme_type;
    info.scheme_version = scheme_version;
    return BXF_RET_OK;
}

// tenc (ISO/IEC 23001-7 8.2): version 1 stores the pattern of encrypted and
// skipped 16-byte blocks (cbcs, cens) where version 0 has a reserved byte; a
// protected default without a per-sample IV carries a constant IV.
uint32_t read_tenc(const BufferIo &io, const BoxRecord &box, SchemeInfo &info) {
    ByteCursor c = io.body(box);
    uint32_t version = 0, flags = 0;
    const bool known = read_version(c, 1, &version, &flags);
    const uint32_t is_encrypted = c.u24();
    const uint8_t iv_size = c.u8();
    uint8_t kid[16] = {};
    c.copy(kid, sizeof kid);
    if (!known || !c.ok()) return BXF_RET_FORMAT;
    const uint8_t is_protected = uint8_t(is_encrypted);
    uint8_t constant_iv_size = 0, constant_iv[16] = {};
    if (is_protected == 1 && iv_size == 0) {
        // Kept only when whole and of a size the scheme allows; the rest of
        // the description stands without it.
        const uint8_t size = c.u8();
        if ((size == 8 || size == 16) && c.remaining() >= size) {
            constant_iv_size = size;
            c.copy(constant_iv, size);
        }
    }
    info.has_tenc = 1;
    info.tenc_version = uint8_t(version);
    info.default_is_encrypted = version == 0 ? is_encrypted : is_protected;
    if (version == 1) {
        const uint8_t pattern = uint8_t(is_encrypted >> 8);
        info.default_crypt_byte_block = pattern >> 4;
        info.default_skip_byte_block = pattern & 0x0F;
    }
    info.default_iv_size = iv_size;
    mem_copy(io.inst, info.default_kid, sizeof info.default_kid, kid, sizeof kid);
    info.default_constant_iv_size = constant_iv_size;
    mem_copy(io.inst, info.default_constant_iv, sizeof info.default_constant_iv, constant_iv, sizeof constant_iv);
    return BXF_RET_OK;
}

// stvi: 30 reserved bits and single_view_allowed, the stereo scheme, then a
// length and that many bytes of stereo indication type.
uint32_t read_stvi(const BufferIo &io, const BoxRecord &box, SchemeInfo &info) {
    ByteCursor c = io.body(box);
    const bool version0 = read_version0(c);
    const uint8_t single_view_allowed = c.u32() & 0x03;
    const uint32_t stereo_scheme = c.u32();
    const uint32_t length = c.u32();
    if (!version0 || !c.ok()) return BXF_RET_FORMAT;
    const uint32_t ret = copy_blob(io.inst, c, length, &info.stereo_indication_type);
    if (ret != BXF_RET_OK) return ret;
    info.has_stvi = 1;
    info.single_view_allowed = single_view_allowed;
    info.stereo_scheme = stereo_scheme;
    return BXF_RET_OK;
}

const BufferRule<SchemeInfo> kProtectionSchi[] = {{BXF_FOURCC('t', 'e', 'n', 'c'), Occurs::once, read_tenc}};
const BufferRule<SchemeInfo> kRestrictedSchi[] = {{BXF_FOURCC('s', 't', 'v', 'i'), Occurs::once, read_stvi}};

uint32_t read_schi(const BufferIo &io, const BoxRecord &box, SchemeInfo &info) {
    if (info.kind == BXF_SCHEME_INFO_PROTECTION) return walk_buffer(io, body_range(box), kProtectionSchi, info);
    return walk_buffer(io, body_range(box), kRestrictedSchi, info);
}

const BufferRule<SchemeInfo> kSchemeChildren[] = {
    {BXF_FOURCC('f', 'r', 'm', 'a'), Occurs::once, read_frma},
    {BXF_FOURCC('s', 'c', 'h', 'm'), Occurs::once, read_schm},
    {BXF_FOURCC('s', 'c', 'h', 'i'), Occurs::once, read_schi},
};

}  // namespace

uint32_t parse_scheme_info(const BufferIo &io, const BoxRecord &container, uint32_t kind, SchemeInfo &out) {
    out.kind = kind;
    return walk_buffer(io, body_range(container), kSchemeChildren, out);
}

void release_scheme_info(LibraryInstance *inst, SchemeInfo &info) {
    release_blob(inst, info.scheme_uri);
    release_blob(inst, info.stereo_indication_type);
}

}  // namespace bxf
