#include "library_reader.h"

namespace {

// The library takes UTF-16 paths. The benchmark's media lives under paths it
// makes itself, so ASCII is all it needs; anything else is refused.
bool ascii_to_utf16(const char *path, std::vector<uint16_t> &out) {
    for (const char *p = path; *p; ++p) {
        if (static_cast<unsigned char>(*p) >= 0x80) return false;
        out.push_back(uint16_t(*p));
    }
    out.push_back(0);
    return true;
}

}  // namespace

uint32_t open_library_movie(const char *path, HeapCounter *heap, LibraryMovie &movie) {
    std::vector<uint16_t> wide;
    if (!ascii_to_utf16(path, wide)) return BXF_RET_ARGS;
    bxf_fill_file_ops(&movie.ops);
    uint32_t ret = bxf_file_open(wide.data(), BXF_FILE_MODE_READ, &movie.file);
    if (ret != BXF_RET_OK) return ret;
    if (heap) count_heap(movie.ops, *heap);
    ret = bxf_create(&movie.ops, &movie.instance);
    // As the filter opens it: no accounting, stop at the first moof.
    const OpenParams params{0, 0, 1, 0};
    uint32_t flags = 0;
    if (ret == BXF_RET_OK) ret = bxf_play_open(movie.instance, movie.file, &params, &movie.handle, &flags);
    uint32_t tracks = 0;
    if (ret == BXF_RET_OK) ret = bxf_get_track_count(movie.handle, &tracks);
    for (uint32_t t = 1; ret == BXF_RET_OK && t <= tracks; ++t) ret = bxf_open_track(movie.handle, t);
    movie.sample_counts.assign(tracks, 0);
    for (uint32_t t = 1; ret == BXF_RET_OK && t <= tracks; ++t)
        ret = bxf_play_get_sample_count(movie.handle, t, &movie.sample_counts[t - 1]);
    if (ret != BXF_RET_OK) close_library_movie(movie);
    return ret;
}

void close_library_movie(LibraryMovie &movie) {
    bxf_play_close(movie.handle);
    bxf_destroy(movie.instance);
    if (movie.file) bxf_file_close(movie.file);
    movie.handle = nullptr;
    movie.instance = nullptr;
    movie.file = nullptr;
}

uint32_t SampleWalker::start() {
    cursors_.clear();
    for (uint32_t t = 1; t <= movie_.sample_counts.size(); ++t) {
        cursors_.push_back(Cursor{t, 1, 0, false, SampleInfo{}});
        const uint32_t ret = locate(cursors_.back());
        if (ret != BXF_RET_OK) return ret;
    }
    return BXF_RET_OK;
}

// The pins' end of stream: the sample after the last one is not found.
uint32_t SampleWalker::locate(Cursor &cursor) {
    const uint32_t ret = bxf_play_get_sample_info(movie_.handle, cursor.track, cursor.sample, 0, &cursor.info);
    if (ret == BXF_RET_NOTFOUND) cursor.ended = true;
    return ret == BXF_RET_NOTFOUND ? BXF_RET_OK : ret;
}

uint32_t SampleWalker::next(std::vector<uint8_t> &buffer, PacketRecord *record) {
    Cursor *first = nullptr;
    for (Cursor &c : cursors_)
        if (!c.ended && (!first || c.info.offset < first->info.offset)) first = &c;
    if (!first) return BXF_RET_NOTFOUND;

    const SampleInfo &info = first->info;
    const uint32_t ret = read_bytes_ ? read(info, buffer) : BXF_RET_OK;
    if (ret != BXF_RET_OK) return ret;
    if (record) {
        const int64_t composition = info.composition_offset_signed ? int64_t(int32_t(info.composition_offset))
                                                                   : int64_t(info.composition_offset);
        *record = PacketRecord{first->track, info.offset, info.size, int64_t(first->decode_time),
                               composition, info.is_sync};
    }
    ++first->sample;
    first->decode_time += info.duration;
    return locate(*first);
}

// As a pin fills a media sample: seek the file, read the sample's bytes.
uint32_t SampleWalker::read(const SampleInfo &info, std::vector<uint8_t> &buffer) {
    if (buffer.size() < info.size) buffer.resize(info.size);
    uint64_t got = 0;
    uint32_t ret = movie_.ops.seek(movie_.file, int64_t(info.offset), BXF_SEEK_SET);
    if (ret == BXF_RET_OK) ret = movie_.ops.read(movie_.file, buffer.data(), info.size, &got);
    return ret == BXF_RET_OK && got != info.size ? BXF_RET_FILE : ret;
}
