#include "probe_tracks.h"

#include <string>
#include <vector>

namespace {

std::string language_text(uint16_t packed) {
    std::string s;
    for (int shift = 10; shift >= 0; shift -= 5) s += char(0x60 + ((packed >> shift) & 0x1F));
    return s;
}

std::string blob_hex(const Blob &b) { return hex_bytes(b.data, b.length); }

std::string read_name(const FileOps &ops, void *file, BoxRange range) {
    std::vector<char> bytes(range.size > 256 ? 256 : size_t(range.size));
    uint64_t got = 0;
    if (bytes.empty() || ops.seek(file, int64_t(range.offset), BXF_SEEK_SET) != BXF_RET_OK ||
        ops.read(file, bytes.data(), bytes.size(), &got) != BXF_RET_OK)
        return std::string();
    std::string name(bytes.data(), size_t(got));
    return name.substr(0, name.find('\0'));
}

const char *kind_name(uint32_t kind) {
    static const char *const kNames[] = {"unknown", "mp4v", "avc1", "mp4a", "mp4s", "book",
                                         "meta",    "packed_data", "graph", "graph_3d", "subtitle", "hvc1"};
    return kind < sizeof kNames / sizeof kNames[0] ? kNames[kind] : "?";
}

void print_parameter_sets(ProbeOutput &out, const char *key, const ParameterSetList &list) {
    out.begin_array(key);
    for (const ParameterSet *p = list.head; p; p = p->next) out.field(nullptr, blob_hex(p->bytes));
    out.end_array();
}

void print_esds(ProbeOutput &out, const EsdsRecord &esds) {
    out.begin_object("esds");
    if (esds.has_decoder_config) {
        out.field_hex("object_type", esds.decoder_config.object_type_indication);
        out.field("stream_type", uint64_t(esds.decoder_config.stream_type));
        out.field("max_bitrate", uint64_t(esds.decoder_config.max_bitrate));
        out.field("avg_bitrate", uint64_t(esds.decoder_config.avg_bitrate));
    }
    out.field("decoder_specific_info", blob_hex(esds.decoder_specific_info));
    out.end_object();
}

void print_avcc(ProbeOutput &out, const AvcConfig &a) {
    out.begin_object("avcC");
    out.field("profile", uint64_t(a.avc_profile_indication));
    out.field("compatibility", uint64_t(a.profile_compatibility));
    out.field("level", uint64_t(a.avc_level_indication));
    out.field("length_size", uint64_t(a.length_size_minus_one) + 1);
    print_parameter_sets(out, "sps", a.sps);
    print_parameter_sets(out, "pps", a.pps);
    if (a.has_extension) {
        out.field("chroma_format", uint64_t(a.chroma_format));
        out.field("bit_depth_luma", uint64_t(a.bit_depth_luma_minus8) + 8);
        out.field("bit_depth_chroma", uint64_t(a.bit_depth_chroma_minus8) + 8);
        print_parameter_sets(out, "sps_ext", a.sps_ext);
    }
    out.end_object();
}

void print_hvcc(ProbeOutput &out, const HevcConfig &h) {
    out.begin_object("hvcC");
    out.field("profile", uint64_t(h.general_profile_idc));
    out.field("tier", uint64_t(h.general_tier_flag));
    out.field("level", uint64_t(h.general_level_idc));
    out.field("length_size", uint64_t(h.length_size_minus_one) + 1);
    out.begin_array("arrays");
    for (const NalArray *a = h.arrays_head; a; a = a->next) {
        out.begin_object();
        out.field("nal_unit_type", uint64_t(a->nal_unit_type));
        out.field("complete", uint64_t(a->array_completeness));
        print_parameter_sets(out, "nal_units", a->nal_units);
        out.end_object();
    }
    out.end_array();
    out.end_object();
}

void print_protection(ProbeOutput &out, const SampleEntry &e) {
    out.begin_array("protection");
    for (const SinfRecord *s = e.sinf_head; s; s = s->next) {
        out.begin_object();
        if (s->scheme.has_frma) out.field("original_format", fourcc_text(s->scheme.data_format));
        if (s->scheme.has_schm) {
            out.field("scheme_type", fourcc_text(s->scheme.scheme_type));
            out.field_hex("scheme_version", s->scheme.scheme_version);
        }
        if (s->scheme.has_tenc) {
            out.field("default_is_encrypted", uint64_t(s->scheme.default_is_encrypted));
            out.field("default_iv_size", uint64_t(s->scheme.default_iv_size));
            out.field("default_kid", hex_bytes(s->scheme.default_kid, sizeof s->scheme.default_kid));
        }
        out.end_object();
    }
    out.end_array();
}

void print_entry(ProbeOutput &out, const SampleEntry &e) {
    out.begin_object();
    out.field("kind", std::string(kind_name(e.kind)));
    out.field("entry_type", fourcc_text(e.entry_type));
    out.field("data_reference_index", uint64_t(e.data_reference_index));
    if (e.kind == BXF_FORMAT_TYPE_MP4V || e.kind == BXF_FORMAT_TYPE_AVC1 || e.kind == BXF_FORMAT_TYPE_HVC1) {
        out.field("width", uint64_t(e.visual.width));
        out.field("height", uint64_t(e.visual.height));
        out.field("depth", uint64_t(e.visual.depth));
    }
    if (e.kind == BXF_FORMAT_TYPE_MP4A) {
        out.field("entry_version", uint64_t(e.audio.entry_version));
        out.field("channels", uint64_t(e.audio.channel_count));
        out.field("sample_size", uint64_t(e.audio.sample_size));
        out.field("sample_rate", uint64_t(e.audio.sample_rate >> 16));
        if (e.audio.has_srat) out.field("srat", uint64_t(e.audio.srat));
    }
    if (e.esds) print_esds(out, *e.esds);
    if (e.avcc) print_avcc(out, *e.avcc);
    if (e.hvcc) print_hvcc(out, *e.hvcc);
    if (e.sinf_head) print_protection(out, e);
    out.end_object();
}

// An opened track's edits, and the offset that players apply when the list
// is at most one leading empty edit (a delay, in the movie time scale) and
// one edit of media (whose media_time is the presentation start): the
// media time that presents at 0 is media_start - delay, in the media time
// scale. Other lists are printed but not applied.
uint32_t print_edits(ProbeOutput &out, PlayHandle *handle, uint32_t track, uint32_t count, uint32_t media_scale) {
    const MovieRecord *movie = nullptr;
    uint32_t ret = bxf_play_get_movie(handle, &movie);
    out.begin_array("edits");
    std::vector<EditListEntry> edits;
    for (uint32_t e = 1; ret == BXF_RET_OK && e <= count; ++e) {
        EditListEntry entry{};
        if ((ret = bxf_get_edit_list_entry(handle, track, e, &entry)) != BXF_RET_OK) break;
        edits.push_back(entry);
        out.begin_object();
        out.field("segment_duration", entry.segment_duration);
        out.field_signed("media_time", entry.media_time);
        out.field_signed("media_rate", entry.media_rate_integer);
        out.end_object();
    }
    out.end_array();
    if (ret == BXF_RET_NOTFOUND) return BXF_RET_OK;  // a count past the entries the box holds: none applied
    if (ret != BXF_RET_OK) return ret;
    const bool delayed = edits.size() == 2 && edits[0].media_time == -1;
    const EditListEntry *media = edits.size() == 1 ? &edits[0] : delayed ? &edits[1] : nullptr;
    if (!media || media->media_time < 0 || movie->moov.time_scale == 0) return BXF_RET_OK;
    const uint64_t delay = delayed ? edits[0].segment_duration : 0;
    // The delay in the media time scale, rounded down.
    const unsigned __int128 scaled = (unsigned __int128)delay * media_scale / movie->moov.time_scale;
    out.field("edit_delay", delay);
    out.field_signed("edit_media_start", media->media_time);
    if (scaled <= uint64_t(INT64_MAX)) out.field_signed("edit_offset", int64_t(scaled) - media->media_time);
    return BXF_RET_OK;
}

uint32_t print_track(ProbeOutput &out, PlayHandle *handle, uint32_t track, const FileOps &ops, void *file) {
    TrackHeaderInfo th{};
    MediaHeaderInfo mh{};
    HandlerInfo hd{};
    const bool has_tkhd = bxf_get_track_header(handle, track, &th) == BXF_RET_OK;
    const bool has_mdhd = bxf_get_media_header(handle, track, &mh) == BXF_RET_OK;
    const bool has_hdlr = bxf_get_handler(handle, track, &hd) == BXF_RET_OK;
    out.begin_object();
    out.field("track", uint64_t(track));
    if (has_tkhd) {
        out.field("track_id", uint64_t(th.track_id));
        out.field_hex("flags", th.flags);
        out.field("duration", th.duration);
        out.field("width", uint64_t(th.width_integer));
        out.field("height", uint64_t(th.height_integer));
    }
    if (has_mdhd) {
        out.field("time_scale", uint64_t(mh.time_scale));
        out.field("media_duration", mh.duration);
        out.field("language", language_text(mh.language));
    }
    if (has_hdlr) {
        out.field("handler", fourcc_text(hd.handler_type));
        out.field("handler_name", read_name(ops, file, hd.handler_name));
    }
    uint32_t ret = bxf_open_track(handle, track);
    uint32_t elst_flags = 0, elst_count = 0;
    if (ret == BXF_RET_OK) ret = bxf_get_edit_list_info(handle, track, &elst_flags, &elst_count);
    if (ret == BXF_RET_OK) out.field("edit_list_entries", uint64_t(elst_count));
    if (ret == BXF_RET_OK && elst_count != 0) ret = print_edits(out, handle, track, elst_count, mh.time_scale);
    SampleDescriptions *d = nullptr;
    if (ret == BXF_RET_OK) {
        ret = bxf_get_sample_descriptions(handle, track, &d);
        if (ret == BXF_RET_NOTFOUND) ret = BXF_RET_OK;  // a track without stsd
    }
    out.begin_array("sample_entries");
    for (const SampleEntry *e = d ? d->head : nullptr; e; e = e->next) print_entry(out, *e);
    out.end_array();
    bxf_release_sample_descriptions(handle, d);
    if (ret != BXF_RET_OK) out.field("error", std::string(bxf_ret_name(ret)));
    out.end_object();
    return ret;
}

}  // namespace

uint32_t print_tracks(ProbeOutput &out, PlayHandle *handle, const FileOps &ops, void *file) {
    uint32_t count = 0, first_error = BXF_RET_OK;
    bxf_get_track_count(handle, &count);
    out.begin_array("tracks");
    for (uint32_t track = 1; track <= count; ++track) {
        const uint32_t ret = print_track(out, handle, track, ops, file);
        if (first_error == BXF_RET_OK) first_error = ret;
    }
    out.end_array();
    return first_error;
}

void print_vendor_profiles(ProbeOutput &out, PlayHandle *handle, const MovieRecord &movie) {
    if (!movie.prof.payload.offset) return;
    out.begin_array("profiles");
    uint32_t vprf = 0;
    for (const VendorEntry *e = movie.prof.head; e; e = e->next) {
        out.begin_object();
        out.field("type", fourcc_text(e->type));
        out.range("body", e->body.offset, e->body.size);
        VideoProfileInfo v;
        if (e->type == BXF_FOURCC('V', 'P', 'R', 'F') && bxf_get_video_profile(handle, ++vprf, &v) == BXF_RET_OK) {
            for (uint32_t w : {v.word1, v.word2, v.word3, v.word4, v.word5, v.word6}) out.field_hex(nullptr, w);
        }
        out.end_object();
    }
    out.end_array();
}

void print_random_access(ProbeOutput &out, const MovieRecord &movie) {
    if (!movie.mfra_body.offset) return;
    out.begin_array("random_access");
    for (const TfraRecord *t = movie.tfra_head; t; t = t->next) {
        out.begin_object();
        out.field("track_id", uint64_t(t->track_id));
        out.field("version", uint64_t(t->version_flags >> 24));
        out.field("entry_count", uint64_t(t->entry_count));
        out.field("entry_size", uint64_t(t->entry_size));
        out.end_object();
    }
    out.end_array();
}
