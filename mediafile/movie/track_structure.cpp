// trak and its containers (ISO/IEC 14496-12 8.3 to 8.7), walked in two modes:
// locate mode at movie open keeps what enumerating and choosing tracks needs
// (tkhd, mdhd, hdlr, a USMT list); full mode at track open keeps what
// playback needs (tref, elst, the media header, dref, stbl, senc).
#include "container_walk.h"
#include "field_reader.h"
#include "movie_parsers.h"
#include "play_handle.h"

namespace bxf {

namespace {

struct TrakWalk {
    uint32_t handler_type;
    TrackNode *node;     // locate mode
    OpenedTrack *track;  // full mode
};

bool locating(const TrakWalk &w) { return w.node != nullptr; }

// hdlr: pre-defined, handler type, 12 reserved bytes, then the name.
uint32_t read_hdlr(const Io &io, const BoxRecord &box, TrakWalk &w) {
    if (!locating(w)) return BXF_RET_OK;
    BoxRange name;
    uint32_t version = 0, flags = 0, handler_type = 0;
    const uint32_t ret = read_fields(io, box, &name, [&](ByteCursor &c) {
        const bool known = read_version(c, 0, &version, &flags);
        c.skip(4);  // pre_defined
        handler_type = c.u32();
        c.skip(12);  // reserved
        return known;
    });
    if (ret != BXF_RET_OK) return ret;
    w.node->hdlr_body = body_range(box);
    w.node->handler_type = handler_type;
    w.node->handler_name = name;
    return BXF_RET_OK;
}

uint32_t read_mdhd(const Io &io, const BoxRecord &box, TrakWalk &w) {
    if (!locating(w)) return BXF_RET_OK;
    MediaHeaderInfo info;
    uint32_t version_flags = 0;
    uint32_t ret = parse_mdhd(io, body_range(box), &info, &version_flags);
    if (ret != BXF_RET_OK) return ret;
    w.node->mdhd_body = body_range(box);
    w.node->media_time_scale = info.time_scale;
    w.node->media_duration = info.duration;
    return BXF_RET_OK;
}

// The first of the media headers is the track's (they share one slot); only
// the two that carry nothing but version/flags have those checked.
uint32_t read_media_header(const Io &io, const BoxRecord &box, TrakWalk &w) {
    OpenedTrack &t = *w.track;
    if (box.type == BXF_FOURCC('n', 'm', 'h', 'd') || box.type == BXF_FOURCC('s', 't', 'h', 'd')) {
        uint32_t vf = 0;
        BoxRange rest;
        uint32_t ret = read_version_flags(io, body_range(box), 0, &vf, &rest);
        if (ret != BXF_RET_OK) return ret;
    }
    t.media_header_type = box.type;
    t.media_header_body = body_range(box);
    return BXF_RET_OK;
}

// A full box whose version/flags are followed by its entry count, kept by
// its count and the range of its entries (dref, elst).
uint32_t read_entry_list(const Io &io, const BoxRecord &box, uint32_t max_version, uint32_t *version_flags,
                         uint32_t *entry_count, BoxRange *entries) {
    FullBoxHeader h;
    const uint32_t ret = read_full_box_header(io, body_range(box), max_version, &h);
    if (ret != BXF_RET_OK) return ret;
    if (version_flags) *version_flags = h.version_flags;
    *entry_count = h.entry_count;
    *entries = BoxRange{h.rest_offset, h.rest_size};
    return BXF_RET_OK;
}

uint32_t read_dref(const Io &io, const BoxRecord &box, TrakWalk &w) {
    return read_entry_list(io, box, 0, nullptr, &w.track->dref_entry_count, &w.track->dref_entries);
}

const ChildRule<TrakWalk> kDinf[] = {
    {BXF_FOURCC('d', 'r', 'e', 'f'), Occurs::once, read_dref},
};

uint32_t read_dinf(const Io &io, const BoxRecord &box, TrakWalk &w) {
    return walk_container(io, body_range(box), kDinf, w);
}

uint32_t read_stbl(const Io &io, const BoxRecord &box, TrakWalk &w) {
    return parse_stbl(io, body_range(box), w.handler_type, w.track->tables);
}

// vmhd, smhd, hmhd, nmhd and sthd: one media header per track.
constexpr uint8_t kMediaHeaderSlot = 1;

const ChildRule<TrakWalk> kMinf[] = {
    {BXF_FOURCC('s', 't', 'b', 'l'), Occurs::once, read_stbl},
    {BXF_FOURCC('d', 'i', 'n', 'f'), Occurs::once, read_dinf},
    {BXF_FOURCC('v', 'm', 'h', 'd'), Occurs::once, read_media_header, kMediaHeaderSlot},
    {BXF_FOURCC('s', 'm', 'h', 'd'), Occurs::once, read_media_header, kMediaHeaderSlot},
    {BXF_FOURCC('h', 'm', 'h', 'd'), Occurs::once, read_media_header, kMediaHeaderSlot},
    {BXF_FOURCC('n', 'm', 'h', 'd'), Occurs::once, read_media_header, kMediaHeaderSlot},
    {BXF_FOURCC('s', 't', 'h', 'd'), Occurs::once, read_media_header, kMediaHeaderSlot},
};

uint32_t read_minf(const Io &io, const BoxRecord &box, TrakWalk &w) {
    if (locating(w)) return BXF_RET_OK;
    return walk_container(io, body_range(box), kMinf, w);
}

const ChildRule<TrakWalk> kMdia[] = {
    {BXF_FOURCC('h', 'd', 'l', 'r'), Occurs::once, read_hdlr},
    {BXF_FOURCC('m', 'd', 'h', 'd'), Occurs::once, read_mdhd},
    {BXF_FOURCC('m', 'i', 'n', 'f'), Occurs::once, read_minf},
};

uint32_t read_mdia(const Io &io, const BoxRecord &box, TrakWalk &w) {
    return walk_container(io, body_range(box), kMdia, w);
}

uint32_t read_tkhd(const Io &io, const BoxRecord &box, TrakWalk &w) {
    if (!locating(w)) return BXF_RET_OK;
    TrackHeaderInfo info;
    uint32_t ret = parse_tkhd(io, body_range(box), &info);
    if (ret != BXF_RET_OK) return ret;
    w.node->tkhd_body = body_range(box);
    w.node->track_id = info.track_id;
    return BXF_RET_OK;
}

uint32_t read_tref(const Io &, const BoxRecord &box, TrakWalk &w) {
    if (!locating(w)) w.track->tref_body = body_range(box);
    return BXF_RET_OK;
}

uint32_t read_elst(const Io &io, const BoxRecord &box, TrakWalk &w) {
    OpenedTrack &t = *w.track;
    return read_entry_list(io, box, 1, &t.elst_version_flags, &t.elst_entry_count, &t.elst_entries);
}

const ChildRule<TrakWalk> kEdts[] = {
    {BXF_FOURCC('e', 'l', 's', 't'), Occurs::once, read_elst},
};

uint32_t read_edts(const Io &io, const BoxRecord &box, TrakWalk &w) {
    if (locating(w)) return BXF_RET_OK;
    return walk_container(io, body_range(box), kEdts, w);
}

// A track's USMT list, read while the track is located.
uint32_t read_usmt(const Io &io, const BoxRecord &box, TrakWalk &w) {
    if (!locating(w)) return BXF_RET_OK;
    w.node->usmt.payload = uuid_payload(box);
    return parse_vendor_list(io, w.node->usmt.payload, 0xFFFFFFFFu, w.node->usmt);
}

// senc (ISO/IEC 23001-7 7.2): its version/flags say whether subsample
// information follows each IV.
uint32_t read_senc(const Io &io, const BoxRecord &box, TrakWalk &w) {
    if (locating(w)) return BXF_RET_OK;
    uint32_t vf = 0;
    BoxRange rest;
    uint32_t ret = read_version_flags(io, body_range(box), 0, &vf, &rest);
    if (ret != BXF_RET_OK) return ret;
    auto *senc = alloc_record<SencState>(io.inst);
    if (!senc) return BXF_RET_NOMEM;
    senc->version_flags = vf;
    senc->body = body_range(box);
    w.track->senc = senc;
    return BXF_RET_OK;
}

const ChildRule<TrakWalk> kTrak[] = {
    {BXF_FOURCC('t', 'k', 'h', 'd'), Occurs::once, read_tkhd},
    {BXF_FOURCC('t', 'r', 'e', 'f'), Occurs::once, read_tref},
    {BXF_FOURCC('e', 'd', 't', 's'), Occurs::once, read_edts},
    {BXF_FOURCC('m', 'd', 'i', 'a'), Occurs::once, read_mdia},
    uuid_rule(vendor_uuid(BXF_FOURCC('U', 'S', 'M', 'T')), read_usmt),
    {BXF_FOURCC('s', 'e', 'n', 'c'), Occurs::once, read_senc},
};

}  // namespace

uint32_t parse_trak(const Io &io, BoxRange body, uint32_t handler_type, TrackNode *node, OpenedTrack *track) {
    if ((node == nullptr) == (track == nullptr)) return BXF_RET_INTERNAL;
    TrakWalk walk{handler_type, node, track};
    return walk_container(io, body, kTrak, walk);
}

// tkhd (8.3.2): version 0 has 32-bit times and duration, version 1 64-bit.
uint32_t parse_tkhd(const Io &io, BoxRange range, TrackHeaderInfo *out) {
    if (range.size < 84) return BXF_RET_FORMAT;
    TrackHeaderInfo info{};
    uint32_t width = 0, height = 0;
    BoxRange rest;
    const uint32_t ret = read_fields(io, range, &rest, [&](ByteCursor &c) {
        uint32_t version = 0;
        if (!read_version(c, 1, &version, &info.flags)) return false;
        const bool wide = version == 1;
        info.creation_time = c.u32_or_u64(wide);
        info.modification_time = c.u32_or_u64(wide);
        info.track_id = c.u32();
        c.skip(4);
        info.duration = c.u32_or_u64(wide);
        c.skip(8);
        info.layer = c.u16();
        info.alternate_group = c.u16();
        info.volume_integer = c.u8();
        info.volume_fraction = c.u8();
        c.skip(2);
        for (uint32_t &m : info.matrix) m = c.u32();
        width = c.u32();
        height = c.u32();
        return true;
    });
    if (ret != BXF_RET_OK) return ret;
    info.width_integer = uint16_t(width >> 16);
    info.width_fraction = uint16_t(width);
    info.height_integer = uint16_t(height >> 16);
    info.height_fraction = uint16_t(height);
    *out = info;
    return BXF_RET_OK;
}

// mdhd (8.4.2): the language is a pad bit and three 5-bit letters.
uint32_t parse_mdhd(const Io &io, BoxRange range, MediaHeaderInfo *out, uint32_t *out_version_flags) {
    if (range.size < 24) return BXF_RET_FORMAT;
    MediaHeaderInfo info{};
    uint32_t version = 0, flags = 0;
    BoxRange rest;
    const uint32_t ret = read_fields(io, range, &rest, [&](ByteCursor &c) {
        if (!read_version(c, 1, &version, &flags)) return false;
        const bool wide = version == 1;
        info.creation_time = c.u32_or_u64(wide);
        info.modification_time = c.u32_or_u64(wide);
        info.time_scale = c.u32();
        info.duration = c.u32_or_u64(wide);
        info.language = c.u16() & 0x7FFF;
        c.skip(2);
        return true;
    });
    if (ret != BXF_RET_OK) return ret;
    *out = info;
    *out_version_flags = version << 24 | flags;
    return BXF_RET_OK;
}

void release_opened_track(LibraryInstance *inst, OpenedTrack *track) {
    if (!track) return;
    release_sample_tables(inst, track->tables);
    bxf_free(inst, track->senc);
    bxf_free(inst, track);
}

}  // namespace bxf
