// Opening a file as a movie: the top-level walk, the presence flags, and the
// release of everything the open built.
#include "box_reader.h"
#include "container_walk.h"
#include "field_reader.h"
#include "fragment_index.h"
#include "movie_parsers.h"
#include "play_handle.h"

namespace bxf {

namespace {

// The book uuid is named by its whole extended type.
constexpr ExtendedType kBookUuid{{0x508E0CF1, 0x21864CCF, 0xAAB26344, 0xD2498006}};

uint32_t read_ftyp(const Io &, const BoxRecord &box, PlayHandle &h) {
    h.movie.ftyp_body = body_range(box);
    return BXF_RET_OK;
}

uint32_t read_pdin(const Io &io, const BoxRecord &box, PlayHandle &h) {
    return keep_version0_box(io, box, h.movie.pdin_body, h.movie.pdin_payload);
}

// Version/flags, two 256-byte location strings and 512 reserved bytes.
uint32_t read_bloc(const Io &io, const BoxRecord &box, PlayHandle &h) {
    if (box.m_body_size < 1028) return BXF_RET_FORMAT;
    uint32_t vf = 0;
    BoxRange payload;
    uint32_t ret = read_version_flags(io, body_range(box), 0, &vf, &payload);
    if (ret == BXF_RET_OK) h.movie.bloc_body = body_range(box);
    return ret;
}

uint32_t read_moov(const Io &io, const BoxRecord &box, PlayHandle &h) {
    uint32_t ret = parse_moov(io, body_range(box), h.movie.moov);
    if (ret != BXF_RET_OK) return ret;
    h.movie.moov_box = box_range(box);
    h.movie.moov_body = body_range(box);
    return BXF_RET_OK;
}

uint32_t read_meta(const Io &io, const BoxRecord &box, PlayHandle &h) {
    return keep_version0_box(io, box, h.movie.meta_body, h.movie.meta_payload);
}

// The tfra heads are read now; their entries when a track's index is built.
uint32_t read_mfra(const Io &io, const BoxRecord &box, PlayHandle &h) {
    const uint32_t ret = parse_mfra(io, body_range(box), h.movie);
    if (ret != BXF_RET_OK) return ret;
    h.movie.mfra_box = box_range(box);
    h.movie.mfra_body = body_range(box);
    return BXF_RET_OK;
}

uint32_t read_mdri(const Io &, const BoxRecord &box, PlayHandle &h) {
    h.movie.mdri_box = box_range(box);
    h.movie.mdri_body = body_range(box);
    return BXF_RET_OK;
}

uint32_t read_moof(const Io &io, const BoxRecord &box, PlayHandle &h) {
    if (h.movie.moof_head && !h.record_all_moofs) return BXF_RET_OK;
    auto *node = alloc_record<MoofNode>(io.inst);
    if (!node) return BXF_RET_NOMEM;
    node->box_offset = box.m_box_offset;
    node->box_size = box.m_box_size;
    append_node(h.movie.moof_head, h.movie.moof_tail, node);
    return BXF_RET_OK;
}

void keep_uuid(VendorBoxRecord &slot, const BoxRecord &box) {
    slot.box = box_range(box);
    slot.payload = uuid_payload(box);
}

uint32_t read_lici(const Io &io, const BoxRecord &box, PlayHandle &h) {
    keep_uuid(h.movie.lici, box);
    return parse_vendor_list(io, h.movie.lici.payload, 0xFFFFFFFFu, h.movie.lici);
}

uint32_t read_mtsd(const Io &, const BoxRecord &box, PlayHandle &h) {
    h.movie.mtsd_box = box_range(box);
    h.movie.mtsd_payload = uuid_payload(box);
    return BXF_RET_OK;
}

// The profile list starts with version/flags and the number of entries.
uint32_t read_prof(const Io &io, const BoxRecord &box, PlayHandle &h) {
    FullBoxHeader list;
    const uint32_t ret = read_full_box_header(io, uuid_payload(box), 0, &list);
    if (ret != BXF_RET_OK) return ret;
    keep_uuid(h.movie.prof, box);
    return parse_vendor_list(io, BoxRange{list.rest_offset, list.rest_size}, list.entry_count, h.movie.prof);
}

uint32_t read_book(const Io &, const BoxRecord &box, PlayHandle &h) {
    h.movie.book_box = box_range(box);
    h.movie.book_payload = uuid_payload(box);
    return BXF_RET_OK;
}

const ChildRule<PlayHandle> kTopLevel[] = {
    {BXF_FOURCC('f', 't', 'y', 'p'), Occurs::once, read_ftyp},
    {BXF_FOURCC('p', 'd', 'i', 'n'), Occurs::once, read_pdin},
    {BXF_FOURCC('b', 'l', 'o', 'c'), Occurs::once, read_bloc},
    {BXF_FOURCC('m', 'o', 'o', 'v'), Occurs::once, read_moov},
    {BXF_FOURCC('m', 'e', 't', 'a'), Occurs::once, read_meta},
    {BXF_FOURCC('m', 'f', 'r', 'a'), Occurs::once, read_mfra},
    {BXF_FOURCC('m', 'd', 'r', 'i'), Occurs::once, read_mdri},
    {BXF_FOURCC('m', 'o', 'o', 'f'), Occurs::repeat, read_moof},
    uuid_rule(vendor_uuid(BXF_FOURCC('L', 'I', 'C', 'I')), read_lici),
    uuid_rule(vendor_uuid(BXF_FOURCC('M', 'T', 'S', 'D')), read_mtsd),
    uuid_rule(vendor_uuid(BXF_FOURCC('P', 'R', 'O', 'F')), read_prof),
    uuid_rule(kBookUuid, read_book),
};

// Unless the whole file is to be walked, the walk ends at the first fragment:
// what follows is fragments and their index.
bool continue_top_level(const Io &, const BoxRecord &, PlayHandle &h) {
    return h.walk_all_boxes != 0 || h.movie.moof_head == nullptr;
}

// Presence is read from body ranges: a box at file offset 0 has a zero box
// offset but never a zero body offset.
uint32_t presence_flags(const MovieRecord &m) {
    uint32_t flags = BXF_PLAY_INIT_EXIST_NONE;
    const struct {
        bool present;
        uint32_t flag;
    } checks[] = {
        {range_present(m.moov.mvex.mehd_body), BXF_PLAY_INIT_EXIST_MEHD_BOX},
        {m.moov.mvex.trex_head != nullptr, BXF_PLAY_INIT_EXIST_TREX_BOX},
        {m.moof_head != nullptr, BXF_PLAY_INIT_EXIST_MOOF_BOX},
        {range_present(m.mfra_body), BXF_PLAY_INIT_EXIST_MFRA_BOX},
        {range_present(m.ftyp_body), BXF_PLAY_INIT_EXIST_FTYP_BOX},
        {range_present(m.prof.payload), BXF_PLAY_INIT_EXIST_UUID_PROF_BOX},
        {range_present(m.moov_body), BXF_PLAY_INIT_EXIST_MOOV_BOX},
        {range_present(m.moov.iods_body), BXF_PLAY_INIT_EXIST_IODS_BOX},
        {range_present(m.lici.payload), BXF_PLAY_INIT_EXIST_UUID_LICI_BOX},
        {range_present(m.mtsd_payload), BXF_PLAY_INIT_EXIST_UUID_MTSD_BOX},
        {range_present(m.book_payload), BXF_PLAY_INIT_EXIST_UUID_BOOK_BOX},
        {range_present(m.mdri_body), BXF_PLAY_INIT_EXIST_MDRI_BOX},
        {m.moov.pssh_head != nullptr, BXF_PLAY_INIT_EXIST_PROTECTION_SYSTEM_BOX},
        {range_present(m.moov.trailing_free_box), BXF_PLAY_INIT_EXIST_FREE_BOX},
        {range_present(m.pdin_body), BXF_PLAY_INIT_EXIST_PDIN_BOX},
        {range_present(m.bloc_body), BXF_PLAY_INIT_EXIST_BLOC_BOX},
        {range_present(m.moov.ainf_body), BXF_PLAY_INIT_EXIST_AINF_BOX},
        {range_present(m.moov.meta_body), BXF_PLAY_INIT_EXIST_MOOV_META_BOX},
        {range_present(m.meta_body), BXF_PLAY_INIT_EXIST_META_BOX},
    };
    for (const auto &c : checks)
        if (c.present) flags |= c.flag;
    return flags;
}

}  // namespace

// A fragmented file keeps its random-access index at the end, named by the
// mfro box that closes the file: when the walk met fragments but no mfra
// (it stopped at the first moof, or the index was not where it walked), the
// end of the file is examined, and that decides the walk's result.
uint32_t parse_top_level(const Io &io, PlayHandle &handle, uint64_t start, uint64_t length) {
    const uint32_t ret = walk_container(io, BoxRange{start, length}, kTopLevel, handle, continue_top_level);
    if (ret != BXF_RET_OK || !handle.movie.moof_head || range_present(handle.movie.mfra_body)) return ret;
    return find_mfra_from_end(io, handle.file_size, handle.movie);
}

uint32_t read_version_flags(const Io &io, BoxRange body, uint32_t max_version, uint32_t *out_version_flags,
                            BoxRange *out_payload) {
    uint32_t version = 0, flags = 0;
    const uint32_t ret = read_fields(io, body, out_payload,
                                     [&](ByteCursor &c) { return read_version(c, max_version, &version, &flags); });
    if (ret == BXF_RET_OK) *out_version_flags = version << 24 | flags;
    return ret;
}

uint32_t keep_version0_box(const Io &io, const BoxRecord &box, BoxRange &body, BoxRange &payload) {
    uint32_t vf = 0;
    BoxRange rest;
    const uint32_t ret = read_version_flags(io, body_range(box), 0, &vf, &rest);
    if (ret != BXF_RET_OK) return ret;
    body = body_range(box);
    payload = rest;
    return BXF_RET_OK;
}

void release_movie(LibraryInstance *inst, MovieRecord &movie) {
    release_moov(inst, movie.moov);
    release_vendor_list(inst, movie.prof);
    release_vendor_list(inst, movie.lici);
    free_list(inst, movie.moof_head);
    movie.moof_head = movie.moof_tail = nullptr;
    free_list(inst, movie.tfra_head);
    movie.tfra_head = movie.tfra_tail = nullptr;
    movie.tfra_count = 0;
}

}  // namespace bxf

using namespace bxf;

extern "C" uint32_t bxf_play_open(LibraryInstance *instance, void *file, const OpenParams *params,
                                  PlayHandle **out_handle, uint32_t *out_flags) {
    if (!instance || !file || !params || !out_handle || !out_flags) return BXF_RET_ARGS;
    uint32_t ret =
        bxf_set_memory_limits(instance, 1, params->memory_budget, params->sample_percent, sizeof(PlayHandle));
    if (ret != BXF_RET_OK) return ret;
    auto *handle = alloc_record<PlayHandle>(instance);
    if (!handle) return BXF_RET_NOMEM;
    handle->instance = instance;
    handle->file = file;
    handle->walk_all_boxes = params->walk_all_boxes;
    handle->fragment_mode = params->fragment_mode;

    const Io io{instance, file};
    ret = file_size(instance, file, &handle->file_size);
    if (ret == BXF_RET_OK) ret = parse_top_level(io, *handle, 0, handle->file_size);
    // A fragmented movie (one with trex) needs tracks for its fragments.
    if (ret == BXF_RET_OK && handle->movie.moov.mvex.trex_head && !handle->movie.moov.tracks_head) ret = BXF_RET_FORMAT;
    if (ret != BXF_RET_OK) {
        bxf_play_close(handle);
        return ret;
    }
    *out_flags = presence_flags(handle->movie);
    *out_handle = handle;
    return BXF_RET_OK;
}

extern "C" uint32_t bxf_play_close(PlayHandle *handle) {
    if (!handle) return BXF_RET_OK;
    LibraryInstance *inst = handle->instance;
    release_opened_tracks(handle);
    release_movie(inst, handle->movie);
    bxf_free(inst, handle);
    return BXF_RET_OK;
}

extern "C" uint32_t bxf_play_get_movie(const PlayHandle *handle, const MovieRecord **out_movie) {
    if (!handle || !out_movie) return BXF_RET_ARGS;
    *out_movie = &handle->movie;
    return BXF_RET_OK;
}
