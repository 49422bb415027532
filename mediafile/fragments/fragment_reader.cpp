// Finding a track's next traf: the top-level moof boxes are scanned from the
// track's scan position, each moof's traf boxes checked (at most one per
// track, each with a tfhd naming a known track), and the wanted track's traf
// set up with its defaults, base data offset and base decode time.
#include "aux_boxes.h"
#include "container_walk.h"
#include "field_reader.h"
#include "fragment_internal.h"

namespace bxf {

namespace {

// tfhd (8.8.7): the optional fields follow in flag order.
uint32_t read_tfhd(const Io &io, const BoxRecord &box, TrafChildren &h) {
    BoxRange rest;
    uint32_t version = 0;
    const uint32_t ret = read_fields(io, box, &rest, [&](ByteCursor &c) {
        const bool known = read_version(c, 0, &version, &h.tf_flags);
        h.track_id = c.u32();
        if (h.tf_flags & kTfhdBaseDataOffset) h.base_data_offset = c.u64();
        if (h.tf_flags & kTfhdDescriptionIndex) h.description_index = c.u32();
        if (h.tf_flags & kTfhdDefaultDuration) h.duration = c.u32();
        if (h.tf_flags & kTfhdDefaultSize) h.size = c.u32();
        if (h.tf_flags & kTfhdDefaultFlags) h.flags = c.u32();
        return known;
    });
    if (ret == BXF_RET_OK) h.has_tfhd = true;
    return ret;
}

// tfdt (8.8.12): version 0 holds a 32-bit time, version 1 a 64-bit one.
uint32_t read_tfdt(const Io &io, const BoxRecord &box, TrafChildren &h) {
    const uint32_t ret = read_versioned_time(io, box, &h.tfdt);
    if (ret == BXF_RET_OK) h.has_tfdt = true;
    return ret;
}

// The runs are read one by one later, from the first.
uint32_t note_first_trun(const Io &, const BoxRecord &box, TrafChildren &h) {
    h.first_trun = box.m_box_offset;
    return BXF_RET_OK;
}

template <uint32_t (*kRead)(const Io &, const BoxRecord &, AuxWalk &)>
uint32_t aux_child(const Io &io, const BoxRecord &box, TrafChildren &h) {
    return h.aux ? kRead(io, box, *h.aux) : BXF_RET_OK;
}

// Every child of a traf the reader knows.
const ChildRule<TrafChildren> kTraf[] = {
    {BXF_FOURCC('t', 'f', 'h', 'd'), Occurs::once, read_tfhd},
    {BXF_FOURCC('t', 'f', 'd', 't'), Occurs::once, read_tfdt},
    {BXF_FOURCC('t', 'r', 'u', 'n'), Occurs::once, note_first_trun},
    {BXF_FOURCC('s', 'e', 'n', 'c'), Occurs::once, aux_child<read_senc_child>},
    {BXF_FOURCC('s', 'a', 'i', 'o'), Occurs::repeat, aux_child<read_saio_child>},
    {BXF_FOURCC('s', 'a', 'i', 'z'), Occurs::repeat, aux_child<read_saiz_child>},
    {BXF_FOURCC('s', 'b', 'g', 'p'), Occurs::repeat, aux_child<read_sbgp_child>},
    {BXF_FOURCC('s', 'g', 'p', 'd'), Occurs::repeat, aux_child<read_sgpd_child>},
    {BXF_FOURCC('t', 'r', 'i', 'k'), Occurs::once, aux_child<read_trik_child>},
    {BXF_FOURCC('s', 'u', 'b', 's'), Occurs::once, aux_child<read_subs_child>},
    {BXF_FOURCC('a', 'v', 'c', 'n'), Occurs::once, aux_child<read_avcn_child>},
};

uint32_t read_traf_head(const Io &io, const BoxRecord &traf, TrafChildren *out) {
    const uint32_t ret = walk_traf(io, body_range(traf), nullptr, out);
    if (ret != BXF_RET_OK) return ret;
    return out->has_tfhd ? BXF_RET_OK : BXF_RET_FORMAT;
}

bool track_known(const MovieRecord &movie, uint32_t track_id) {
    for (const TrackNode *t = movie.moov.tracks_head; t; t = t->next)
        if (t->track_id == track_id) return true;
    return false;
}

TrafDefaults defaults_for(const MovieRecord &movie, const TrafChildren &h) {
    TrafDefaults d{};
    for (const TrexRecord *x = movie.moov.mvex.trex_head; x; x = x->next) {
        if (x->track_id != h.track_id) continue;
        d = TrafDefaults{x->default_sample_description_index, x->default_sample_duration, x->default_sample_size,
                         x->default_sample_flags};
        break;
    }
    if (h.tf_flags & kTfhdDescriptionIndex) d.description_index = h.description_index;
    if (h.tf_flags & kTfhdDefaultDuration) d.duration = h.duration;
    if (h.tf_flags & kTfhdDefaultSize) d.size = h.size;
    if (h.tf_flags & kTfhdDefaultFlags) d.flags = h.flags;
    return d;
}

// What a moof walk carries from one traf to the next.
struct MoofWalk {
    const FragmentSource &src;
    const TrackTableCache &table;
    TrackFragments &fs;
    BoxRecord moof;
    uint32_t track_id;
    uint32_t trafs;
    uint32_t *seen_ids;  // one per track of the movie
    bool previous_known;
    TrafState previous;  // the traf before, for a base data offset that continues it
    bool found;
};

uint32_t read_traf(const Io &io, const BoxRecord &box, MoofWalk &w) {
    const uint32_t track_count = w.src.movie.moov.track_count;
    if (w.trafs == track_count) return BXF_RET_FORMAT;  // more traf boxes than tracks
    TrafChildren h;
    uint32_t ret = read_traf_head(io, box, &h);
    if (ret != BXF_RET_OK) return ret;
    if (!track_known(w.src.movie, h.track_id)) return BXF_RET_FORMAT;
    for (uint32_t i = 0; i < w.trafs; ++i)
        if (w.seen_ids[i] == h.track_id) return BXF_RET_FORMAT;
    w.seen_ids[w.trafs++] = h.track_id;

    TrafState traf{};
    traf.moof_offset = w.moof.m_box_offset;
    traf.moof_body = w.moof.m_body_offset;
    traf.box_end = box.m_box_offset + box.m_box_size;
    traf.body_offset = box.m_body_offset;
    traf.first_trun = traf.next_child = h.first_trun ? h.first_trun : traf.box_end;
    traf.tf_flags = h.tf_flags;
    traf.track_id = h.track_id;
    traf.defaults = defaults_for(w.src.movie, h);
    // Base data offset: explicit, or the moof itself for the first traf (and
    // with default-base-is-moof), or where the previous traf's data ended.
    if (h.tf_flags & kTfhdBaseDataOffset) {
        traf.base_data_offset = h.base_data_offset;
    } else if (w.trafs == 1 || (h.tf_flags & kTfhdDefaultBaseIsMoof)) {
        traf.base_data_offset = w.moof.m_box_offset;
    } else {
        uint64_t time_end = 0;
        ret = traf_totals(io, w.previous, &traf.base_data_offset, &time_end);
        if (ret != BXF_RET_OK) return ret;
    }
    traf.data_end = traf.base_data_offset;
    if (h.track_id == w.track_id) {
        // Base decode time: tfdt, else where the track's previous traf ended,
        // else the end of its sample tables.
        traf.base_time = h.has_tfdt ? h.tfdt : w.fs.has_carried_end ? w.fs.carried_end : w.table.bounds.stts_end;
        traf.has_tfdt = h.has_tfdt;
        traf.time_end = traf.base_time;
        w.fs.traf = traf;
        w.fs.has_traf = true;
        w.found = true;
    }
    w.previous = traf;
    w.previous_known = true;
    return BXF_RET_OK;
}

const ChildRule<MoofWalk> kMoof[] = {
    {BXF_FOURCC('t', 'r', 'a', 'f'), Occurs::repeat, read_traf},
};

}  // namespace

uint32_t walk_traf(const Io &io, BoxRange body, AuxWalk *aux, TrafChildren *out) {
    *out = TrafChildren{};
    out->aux = aux;
    return walk_container(io, body, kTraf, *out);
}

uint32_t next_track_traf(const FragmentSource &src, const TrackTableCache &table, TrackFragments &fs) {
    const Io &io = src.io;
    const uint32_t track_count = src.movie.moov.track_count;
    auto *seen = static_cast<uint32_t *>(bxf_alloc(io.inst, BXF_POOL_GENERAL, uint64_t(track_count) * 4 + 4));
    if (!seen) return BXF_RET_NOMEM;
    uint32_t ret = BXF_RET_NOTFOUND;
    while (src.file_size > fs.scan_position && src.file_size - fs.scan_position >= 8) {
        BoxRecord box;
        ret = read_box(io, fs.scan_position, src.file_size - fs.scan_position, &box);
        if (ret != BXF_RET_OK) break;
        fs.scan_position += box.m_box_size;
        ret = BXF_RET_NOTFOUND;
        if (box.type != BXF_FOURCC('m', 'o', 'o', 'f')) continue;
        MoofWalk walk{src, table, fs, box, src.track_id, 0, seen, false, TrafState{}, false};
        ret = walk_container(io, body_range(box), kMoof, walk);
        if (ret != BXF_RET_OK) break;
        ret = BXF_RET_NOTFOUND;
        if (walk.found) {
            ret = BXF_RET_OK;
            break;
        }
    }
    bxf_free(io.inst, seen);
    return ret;
}

}  // namespace bxf
