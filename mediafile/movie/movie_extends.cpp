// mvex (ISO/IEC 14496-12 8.8): the fragment duration and each track's
// defaults for the samples of its fragments.
#include "container_walk.h"
#include "field_reader.h"
#include "movie_parsers.h"

namespace bxf {

namespace {

// mehd: version 0 holds a 32-bit duration, version 1 a 64-bit one.
uint32_t read_mehd(const Io &io, const BoxRecord &box, MovieExtendsRecord &mvex) {
    uint64_t duration = 0;
    const uint32_t ret = read_versioned_time(io, box, &duration);
    if (ret != BXF_RET_OK) return ret;
    mvex.mehd_body = body_range(box);
    mvex.fragment_duration = duration;
    return BXF_RET_OK;
}

uint32_t read_trex(const Io &io, const BoxRecord &box, MovieExtendsRecord &mvex) {
    TrexRecord r{};
    BoxRange rest;
    uint32_t version = 0, flags = 0;
    const uint32_t ret = read_fields(io, box, &rest, [&](ByteCursor &c) {
        const bool known = read_version(c, 0, &version, &flags);
        r.track_id = c.u32();
        r.default_sample_description_index = c.u32();
        r.default_sample_duration = c.u32();
        r.default_sample_size = c.u32();
        r.default_sample_flags = c.u32();
        return known;
    });
    if (ret != BXF_RET_OK) return ret;
    auto *trex = alloc_record<TrexRecord>(io.inst);
    if (!trex) return BXF_RET_NOMEM;
    *trex = r;
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
