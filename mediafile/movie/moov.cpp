// The `moov` walk: the movie header, the track list (each trak located),
// fragment defaults, protection system headers and the boxes kept by range.
#include "box_reader.h"
#include "byte_cursor.h"
#include "container_walk.h"
#include "movie_parsers.h"

namespace bxf {

namespace {

// Walk state: the record being filled and the last child, so a trailing
// `free` box can be told from one in the middle.
struct MoovWalk {
    MoovRecord &moov;
    bool last_was_free;
    BoxRange free_box;
    BoxRange free_body;
};

// mvhd (ISO/IEC 14496-12 8.2.2): only the time scale is kept.
uint32_t read_mvhd(const Io &io, const BoxRecord &box, MoovWalk &w) {
    if (box.m_body_size < 100) return BXF_RET_FORMAT;
    BodyBuffer body(io.inst);
    uint32_t ret = body.read(io, body_range(box));
    if (ret != BXF_RET_OK) return ret;
    ByteCursor c(body.data(), body.size());
    uint32_t version = 0, flags = 0;
    if (!read_version(c, 1, &version, &flags)) return BXF_RET_FORMAT;
    const bool wide = version == 1;
    c.u32_or_u64(wide);  // creation time
    c.u32_or_u64(wide);  // modification time
    const uint32_t time_scale = c.u32();
    c.u32_or_u64(wide);  // duration
    // rate, volume, reserved, matrix, pre-defined and next track ID
    c.skip(80);
    if (!c.ok()) return BXF_RET_FORMAT;
    w.moov.mvhd_body = body_range(box);
    w.moov.time_scale = time_scale;
    return BXF_RET_OK;
}

uint32_t read_trak(const Io &io, const BoxRecord &box, MoovWalk &w) {
    auto *node = alloc_record<TrackNode>(io.inst);
    if (!node) return BXF_RET_NOMEM;
    uint32_t ret = parse_trak(io, body_range(box), 0, node, nullptr);
    if (ret != BXF_RET_OK) {
        release_vendor_list(io.inst, node->usmt);
        bxf_free(io.inst, node);
        return ret;
    }
    node->trak_box = box_range(box);
    node->trak_body = body_range(box);
    append_node(w.moov.tracks_head, w.moov.tracks_tail, node);
    ++w.moov.track_count;
    return BXF_RET_OK;
}

uint32_t read_mvex(const Io &io, const BoxRecord &box, MoovWalk &w) {
    return parse_mvex(io, body_range(box), w.moov.mvex);
}

uint32_t read_iods(const Io &io, const BoxRecord &box, MoovWalk &w) {
    return keep_version0_box(io, box, w.moov.iods_body, w.moov.iods_descriptor);
}

uint32_t read_meta(const Io &io, const BoxRecord &box, MoovWalk &w) {
    return keep_version0_box(io, box, w.moov.meta_body, w.moov.meta_payload);
}

// ainf: version/flags, then the profile version word.
uint32_t read_ainf(const Io &io, const BoxRecord &box, MoovWalk &w) {
    FullBoxHeader h;
    uint32_t ret = read_full_box_header(io, body_range(box), 0, &h);
    if (ret != BXF_RET_OK) return ret;
    w.moov.ainf_body = body_range(box);
    w.moov.ainf_flags = h.flags();
    w.moov.ainf_profile_version = h.entry_count;
    w.moov.ainf_payload = BoxRange{h.rest_offset, h.rest_size};
    return BXF_RET_OK;
}

uint32_t read_pssh(const Io &io, const BoxRecord &box, MoovWalk &w) {
    PsshRecord *record = nullptr;
    uint32_t ret = parse_pssh(io, box, &record);
    if (ret != BXF_RET_OK) return ret;
    append_node(w.moov.pssh_head, w.moov.pssh_tail, record);
    ++w.moov.pssh_count;
    return BXF_RET_OK;
}

// The USMT vendor box: a list of entries after its extended type.
uint32_t read_usmt(const Io &io, const BoxRecord &box, MoovWalk &w) {
    w.moov.usmt.box = box_range(box);
    w.moov.usmt.payload = uuid_payload(box);
    return parse_vendor_list(io, w.moov.usmt.payload, 0xFFFFFFFFu, w.moov.usmt);
}

uint32_t read_free(const Io &, const BoxRecord &box, MoovWalk &w) {
    w.free_box = box_range(box);
    w.free_body = body_range(box);
    return BXF_RET_OK;
}

const ChildRule<MoovWalk> kMoov[] = {
    {BXF_FOURCC('m', 'v', 'h', 'd'), Occurs::once, read_mvhd},
    {BXF_FOURCC('t', 'r', 'a', 'k'), Occurs::repeat, read_trak},
    {BXF_FOURCC('m', 'v', 'e', 'x'), Occurs::once, read_mvex},
    {BXF_FOURCC('i', 'o', 'd', 's'), Occurs::once, read_iods},
    {BXF_FOURCC('m', 'e', 't', 'a'), Occurs::once, read_meta},
    {BXF_FOURCC('a', 'i', 'n', 'f'), Occurs::once, read_ainf},
    {BXF_FOURCC('p', 's', 's', 'h'), Occurs::repeat, read_pssh},
    uuid_rule(vendor_uuid(BXF_FOURCC('U', 'S', 'M', 'T')), read_usmt),
    {BXF_FOURCC('f', 'r', 'e', 'e'), Occurs::repeat, read_free},
};

bool note_last_child(const Io &, const BoxRecord &child, MoovWalk &w) {
    w.last_was_free = child.type == BXF_FOURCC('f', 'r', 'e', 'e');
    return true;
}

}  // namespace

uint32_t parse_moov(const Io &io, BoxRange body, MoovRecord &moov) {
    MoovWalk walk{moov, false, {}, {}};
    uint32_t ret = walk_container(io, body, kMoov, walk, note_last_child);
    if (ret != BXF_RET_OK) return ret;
    if (walk.last_was_free) {
        moov.trailing_free_box = walk.free_box;
        moov.trailing_free_body = walk.free_body;
    }
    return BXF_RET_OK;
}

void release_moov(LibraryInstance *inst, MoovRecord &moov) {
    for (TrackNode *t = moov.tracks_head; t; t = t->next) release_vendor_list(inst, t->usmt);
    free_list(inst, moov.tracks_head);
    release_vendor_list(inst, moov.usmt);
    for (PsshRecord *p = moov.pssh_head; p; p = p->next) bxf_free(inst, p->kids);
    free_list(inst, moov.pssh_head);
    free_list(inst, moov.mvex.trex_head);
    moov.tracks_head = moov.tracks_tail = nullptr;
    moov.pssh_head = moov.pssh_tail = nullptr;
    moov.mvex.trex_head = moov.mvex.trex_tail = nullptr;
}

}  // namespace bxf
