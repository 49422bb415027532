#include "aux_boxes.h"

#include "field_reader.h"
#include "sample_entries.h"

namespace bxf {

namespace {

// A box of version 0 whose fixed fields are its version/flags.
uint32_t read_version0(const Io &io, const BoxRecord &box, uint32_t *out_flags, BoxRange *rest) {
    uint32_t version = 0, flags = 0;
    const uint32_t ret =
        read_fields(io, box, rest, [&](ByteCursor &c) { return read_version(c, 0, &version, &flags); });
    if (ret == BXF_RET_OK) *out_flags = flags;
    return ret;
}

template <class Record>
void mark_box(Record &r, const BoxRecord &box) {
    r.box_offset = box.m_box_offset;
    r.box_end = box.m_box_offset + box.m_box_size;
}

// saio and saiz: with flags bit 0, aux_info_type and its parameter.
template <class Record>
void read_aux_type(ByteCursor &c, Record &r) {
    if (!(r.flags & kAuxTypePresent)) return;
    r.aux_info_type = c.u32();
    r.aux_info_type_parameter = c.u32();
}

uint32_t clamp_u32(uint64_t held, uint32_t declared) { return held < declared ? uint32_t(held) : declared; }

// ---- sgpd entries -------------------------------------------------------

constexpr uint32_t kSeig = BXF_FOURCC('s', 'e', 'i', 'g');
constexpr uint32_t kTele = BXF_FOURCC('t', 'e', 'l', 'e');
constexpr uint32_t kSeigVersion0Length = 20;

// A CencSampleEncryptionInformationGroupEntry; false when the entry is too
// short for its fields.
bool read_seig(ByteCursor &c, SeigEntry *out) {
    SeigEntry e{};
    c.skip(1);  // reserved
    const uint8_t blocks = c.u8();
    e.crypt_byte_block = blocks >> 4;
    e.skip_byte_block = blocks & 0x0F;
    e.is_protected = c.u8();
    e.per_sample_iv_size = c.u8();
    c.copy(e.kid, sizeof e.kid);
    if (!c.ok()) return false;
    if (e.is_protected == 1 && e.per_sample_iv_size == 0 && c.remaining() > 0) {
        e.constant_iv_size = c.u8();
        if (e.constant_iv_size > sizeof e.constant_iv) return false;
        c.copy(e.constant_iv, e.constant_iv_size);
    }
    *out = e;
    return c.ok();
}

// A TemporalLevelEntry: level_independently_decodable in the top bit.
bool read_tele(ByteCursor &c, uint8_t *out) {
    const uint8_t b = c.u8();
    *out = b >> 7;
    return c.ok();
}

// Calls visit(entry cursor, n) for entries 0, 1, ... of the entries area,
// each default_length bytes (version 1), preceded by its own length
// (version 1 with default_length 0) or of its type's fixed size
// (version 0). Stops at `declared` entries, at the end of the area, or at
// an entry too short for its fields; returns the number read.
template <class Visit>
uint32_t walk_group_entries(const uint8_t *data, uint64_t size, const SgpdRecord &r, uint32_t declared, Visit &&visit) {
    const bool own_lengths = r.version == 1 && r.default_length == 0;
    const uint64_t fixed = r.version == 1 ? r.default_length : r.grouping_type == kSeig ? kSeigVersion0Length : 1;
    ByteCursor c(data, size);
    uint32_t n = 0;
    for (; n < declared; ++n) {
        const uint64_t length = own_lengths ? c.u32() : fixed;
        if (!c.ok() || length > c.remaining()) break;
        ByteCursor entry(c.current(), length);
        if (!visit(entry, n)) break;
        c.skip(length);
    }
    return n;
}

// Reads the seig or tele entries into an array of the entries found.
uint32_t read_group_entries(const Io &io, SgpdRecord &r, uint32_t declared, uint64_t area_size) {
    r.entry_count = 0;
    if (area_size == 0 || declared == 0) return BXF_RET_OK;
    BodyBuffer area(io.inst);
    uint32_t ret = area.read(io, BoxRange{r.first_entry, area_size});
    if (ret != BXF_RET_OK) return ret;
    const bool seig = r.grouping_type == kSeig;
    // First count the whole entries, so the array is sized by the bytes.
    const uint32_t count = walk_group_entries(area.data(), area.size(), r, declared, [&](ByteCursor &c, uint32_t) {
        SeigEntry s;
        uint8_t t;
        return seig ? read_seig(c, &s) : read_tele(c, &t);
    });
    if (count == 0) return BXF_RET_OK;
    const uint64_t bytes = uint64_t(count) * (seig ? sizeof(SeigEntry) : 1);
    void *entries = bxf_alloc(io.inst, BXF_POOL_GENERAL, bytes);
    if (!entries) return BXF_RET_NOMEM;
    if (seig)
        r.seig = static_cast<SeigEntry *>(entries);
    else
        r.tele = static_cast<uint8_t *>(entries);
    walk_group_entries(area.data(), area.size(), r, count, [&](ByteCursor &c, uint32_t n) {
        return seig ? read_seig(c, &r.seig[n]) : read_tele(c, &r.tele[n]);
    });
    r.entry_count = count;
    return BXF_RET_OK;
}

// ---- protection scheme list ---------------------------------------------

// Kinds whose entries carry sinf boxes whose scheme names the protection.
bool takes_sinf_scheme(uint32_t kind) {
    return kind == BXF_FORMAT_TYPE_MP4V || kind == BXF_FORMAT_TYPE_AVC1 || kind == BXF_FORMAT_TYPE_MP4A ||
           kind == BXF_FORMAT_TYPE_META || kind == BXF_FORMAT_TYPE_SUBTITLE;
}

uint32_t scheme_of(const SampleEntry &e) {
    const SinfRecord *first = e.sinf_head;
    if (takes_sinf_scheme(e.kind) && first && first->scheme.has_schm) return first->scheme.scheme_type;
    return e.entry_type;
}

// Parses the sample descriptions, keeps one type per entry and releases
// them again. Any failure leaves the track without a list.
void build_schemes(const Io &io, const ImpliedAuxType &from, ProtectionSchemes &s) {
    SampleDescriptions d{};
    uint32_t ret = BXF_RET_OK;
    if (range_present(from.stsd_entries))
        ret = parse_sample_descriptions(io, from.stsd_entries, from.handler_type, from.stsd_entry_count, &d);
    if (ret == BXF_RET_OK && d.entry_count != 0) {
        s.types = static_cast<uint32_t *>(bxf_alloc(io.inst, BXF_POOL_GENERAL, uint64_t(d.entry_count) * 4));
        if (!s.types) ret = BXF_RET_NOMEM;
        for (const SampleEntry *e = d.head; s.types && e; e = e->next) s.types[s.count++] = scheme_of(*e);
    }
    release_sample_entries(io.inst, &d);
    s.state = ret == BXF_RET_OK ? kSchemesBuilt : kSchemesFailed;
}

// ---- saio / saiz pairing -------------------------------------------------

// A box without flags bit 0 takes the implied type with parameter 0 and is
// from then on treated as having the bit set.
template <class Record>
uint32_t settle_type(const Io &io, ImpliedAuxType &implied, Record &r) {
    if (r.flags & kAuxTypePresent) return BXF_RET_OK;
    const uint32_t ret = implied_aux_type(io, implied, &r.aux_info_type);
    if (ret != BXF_RET_OK) return ret;
    r.aux_info_type_parameter = 0;
    r.flags |= kAuxTypePresent;
    return BXF_RET_OK;
}

template <class A, class B>
bool same_type(const A &a, const B &b) {
    return (a.flags & kAuxTypePresent) == (b.flags & kAuxTypePresent) && a.aux_info_type == b.aux_info_type &&
           a.aux_info_type_parameter == b.aux_info_type_parameter;
}

template <class Mine, class Other>
uint32_t read_paired(const Io &io, const BoxRecord &box, AuxWalk &w,
                     uint32_t (*parse)(const Io &, const BoxRecord &, Mine *), Mine &kept, const Other &other) {
    if (kept.box_offset != 0) return BXF_RET_OK;  // the first kept box of a kind wins
    Mine r;
    uint32_t ret = parse(io, box, &r);
    if (ret == BXF_RET_OK && !(r.flags & kAuxTypePresent) && w.implied.no_description_in_force)
        return BXF_RET_OK;  // dropped: its type would come from a description that no sample uses
    if (ret == BXF_RET_OK) {
        ret = settle_type(io, w.implied, r);
        if (ret == BXF_RET_FORMAT && w.implied.drop_when_unknown) return BXF_RET_OK;
    }
    if (ret != BXF_RET_OK) return ret;
    if (other.box_offset != 0 && !same_type(r, other)) return BXF_RET_OK;  // dropped; a later box may pair
    kept = r;
    return BXF_RET_OK;
}

template <class T>
void append_record(T *record, T *&head, T *&tail, uint32_t &count) {
    append_node(head, tail, record);
    ++count;
}

}  // namespace

// saio (ISO/IEC 14496-12 8.7.9).
uint32_t parse_saio(const Io &io, const BoxRecord &box, SaioRecord *out) {
    SaioRecord r{};
    uint32_t declared = 0;
    BoxRange rest;
    const uint32_t ret = read_fields(io, box, &rest, [&](ByteCursor &c) {
        const bool known = read_version(c, 1, &r.version, &r.flags);
        read_aux_type(c, r);
        declared = c.u32();
        return known;
    });
    if (ret != BXF_RET_OK) return ret;
    mark_box(r, box);
    r.first_entry = rest.offset;
    r.entry_count = clamp_u32(rest.size / (r.version == 1 ? 8 : 4), declared);
    *out = r;
    return BXF_RET_OK;
}

// saiz (ISO/IEC 14496-12 8.7.8).
uint32_t parse_saiz(const Io &io, const BoxRecord &box, SaizRecord *out) {
    SaizRecord r{};
    uint32_t declared = 0, version = 0;
    BoxRange rest;
    const uint32_t ret = read_fields(io, box, &rest, [&](ByteCursor &c) {
        const bool known = read_version(c, 0, &version, &r.flags);
        read_aux_type(c, r);
        r.default_sample_info_size = c.u8();
        declared = c.u32();
        return known;
    });
    if (ret != BXF_RET_OK) return ret;
    mark_box(r, box);
    r.first_size = rest.offset;
    r.sample_count = r.default_sample_info_size != 0 ? declared : clamp_u32(rest.size, declared);
    *out = r;
    return BXF_RET_OK;
}

// senc (ISO/IEC 23001-7 7.2): only the version/flags word; flags bit 1 says
// whether subsample information follows each IV.
uint32_t parse_senc(const Io &io, const BoxRecord &box, uint32_t *out_version_flags) {
    BoxRange rest;
    return read_version0(io, box, out_version_flags, &rest);
}

// trik: version/flags, then one byte per sample.
uint32_t parse_trik(const Io &io, const BoxRecord &box, TrikRecord *out) {
    uint32_t flags = 0;
    BoxRange rest;
    const uint32_t ret = read_version0(io, box, &flags, &rest);
    if (ret != BXF_RET_OK) return ret;
    TrikRecord r{};
    mark_box(r, box);
    r.first_entry = rest.offset;
    r.entry_count = clamp_u32(rest.size, UINT32_MAX);
    *out = r;
    return BXF_RET_OK;
}

// sbgp (ISO/IEC 14496-12 8.9.2).
uint32_t parse_sbgp(const Io &io, const BoxRecord &box, SbgpRecord **out) {
    SbgpRecord r{};
    uint32_t declared = 0;
    BoxRange rest;
    const uint32_t ret = read_fields(io, box, &rest, [&](ByteCursor &c) {
        const bool known = read_version(c, 1, &r.version, &r.flags);
        r.grouping_type = c.u32();
        if (r.version == 1) r.grouping_type_parameter = c.u32();
        declared = c.u32();
        return known;
    });
    if (ret != BXF_RET_OK) return ret;
    mark_box(r, box);
    r.first_entry = rest.offset;
    r.entry_count = clamp_u32(rest.size / 8, declared);
    auto *record = alloc_record<SbgpRecord>(io.inst);
    if (!record) return BXF_RET_NOMEM;
    *record = r;
    *out = record;
    return BXF_RET_OK;
}

// sgpd (ISO/IEC 14496-12 8.9.3).
uint32_t parse_sgpd(const Io &io, const BoxRecord &box, SgpdRecord **out) {
    SgpdRecord r{};
    uint32_t declared = 0;
    BoxRange rest;
    uint32_t ret = read_fields(io, box, &rest, [&](ByteCursor &c) {
        const bool known = read_version(c, 1, &r.version, &r.flags);
        r.grouping_type = c.u32();
        if (r.version == 1) r.default_length = c.u32();
        declared = c.u32();
        return known;
    });
    if (ret != BXF_RET_OK) return ret;
    mark_box(r, box);
    r.first_entry = rest.offset;
    auto *record = alloc_record<SgpdRecord>(io.inst);
    if (!record) return BXF_RET_NOMEM;
    *record = r;
    if (r.grouping_type == kSeig || r.grouping_type == kTele) {
        ret = read_group_entries(io, *record, declared, rest.size);
        if (ret != BXF_RET_OK) {
            release_sgpd(io.inst, record);
            return ret;
        }
    } else {
        // Not read: the count is only clamped to what the bytes could hold.
        const uint64_t smallest = r.version == 0 ? 1 : r.default_length != 0 ? r.default_length : 4;
        record->entry_count = clamp_u32(rest.size / smallest, declared);
    }
    *out = record;
    return BXF_RET_OK;
}

void release_sgpd(LibraryInstance *inst, SgpdRecord *sgpd) {
    if (!sgpd) return;
    bxf_free(inst, sgpd->seig);
    bxf_free(inst, sgpd->tele);
    bxf_free(inst, sgpd);
}

uint32_t implied_aux_type(const Io &io, ImpliedAuxType &from, uint32_t *out_type) {
    if (!from.schemes) return BXF_RET_FORMAT;
    ProtectionSchemes &s = *from.schemes;
    if (s.state == kSchemesNotBuilt) build_schemes(io, from, s);
    if (from.description_index == 0 || from.description_index > s.count) return BXF_RET_FORMAT;
    *out_type = s.types[from.description_index - 1];
    return BXF_RET_OK;
}

void release_protection_schemes(LibraryInstance *inst, ProtectionSchemes &schemes) {
    bxf_free(inst, schemes.types);
    schemes = ProtectionSchemes{};
}

uint32_t read_saio_child(const Io &io, const BoxRecord &box, AuxWalk &w) {
    return read_paired(io, box, w, parse_saio, w.boxes.saio, w.boxes.saiz);
}

uint32_t read_saiz_child(const Io &io, const BoxRecord &box, AuxWalk &w) {
    return read_paired(io, box, w, parse_saiz, w.boxes.saiz, w.boxes.saio);
}

uint32_t read_sbgp_child(const Io &io, const BoxRecord &box, AuxWalk &w) {
    SbgpRecord *r = nullptr;
    const uint32_t ret = parse_sbgp(io, box, &r);
    if (ret == BXF_RET_OK) append_record(r, w.boxes.sbgp_head, w.boxes.sbgp_tail, w.boxes.sbgp_count);
    return ret;
}

uint32_t read_sgpd_child(const Io &io, const BoxRecord &box, AuxWalk &w) {
    SgpdRecord *r = nullptr;
    const uint32_t ret = parse_sgpd(io, box, &r);
    if (ret == BXF_RET_OK) append_record(r, w.boxes.sgpd_head, w.boxes.sgpd_tail, w.boxes.sgpd_count);
    return ret;
}

uint32_t read_senc_child(const Io &io, const BoxRecord &box, AuxWalk &w) {
    if (w.boxes.has_senc) return BXF_RET_OK;
    const uint32_t ret = parse_senc(io, box, &w.boxes.senc_version_flags);
    if (ret == BXF_RET_OK) w.boxes.has_senc = 1;
    return ret;
}

uint32_t read_trik_child(const Io &io, const BoxRecord &box, AuxWalk &w) {
    if (w.boxes.trik.box_offset != 0) return BXF_RET_OK;
    return parse_trik(io, box, &w.boxes.trik);
}

uint32_t read_subs_child(const Io &, const BoxRecord &box, AuxWalk &w) {
    if (!range_present(w.boxes.subs_body)) w.boxes.subs_body = body_range(box);
    return BXF_RET_OK;
}

uint32_t read_avcn_child(const Io &, const BoxRecord &box, AuxWalk &w) {
    if (!range_present(w.boxes.avcn_body)) w.boxes.avcn_body = body_range(box);
    return BXF_RET_OK;
}

void keep_only_aux_pair(AuxBoxes &boxes) {
    if (aux_pair_kept(boxes)) return;
    boxes.saio = SaioRecord{};
    boxes.saiz = SaizRecord{};
}

void release_aux_boxes(LibraryInstance *inst, AuxBoxes &boxes) {
    free_list(inst, boxes.sbgp_head);
    for (SgpdRecord *s = boxes.sgpd_head; s;) {
        SgpdRecord *next = s->next;
        release_sgpd(inst, s);
        s = next;
    }
    boxes = AuxBoxes{};
}

}  // namespace bxf
