// mvex (ISO/IEC 14496-12 8.8): the fragment duration and each track's
// defaults for the samples of its fragments.
#include "box_reader.h"
#include "byte_cursor.h"
#include "container_walk.h"
#include "play_handle.h"

namespace bxf {

namespace {

// mehd: version 0 holds a 32-bit duration, version 1 a 64-bit one.
uint32_t read_mehd(const Io &io, const BoxRecord &box, MovieExtendsRecord &mvex) {
    BodyBuffer body(io.inst);
    uint32_t ret = body.read(io, body_range(box));
    if (ret != BXF_RET_OK) return ret;
    ByteCursor c(body.data(), body.size());
    const uint32_t version = c.u32() >> 24;
    if (version > 1) return BXF_RET_FORMAT;
    const uint64_t duration = c.u32_or_u64(version == 1);
    if (!c.ok()) return BXF_RET_FORMAT;
    mvex.mehd_body = body_range(box);
    mvex.fragment_duration = duration;
    return BXF_RET_OK;
}

uint32_t read_trex(const Io &io, const BoxRecord &box, MovieExtendsRecord &mvex) {
    if (box.m_body_size < 24) return BXF_RET_FORMAT;
    uint8_t raw[24];
    uint32_t ret = read_exact_at(io, box.m_body_offset, raw, sizeof raw);
    if (ret != BXF_RET_OK) return ret;
    if (raw[0] != 0) return BXF_RET_FORMAT;
    auto *trex = alloc_record<TrexRecord>(io.inst);
    if (!trex) return BXF_RET_NOMEM;
    trex->track_id = load_u32_be(raw + 4);
    trex->default_sample_description_index = load_u32_be(raw + 8);
    trex->default_sample_duration = load_u32_be(raw + 12);
    trex->default_sample_size = load_u32_be(raw + 16);
    trex->default_sample_flags = load_u32_be(raw + 20);
    append_node(mvex.trex_head, mvex.trex_tail, trex);
    ++mvex.trex_count;
    return BXF_RET_OK;
}

const ChildRule<MovieExtendsRecord> kMvex[] = {
    {BXF_FOURCC('m', 'e', 'h', 'd'), Occurs::once, read_mehd},
    {BXF_FOURCC('t', 'r', 'e', 'x'), Occurs::repeat, read_trex},
};

}  // namespace

uint32_t parse_mvex(const Io &io, BoxRange body, MovieExtendsRecord &mvex) {
    mvex.mvex_body = body;
    return walk_container(io, body, kMvex, mvex);
}

}  // namespace bxf
