#include "sample_tables.h"

#include "container_walk.h"
#include "field_reader.h"

namespace bxf {

namespace {

struct StblWalk {
    uint32_t handler_type;
    SampleTableRecord &record;
};

// Reads the fixed fields of a table box (version/flags, then what `fields`
// reads) and records where its entries start and the payload after them.
template <class Fields>
uint32_t record_table(const Io &io, const BoxRecord &box, TableKind kind, uint32_t max_version, StblWalk &w,
                      Fields &&fields) {
    BoxRange rest;
    uint32_t version = 0, flags = 0;
    const uint32_t ret = read_fields(io, box, &rest, [&](ByteCursor &c) {
        const bool known = read_version(c, max_version, &version, &flags);
        fields(c);
        return known;
    });
    if (ret != BXF_RET_OK) return ret;
    TableHeader &t = w.record.tables[kind];
    t.box = box_range(box);
    t.type = box.type;
    t.version = version;
    t.first_entry = rest.offset;
    t.payload_left = rest.size;
    return BXF_RET_OK;
}

uint32_t clamp_count(uint32_t declared, uint64_t payload_left, uint32_t entry_size) {
    const uint64_t held = payload_left / entry_size;
    return declared < held ? declared : uint32_t(held);
}

// stts, ctts, stss, stco, co64: version/flags, entry count, entries.
template <TableKind kKind, uint32_t kEntrySize, uint32_t kMaxVersion = 0>
uint32_t read_counted_table(const Io &io, const BoxRecord &box, StblWalk &w) {
    uint32_t declared = 0;
    const uint32_t ret = record_table(io, box, kKind, kMaxVersion, w, [&](ByteCursor &c) { declared = c.u32(); });
    if (ret != BXF_RET_OK) return ret;
    TableHeader &t = w.record.tables[kKind];
    t.entry_count = clamp_count(declared, t.payload_left, kEntrySize);
    return BXF_RET_OK;
}

// stsc: the first entry's description index is read at once.
uint32_t read_stsc(const Io &io, const BoxRecord &box, StblWalk &w) {
    uint32_t ret = read_counted_table<kStsc, 12>(io, box, w);
    if (ret != BXF_RET_OK) return ret;
    const TableHeader &t = w.record.tables[kStsc];
    if (t.entry_count != 0) {
        // first_chunk, samples_per_chunk, then the description index.
        BoxRange rest;
        uint32_t description_index = 0;
        ret = read_fields(io, BoxRange{t.first_entry, 12}, &rest, [&](ByteCursor &c) {
            c.skip(8);
            description_index = c.u32();
            return true;
        });
        if (ret != BXF_RET_OK) return ret;
        w.record.first_description_index = description_index;
    }
    return BXF_RET_OK;
}

// stsz: a non-zero sample_size means every sample has that size and no
// entries follow.
uint32_t read_stsz(const Io &io, const BoxRecord &box, StblWalk &w) {
    uint32_t sample_size = 0, sample_count = 0;
    const uint32_t ret = record_table(io, box, kSizes, 0, w, [&](ByteCursor &c) {
        sample_size = c.u32();
        sample_count = c.u32();
    });
    if (ret != BXF_RET_OK) return ret;
    TableHeader &t = w.record.tables[kSizes];
    w.record.constant_sample_size = sample_size;
    w.record.field_size = 0;
    w.record.sample_count = sample_size != 0 ? sample_count : clamp_count(sample_count, t.payload_left, 4);
    t.entry_count = sample_size != 0 ? 0 : w.record.sample_count;
    return BXF_RET_OK;
}

// stz2: compact sizes of 4, 8 or 16 bits; 4-bit entries pack two per byte.
uint32_t read_stz2(const Io &io, const BoxRecord &box, StblWalk &w) {
    uint32_t field_size = 0, declared = 0;
    const uint32_t ret = record_table(io, box, kSizes, 0, w, [&](ByteCursor &c) {
        c.skip(3);  // reserved
        field_size = c.u8();
        declared = c.u32();
    });
    if (ret != BXF_RET_OK) return ret;
    if (field_size != 4 && field_size != 8 && field_size != 16) {
        w.record.tables[kSizes] = TableHeader{};
        return BXF_RET_FORMAT;
    }
    TableHeader &t = w.record.tables[kSizes];
    const uint64_t held = field_size == 4 ? t.payload_left * 2 : t.payload_left / (field_size / 8);
    w.record.constant_sample_size = 0;
    w.record.field_size = field_size;
    w.record.sample_count = declared < held ? declared : uint32_t(held);
    t.entry_count = w.record.sample_count;
    return BXF_RET_OK;
}

// stsd: sound entries may be version 1 (QuickTime-style sound descriptions);
// every other handler's are version 0.
uint32_t read_stsd(const Io &io, const BoxRecord &box, StblWalk &w) {
    const uint32_t max_version = w.handler_type == BXF_HDLR_MEDIA_SOUND ? 1 : 0;
    FullBoxHeader h;
    uint32_t ret = read_full_box_header(io, body_range(box), max_version, &h);
    if (ret != BXF_RET_OK) return ret;
    w.record.stsd_version_flags = h.version_flags;
    w.record.stsd_entry_count = h.entry_count;
    w.record.stsd_entries = BoxRange{h.rest_offset, h.rest_size};
    return BXF_RET_OK;
}

// stsz/stz2 and stco/co64 share a slot: the first of either pair wins.
template <TableKind kKind, uint32_t (*kRead)(const Io &, const BoxRecord &, StblWalk &)>
uint32_t first_of_slot(const Io &io, const BoxRecord &box, StblWalk &w) {
    return table_present(w.record, kKind) ? BXF_RET_OK : kRead(io, box, w);
}

const ChildRule<StblWalk> kStbl[] = {
    {BXF_FOURCC('s', 't', 's', 'd'), Occurs::once, read_stsd},
    {BXF_FOURCC('s', 't', 't', 's'), Occurs::once, read_counted_table<kStts, 8>},
    {BXF_FOURCC('c', 't', 't', 's'), Occurs::once, read_counted_table<kCtts, 8, 1>},
    {BXF_FOURCC('s', 't', 's', 'c'), Occurs::once, read_stsc},
    {BXF_FOURCC('s', 't', 's', 'z'), Occurs::once, first_of_slot<kSizes, read_stsz>},
    {BXF_FOURCC('s', 't', 'z', '2'), Occurs::once, first_of_slot<kSizes, read_stz2>},
    {BXF_FOURCC('s', 't', 'c', 'o'), Occurs::once, first_of_slot<kChunkOffsets, read_counted_table<kChunkOffsets, 4>>},
    {BXF_FOURCC('c', 'o', '6', '4'), Occurs::once, first_of_slot<kChunkOffsets, read_counted_table<kChunkOffsets, 8>>},
    {BXF_FOURCC('s', 't', 's', 's'), Occurs::once, read_counted_table<kStss, 4>},
};

// The auxiliary boxes, walked once the tables are recorded: an saio or saiz
// without explicit aux_info_type takes the protection scheme of the first
// stsc entry's description, and stsc and stsd may come after it.
const ChildRule<AuxWalk> kStblAux[] = {
    {BXF_FOURCC('s', 'a', 'i', 'o'), Occurs::repeat, read_saio_child},
    {BXF_FOURCC('s', 'a', 'i', 'z'), Occurs::repeat, read_saiz_child},
    {BXF_FOURCC('s', 'b', 'g', 'p'), Occurs::repeat, read_sbgp_child},
    {BXF_FOURCC('s', 'g', 'p', 'd'), Occurs::repeat, read_sgpd_child},
};

}  // namespace

uint32_t parse_stbl(const Io &io, BoxRange body, uint32_t handler_type, SampleTableRecord &record) {
    record.stbl_body = body;
    StblWalk walk{handler_type, record};
    uint32_t ret = walk_container(io, body, kStbl, walk);
    if (ret != BXF_RET_OK) return ret;
    // The auxiliary boxes are recorded whether or not the tables have
    // samples; writers of empty-moov files leave saio/saiz there whose type
    // would come from a description in force, and with no sample there is none.
    const bool no_samples = record.tables[kStsc].entry_count == 0 || record.sample_count == 0;
    AuxWalk aux{record.aux, ImpliedAuxType{&record.schemes, record.stsd_entries, record.stsd_entry_count, handler_type,
                                           record.first_description_index, no_samples, false}};
    ret = walk_container(io, body, kStblAux, aux);
    if (ret == BXF_RET_OK) keep_only_aux_pair(record.aux);
    return ret;
}

uint32_t stts_end_time(const Io &io, const SampleTableRecord &record, uint64_t *out) {
    const TableHeader &t = record.tables[kStts];
    uint64_t end = 0;
    uint8_t block[4096];  // 512 entries of sample_count and sample_delta
    constexpr uint32_t kPerBlock = sizeof block / 8;
    for (uint32_t i = 0; i < t.entry_count;) {
        const uint32_t n = t.entry_count - i < kPerBlock ? t.entry_count - i : kPerBlock;
        const uint32_t ret = read_exact_at(io, t.first_entry + uint64_t(i) * 8, block, uint64_t(n) * 8);
        if (ret != BXF_RET_OK) return ret;
        for (uint32_t k = 0; k < n; ++k) {
            uint64_t span = 0;
            if (!checked_mul(load_u32_be(block + 8 * k), load_u32_be(block + 8 * k + 4), &span) ||
                !checked_add(end, span, &end))
                return BXF_RET_OVERFLOW;
        }
        i += n;
    }
    *out = end;
    return BXF_RET_OK;
}

void release_sample_tables(LibraryInstance *inst, SampleTableRecord &record) {
    release_aux_boxes(inst, record.aux);
    release_protection_schemes(inst, record.schemes);
}

}  // namespace bxf
