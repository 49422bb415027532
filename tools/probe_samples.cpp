#include "probe_samples.h"

#include <cinttypes>

namespace {

struct TrackTiming {
    uint32_t time_scale;
    uint32_t signed_offsets;
};

uint32_t open_for_samples(PlayHandle *handle, uint32_t track, TrackTiming *timing) {
    MediaHeaderInfo mh{};
    uint32_t ret = bxf_open_track(handle, track);
    if (ret == BXF_RET_OK) ret = bxf_get_media_header(handle, track, &mh);
    timing->time_scale = mh.time_scale;
    return ret;
}

// The auxiliary fields (--aux), after the others: the type as four
// characters, anything unprintable or quoting shown as '.'.
void print_aux(FILE *out, bool json, const SampleInfo &s) {
    char type[5];
    for (int i = 0; i < 4; ++i) {
        const char ch = char(s.aux_info_type >> (24 - 8 * i));
        type[i] = ch >= 0x20 && ch < 0x7F && ch != '"' && ch != '\\' ? ch : '.';
    }
    type[4] = '\0';
    std::fprintf(out,
                 json ? ",\"aux_flags\":%" PRIu32 ",\"aux_offset\":%" PRIu64 ",\"aux_size\":%" PRIu32
                        ",\"aux_info_type\":\"%s\",\"aux_info_type_parameter\":%" PRIu32 ",\"saiz_flags\":%" PRIu32
                        ",\"senc_flags\":%" PRIu32 ",\"trick_play_info\":%" PRIu32
                      : " aux_flags %" PRIu32 " aux_offset %" PRIu64 " aux_size %" PRIu32 " aux_info_type %s"
                        " aux_info_type_parameter %" PRIu32 " saiz_flags %" PRIu32 " senc_flags %" PRIu32
                        " trick_play_info %" PRIu32,
                 s.aux_flags, s.aux_offset, s.aux_size, type, s.aux_info_type_parameter, s.saiz_flags, s.senc_flags,
                 uint32_t(s.trick_play_info));
}

void print_sample(FILE *out, bool json, bool aux, uint32_t track, uint32_t n, const SampleInfo &s) {
    // The presentation time: the decode time plus the composition offset.
    const int64_t offset = s.composition_offset_signed ? int64_t(int32_t(s.composition_offset))
                                                       : int64_t(s.composition_offset);
    const int64_t pts = int64_t(s.decode_time) + offset;
    if (json)
        std::fprintf(out,
                     "{\"track\":%" PRIu32 ",\"sample\":%" PRIu32 ",\"dts\":%" PRIu64 ",\"pts\":%" PRId64
                     ",\"duration\":%" PRIu32 ",\"size\":%" PRIu32 ",\"offset\":%" PRIu64 ",\"sync\":%" PRIu32
                     ",\"cts_offset\":%" PRId64 ",\"description\":%" PRIu32,
                     track, n, s.decode_time, pts, s.duration, s.size, s.offset, s.is_sync, offset,
                     s.description_index);
    else
        std::fprintf(out,
                     "track %" PRIu32 " sample %" PRIu32 " dts %" PRIu64 " pts %" PRId64 " duration %" PRIu32
                     " size %" PRIu32 " offset %" PRIu64 " sync %" PRIu32 " cts_offset %" PRId64
                     " description %" PRIu32,
                     track, n, s.decode_time, pts, s.duration, s.size, s.offset, s.is_sync, offset,
                     s.description_index);
    if (aux) print_aux(out, json, s);
    std::fputs(json ? "}\n" : "\n", out);
}

// Every sample in the file's order: the sample tables', then the fragments'.
uint32_t print_track_samples(FILE *out, bool json, bool aux, PlayHandle *handle, uint32_t track) {
    TrackTiming timing{};
    uint32_t ret = open_for_samples(handle, track, &timing);
    if (ret != BXF_RET_OK) return ret;
    for (uint32_t n = 1;; ++n) {
        SampleInfo s;
        ret = bxf_play_get_sample_info(handle, track, n, 0, &s);
        if (ret == BXF_RET_NOTFOUND) return BXF_RET_OK;
        if (ret != BXF_RET_OK) return ret;
        print_sample(out, json, aux, track, n, s);
        if (n == UINT32_MAX) return BXF_RET_OK;
    }
}

// The sample holding the time (from the tables or the fragments) and the
// sync sample at or before it, where a seek would start decoding.
uint32_t print_track_at(FILE *out, bool json, PlayHandle *handle, uint32_t track, double seconds) {
    TrackTiming timing{};
    uint32_t ret = open_for_samples(handle, track, &timing);
    if (ret != BXF_RET_OK) return ret;
    const uint64_t t = uint64_t(seconds * timing.time_scale);
    SampleInfo s{};
    uint64_t start = 0, sync_start = 0;
    ret = bxf_play_get_sample_at_time(handle, track, t, 1, 0, &start, &s);
    sync_start = start;
    if (ret == BXF_RET_OK && !s.is_sync) ret = bxf_play_find_sync_time_near(handle, track, t, 1, 0, &sync_start);
    if (ret != BXF_RET_OK) {
        std::fprintf(out, json ? "{\"track\":%" PRIu32 ",\"error\":\"%s\"}\n" : "track %" PRIu32 " %s\n", track,
                     bxf_ret_name(ret));
        return BXF_RET_OK;
    }
    std::fprintf(out,
                 json ? "{\"track\":%" PRIu32 ",\"time\":%" PRIu64 ",\"start\":%" PRIu64 ",\"offset\":%" PRIu64
                        ",\"size\":%" PRIu32 ",\"sync\":%" PRIu32 ",\"sync_start\":%" PRIu64 "}\n"
                      : "track %" PRIu32 " time %" PRIu64 " start %" PRIu64 " offset %" PRIu64 " size %" PRIu32
                        " sync %" PRIu32 " sync_start %" PRIu64 "\n",
                 track, t, start, s.offset, s.size, s.is_sync, sync_start);
    return BXF_RET_OK;
}

template <class Each>
uint32_t for_tracks(PlayHandle *handle, uint32_t track, Each each) {
    uint32_t count = 0;
    bxf_get_track_count(handle, &count);
    if (track != 0) return track <= count ? each(track) : BXF_RET_NOTFOUND;
    for (uint32_t n = 1; n <= count; ++n) {
        const uint32_t ret = each(n);
        if (ret != BXF_RET_OK) return ret;
    }
    return BXF_RET_OK;
}

}  // namespace

uint32_t print_samples(FILE *out, bool json, bool aux, PlayHandle *handle, uint32_t track) {
    return for_tracks(handle, track, [&](uint32_t n) { return print_track_samples(out, json, aux, handle, n); });
}

uint32_t print_at(FILE *out, bool json, PlayHandle *handle, uint32_t track, double seconds) {
    return for_tracks(handle, track, [&](uint32_t n) { return print_track_at(out, json, handle, n, seconds); });
}
