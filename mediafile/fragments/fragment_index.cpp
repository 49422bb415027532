// mfra, tfra and mfro (ISO/IEC 14496-12 8.8.9 to 8.8.11) and the per-track
// random-access index: a time-sorted, size-bounded selection of a track's
// tfra entries, searched to find the moof that holds a decode time.
#include "fragment_index.h"

#include <algorithm>

#include "container_walk.h"
#include "field_reader.h"

namespace bxf {

namespace {

// mfro is 16 bytes with a 32-bit size; a 24-byte probe finds one written
// with a 64-bit size (or with 8 more payload bytes).
constexpr uint64_t kMfroProbes[] = {16, 24};
// The index's share of the set-aside: its own record and allocation header
// come off first; each entry then costs 24 bytes.
constexpr uint64_t kIndexOverhead = 32;
constexpr uint64_t kMinSetAside = kIndexOverhead + 24;
// The read buffer leaves room for the allocation headers around it and must
// then still be larger than this.
constexpr uint64_t kReadBufferReserve = 64;

static_assert(sizeof(FragmentIndexEntry) == 24, "the set-aside is counted in 24-byte entries");

// time and moof_offset are 32-bit in version 0 and 64-bit in version 1;
// traf_number, trun_number and sample_number take (length_size + 1) bytes.
uint32_t tfra_entry_size(uint32_t version, uint32_t length_sizes) {
    return (version == 1 ? 16 : 8) + ((length_sizes >> 4) & 3) + ((length_sizes >> 2) & 3) + (length_sizes & 3) + 3;
}

uint32_t read_sized(ByteCursor &c, uint32_t length_size) {
    switch (length_size & 3) {
        case 0: return c.u8();
        case 1: return c.u16();
        case 2: return c.u24();
        default: return c.u32();
    }
}

uint32_t read_tfra(const Io &io, const BoxRecord &box, MovieRecord &movie) {
    BoxRange rest;
    uint32_t version = 0, flags = 0, track_id = 0, length_sizes = 0, declared = 0;
    const uint32_t ret = read_fields(io, box, &rest, [&](ByteCursor &c) {
        const bool known = read_version(c, 1, &version, &flags);
        track_id = c.u32();
        length_sizes = c.u32();
        declared = c.u32();
        return known;
    });
    if (ret != BXF_RET_OK) return ret;
    const uint32_t version_flags = version << 24 | flags;
    const uint32_t entry_size = tfra_entry_size(version, length_sizes);
    const uint64_t room = rest.size / entry_size;
    auto *tfra = alloc_record<TfraRecord>(io.inst);
    if (!tfra) return BXF_RET_NOMEM;
    tfra->version_flags = version_flags;
    tfra->track_id = track_id;
    tfra->length_sizes = length_sizes;
    tfra->entry_count = declared < room ? declared : uint32_t(room);
    tfra->entry_size = entry_size;
    tfra->entries = BoxRange{rest.offset, uint64_t(tfra->entry_count) * entry_size};
    tfra->box = box_range(box);
    append_node(movie.tfra_head, movie.tfra_tail, tfra);
    ++movie.tfra_count;
    return BXF_RET_OK;
}

const ChildRule<MovieRecord> kMfra[] = {
    {BXF_FOURCC('t', 'f', 'r', 'a'), Occurs::repeat, read_tfra},
};

// The mfro at the end of the file, read with the file's last bytes in one
// read. `*out_mfra_size` stays 0 when neither probe position holds mfro.
uint32_t read_mfro(const Io &io, uint64_t file_size, uint64_t *out_mfra_size) {
    uint8_t tail[24];
    const uint64_t tail_size = file_size < sizeof tail ? file_size : sizeof tail;
    uint32_t ret = read_exact_at(io, file_size - tail_size, tail, tail_size);
    if (ret != BXF_RET_OK) return ret;
    for (uint64_t back : kMfroProbes) {
        if (back > tail_size) break;
        const uint64_t at = tail_size - back;
        // Whatever lies at a probe position is only a box when it says mfro.
        if (load_u32_be(tail + at + 4) != BXF_FOURCC('m', 'f', 'r', 'o')) continue;
        BoxRecord mfro;
        ret = read_box_in_buffer(tail, at, back, &mfro);
        if (ret != BXF_RET_OK) return ret;
        BoxRange rest;
        uint32_t version = 0, flags = 0, mfra_size = 0;
        ret = read_fields_in_buffer(tail, body_range(mfro), &rest, [&](ByteCursor &c) {
            const bool known = read_version(c, 0, &version, &flags);
            mfra_size = c.u32();
            return known;
        });
        if (ret != BXF_RET_OK) return ret;
        *out_mfra_size = mfra_size;
        return BXF_RET_OK;
    }
    return BXF_RET_OK;
}

// Entry i of n is kept when it starts a new step of c / n: exactly c entries,
// spread evenly, the last always among them.
bool keep_entry(uint64_t i, uint64_t capacity, uint64_t n) {
    return capacity >= n || (i + 1) * capacity / n > i * capacity / n;
}

FragmentIndexEntry read_entry(ByteCursor &c, const TfraRecord &tfra) {
    const bool wide = (tfra.version_flags >> 24) == 1;
    FragmentIndexEntry e{};
    e.time = c.u32_or_u64(wide);
    e.moof_offset = c.u32_or_u64(wide);
    read_sized(c, tfra.length_sizes >> 4);  // traf_number is not kept
    e.trun_number = read_sized(c, tfra.length_sizes >> 2);
    e.sample_number = read_sized(c, tfra.length_sizes);
    return e;
}

// Reads the tfra's entries in file order, as many per read as a buffer of at
// most `buffer_limit` bytes holds, keeping `capacity` of them in `entries`;
// `*out_kept` says how many were kept.
uint32_t read_entries(const Io &io, const TfraRecord &tfra, uint64_t buffer_limit, uint64_t capacity,
                      FragmentIndexEntry *entries, uint64_t *out_kept) {
    const uint64_t n = tfra.entry_count;
    const uint64_t size = tfra.entry_size;
    const uint64_t per_read = std::min(buffer_limit / size, n);
    auto *buffer = static_cast<uint8_t *>(bxf_alloc(io.inst, BXF_POOL_SAMPLE, per_read * size));
    if (!buffer) return BXF_RET_NOMEM;
    uint64_t kept = 0;
    uint32_t ret = BXF_RET_OK;
    for (uint64_t i = 0; i < n;) {
        const uint64_t chunk = std::min(per_read, n - i);
        ret = read_exact_at(io, tfra.entries.offset + i * size, buffer, chunk * size);
        if (ret != BXF_RET_OK) break;
        ByteCursor c(buffer, chunk * size);
        for (uint64_t j = 0; j < chunk; ++j, ++i) {
            if (keep_entry(i, capacity, n) && kept < capacity)
                entries[kept++] = read_entry(c, tfra);
            else
                c.skip(size);
        }
    }
    bxf_free(io.inst, buffer);
    *out_kept = kept;
    return ret;
}

bool earlier(const FragmentIndexEntry &a, const FragmentIndexEntry &b) {
    if (a.time != b.time) return a.time < b.time;
    if (a.moof_offset != b.moof_offset) return a.moof_offset < b.moof_offset;
    if (a.trun_number != b.trun_number) return a.trun_number < b.trun_number;
    return a.sample_number < b.sample_number;
}

}  // namespace

uint32_t parse_mfra(const Io &io, BoxRange body, MovieRecord &movie) { return walk_container(io, body, kMfra, movie); }

uint32_t find_mfra_from_end(const Io &io, uint64_t file_size, MovieRecord &movie) {
    if (!io.inst || !io.file) return BXF_RET_ARGS;
    if (range_present(movie.mfra_body) || file_size < kMfroProbes[0]) return BXF_RET_OK;
    uint64_t mfra_size = 0;
    uint32_t ret = read_mfro(io, file_size, &mfra_size);
    if (ret != BXF_RET_OK) return ret;
    // Too large for the file, or too small for a box: no random access.
    if (mfra_size > file_size || mfra_size < 8) return BXF_RET_OK;
    const uint64_t at = file_size - mfra_size;
    uint8_t head[8];
    ret = read_exact_at(io, at, head, sizeof head);
    if (ret != BXF_RET_OK) return ret;
    if (load_u32_be(head + 4) != BXF_FOURCC('m', 'f', 'r', 'a')) return BXF_RET_OK;
    BoxRecord mfra;
    ret = read_box(io, at, mfra_size, &mfra);
    if (ret == BXF_RET_OK) ret = parse_mfra(io, body_range(mfra), movie);
    if (ret != BXF_RET_OK) return ret;
    movie.mfra_box = box_range(mfra);
    movie.mfra_body = body_range(mfra);
    return BXF_RET_OK;
}

uint32_t build_track_index(const Io &io, const MovieRecord &movie, uint32_t track_id, uint64_t set_aside,
                           uint64_t fragment_budget, TrackFragmentIndex *out) {
    if (!io.inst || !io.file || !out) return BXF_RET_ARGS;
    const TfraRecord *tfra = movie.tfra_head;
    while (tfra && tfra->track_id != track_id) tfra = tfra->next;
    if (!tfra) return BXF_RET_NOTFOUND;
    if (set_aside < kMinSetAside) {
        *out = TrackFragmentIndex{nullptr, 0, true};
        return BXF_RET_OK;
    }
    uint64_t buffer_limit = 0;
    if (!checked_add(set_aside, fragment_budget, &buffer_limit)) buffer_limit = UINT64_MAX;
    if (buffer_limit <= 2 * kReadBufferReserve) return BXF_RET_NOMEM;
    buffer_limit -= kReadBufferReserve;
    const uint64_t capacity =
        std::min<uint64_t>((set_aside - kIndexOverhead) / sizeof(FragmentIndexEntry), tfra->entry_count);
    if (capacity == 0) {
        *out = TrackFragmentIndex{nullptr, 0, true};
        return BXF_RET_OK;
    }
    // capacity * 24 <= set_aside: no overflow.
    auto *entries =
        static_cast<FragmentIndexEntry *>(bxf_alloc(io.inst, BXF_POOL_SAMPLE, capacity * sizeof(FragmentIndexEntry)));
    if (!entries) return BXF_RET_NOMEM;
    uint64_t kept = 0;
    const uint32_t ret = read_entries(io, *tfra, buffer_limit, capacity, entries, &kept);
    if (ret != BXF_RET_OK) {
        bxf_free(io.inst, entries);
        return ret;
    }
    std::sort(entries, entries + kept, earlier);
    *out = TrackFragmentIndex{entries, uint32_t(kept), true};
    return BXF_RET_OK;
}

const FragmentIndexEntry *lookup_fragment_index(const TrackFragmentIndex &index, uint64_t t) {
    if (!index.entries || index.count == 0) return nullptr;
    uint64_t lo = 0, hi = index.count, mid = 0;
    for (;;) {
        mid = (lo + hi) / 2;
        if (hi - lo < 2 || index.entries[mid].time == t) break;
        if (index.entries[mid].time >= t)
            hi = mid;
        else
            lo = mid;
    }
    return index.entries[mid].time <= t ? &index.entries[mid] : nullptr;
}

void release_track_index(LibraryInstance *inst, TrackFragmentIndex &index) {
    bxf_free(inst, index.entries);
    index = TrackFragmentIndex{nullptr, 0, false};
}

}  // namespace bxf
