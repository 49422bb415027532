// The queries on a track's sample descriptions: the entries' fixed fields
// and their decoder configurations, copied into the caller's records.
#include <cstring>

#include "play_handle.h"
#include "sample_entries.h"

namespace bxf {

namespace {

bool is_visual(uint32_t kind) {
    return kind == BXF_FORMAT_TYPE_MP4V || kind == BXF_FORMAT_TYPE_AVC1 || kind == BXF_FORMAT_TYPE_HVC1;
}
bool has_esds_kind(uint32_t kind) {
    return kind == BXF_FORMAT_TYPE_MP4V || kind == BXF_FORMAT_TYPE_MP4A || kind == BXF_FORMAT_TYPE_MP4S;
}

uint32_t find_entry(const PlayHandle *handle, const SampleDescriptions *d, uint32_t entry, const SampleEntry **out) {
    if (!handle || !d || entry == 0) return BXF_RET_ARGS;
    const SampleEntry *e = d->head;
    for (uint32_t n = 1; e && n < entry; ++n) e = e->next;
    if (!e) return BXF_RET_NOTFOUND;
    *out = e;
    return BXF_RET_OK;
}

// The visual and audio queries check the handler of the track the
// descriptions came from.
uint32_t track_handler(const PlayHandle *handle, const SampleDescriptions *d, uint32_t *out) {
    const TrackNode *node = handle->movie.moov.tracks_head;
    for (uint32_t n = 1; node && n < d->track_number; ++n) node = node->next;
    if (!node || d->track_number == 0) return BXF_RET_NOTFOUND;
    *out = node->handler_type;
    return BXF_RET_OK;
}

// The entry, for the queries that serve one handler: the visual queries a
// `vide` track's entries, the audio queries a `soun` track's.
uint32_t find_entry_of_handler(const PlayHandle *handle, const SampleDescriptions *d, uint32_t entry, bool has_out,
                               uint32_t handler_type, const SampleEntry **out) {
    if (!has_out) return BXF_RET_ARGS;
    uint32_t ret = find_entry(handle, d, entry, out);
    if (ret != BXF_RET_OK) return ret;
    uint32_t handler = 0;
    if ((ret = track_handler(handle, d, &handler)) != BXF_RET_OK) return ret;
    return handler == handler_type ? BXF_RET_OK : BXF_RET_STATE;
}

uint32_t find_esds(const PlayHandle *handle, const SampleDescriptions *d, uint32_t entry, const EsdsRecord **out) {
    const SampleEntry *e = nullptr;
    uint32_t ret = find_entry(handle, d, entry, &e);
    if (ret != BXF_RET_OK) return ret;
    if (!has_esds_kind(e->kind)) return BXF_RET_STATE;
    if (!e->esds) return BXF_RET_NOTFOUND;
    *out = e->esds;
    return BXF_RET_OK;
}

uint32_t find_avcc(const PlayHandle *handle, const SampleDescriptions *d, uint32_t entry, const AvcConfig **out) {
    const SampleEntry *e = nullptr;
    uint32_t ret = find_entry(handle, d, entry, &e);
    if (ret != BXF_RET_OK) return ret;
    if (e->kind != BXF_FORMAT_TYPE_AVC1) return BXF_RET_STATE;
    if (!e->avcc) return BXF_RET_INTERNAL;
    *out = e->avcc;
    return BXF_RET_OK;
}

uint32_t find_parameter_set(const PlayHandle *handle, const SampleDescriptions *d, uint32_t entry, bool sps,
                            uint32_t set, const Blob **out) {
    if (set == 0) return BXF_RET_ARGS;
    const AvcConfig *avcc = nullptr;
    uint32_t ret = find_avcc(handle, d, entry, &avcc);
    if (ret != BXF_RET_OK) return ret;
    const ParameterSet *p = (sps ? avcc->sps : avcc->pps).head;
    for (uint32_t n = 1; p && n < set; ++n) p = p->next;
    if (!p) return BXF_RET_NOTFOUND;
    *out = &p->bytes;
    return BXF_RET_OK;
}

// Copying queries test the length first, then zero the whole buffer and
// copy to its start. The buffer pointer was checked with the other arguments.
uint32_t copy_out(const Blob &blob, uint32_t capacity, uint8_t *out) {
    if (blob.length == 0) return BXF_RET_NOTFOUND;
    if (capacity < blob.length) return BXF_RET_ARGS;
    std::memset(out, 0, capacity);
    std::memcpy(out, blob.data, blob.length);
    return BXF_RET_OK;
}

uint32_t parameter_set_size(const PlayHandle *handle, const SampleDescriptions *d, uint32_t entry, bool sps,
                            uint32_t set, uint32_t *out_size) {
    if (!out_size) return BXF_RET_ARGS;
    const Blob *blob = nullptr;
    uint32_t ret = find_parameter_set(handle, d, entry, sps, set, &blob);
    if (ret != BXF_RET_OK) return ret;
    *out_size = blob->length;
    return BXF_RET_OK;
}

uint32_t parameter_set_bytes(const PlayHandle *handle, const SampleDescriptions *d, uint32_t entry, bool sps,
                             uint32_t set, uint32_t capacity, uint8_t *out_buffer) {
    if (!out_buffer) return BXF_RET_ARGS;
    const Blob *blob = nullptr;
    uint32_t ret = find_parameter_set(handle, d, entry, sps, set, &blob);
    if (ret != BXF_RET_OK) return ret;
    return copy_out(*blob, capacity, out_buffer);
}

}  // namespace

}  // namespace bxf

using namespace bxf;

extern "C" uint32_t bxf_get_sample_descriptions(PlayHandle *handle, uint32_t track, SampleDescriptions **out) {
    if (!handle || !out || track == 0) return BXF_RET_ARGS;
    if (track > handle->movie.moov.track_count) return BXF_RET_NOTFOUND;
    const OpenedTrack *opened = find_opened_track(handle, track);
    if (!opened) return BXF_RET_STATE;
    const SampleTableRecord &tables = opened->tables;
    if (!range_present(tables.stsd_entries)) return BXF_RET_NOTFOUND;
    auto *d = alloc_record<SampleDescriptions>(handle->instance);
    if (!d) return BXF_RET_NOMEM;
    uint32_t ret = parse_sample_descriptions(Io{handle->instance, handle->file}, tables.stsd_entries,
                                             opened->handler_type, tables.stsd_entry_count, d);
    if (ret != BXF_RET_OK) {
        bxf_free(handle->instance, d);
        return ret;
    }
    d->track_number = track;
    *out = d;
    return BXF_RET_OK;
}

extern "C" uint32_t bxf_release_sample_descriptions(PlayHandle *handle, SampleDescriptions *descriptions) {
    if (!handle || !descriptions) return BXF_RET_OK;
    release_sample_entries(handle->instance, descriptions);
    bxf_free(handle->instance, descriptions);
    return BXF_RET_OK;
}

extern "C" uint32_t bxf_get_sample_description_count(const PlayHandle *handle, const SampleDescriptions *d,
                                                     uint32_t *out_count) {
    if (!handle || !d || !out_count) return BXF_RET_ARGS;
    *out_count = d->entry_count;
    return BXF_RET_OK;
}

extern "C" uint32_t bxf_get_visual_entry(const PlayHandle *handle, const SampleDescriptions *d, uint32_t entry,
                                         VisualEntryInfo *out) {
    const SampleEntry *e = nullptr;
    uint32_t ret = find_entry_of_handler(handle, d, entry, out != nullptr, BXF_HDLR_MEDIA_VIDEO_AND_IMAGE, &e);
    if (ret != BXF_RET_OK) return ret;
    if (!is_visual(e->kind)) return BXF_RET_INTERNAL;
    VisualEntryInfo info{};
    info.kind = e->kind;
    info.entry_type = e->entry_type;
    info.data_reference_index = e->data_reference_index;
    info.width = e->visual.width;
    info.height = e->visual.height;
    info.horizresolution_integer = uint16_t(e->visual.horizresolution >> 16);
    info.horizresolution_fraction = uint16_t(e->visual.horizresolution);
    info.vertresolution_integer = uint16_t(e->visual.vertresolution >> 16);
    info.vertresolution_fraction = uint16_t(e->visual.vertresolution);
    info.frame_count = e->visual.frame_count;
    std::memcpy(info.compressorname, e->visual.compressorname, sizeof info.compressorname);
    info.depth = e->visual.depth;
    *out = info;
    return BXF_RET_OK;
}

extern "C" uint32_t bxf_get_audio_entry(const PlayHandle *handle, const SampleDescriptions *d, uint32_t entry,
                                        AudioEntryInfo *out) {
    const SampleEntry *e = nullptr;
    uint32_t ret = find_entry_of_handler(handle, d, entry, out != nullptr, BXF_HDLR_MEDIA_SOUND, &e);
    if (ret != BXF_RET_OK) return ret;
    if (e->kind != BXF_FORMAT_TYPE_MP4A) return BXF_RET_STATE;
    AudioEntryInfo info{};
    info.kind = e->kind;
    info.entry_type = e->entry_type;
    info.data_reference_index = e->data_reference_index;
    info.entry_version = e->audio.entry_version;
    info.channel_count = e->audio.channel_count;
    info.sample_size = e->audio.sample_size;
    info.sample_rate_integer = uint16_t(e->audio.sample_rate >> 16);
    info.sample_rate_fraction = uint16_t(e->audio.sample_rate);
    info.has_sampling_rate_box = e->audio.has_srat;
    *out = info;
    return BXF_RET_OK;
}

extern "C" uint32_t bxf_get_esds_size(const PlayHandle *handle, const SampleDescriptions *d, uint32_t entry,
                                      uint32_t *out_size) {
    if (!out_size) return BXF_RET_ARGS;
    const EsdsRecord *esds = nullptr;
    uint32_t ret = find_esds(handle, d, entry, &esds);
    if (ret != BXF_RET_OK) return ret;
    *out_size = esds->descriptors.length;
    return BXF_RET_OK;
}

extern "C" uint32_t bxf_get_esds_bytes(const PlayHandle *handle, const SampleDescriptions *d, uint32_t entry,
                                       uint32_t capacity, uint8_t *out_buffer) {
    if (!out_buffer) return BXF_RET_ARGS;
    const EsdsRecord *esds = nullptr;
    uint32_t ret = find_esds(handle, d, entry, &esds);
    if (ret != BXF_RET_OK) return ret;
    return copy_out(esds->descriptors, capacity, out_buffer);
}

extern "C" uint32_t bxf_get_decoder_config(const PlayHandle *handle, const SampleDescriptions *d, uint32_t entry,
                                           DecoderConfigInfo *out) {
    if (!out) return BXF_RET_ARGS;
    const EsdsRecord *esds = nullptr;
    uint32_t ret = find_esds(handle, d, entry, &esds);
    if (ret != BXF_RET_OK) return ret;
    if (!esds->has_decoder_config) return BXF_RET_NOTFOUND;
    const DecoderConfig &c = esds->decoder_config;
    DecoderConfigInfo info{};
    info.object_type_indication = c.object_type_indication;
    info.stream_type = c.stream_type;
    info.up_stream = c.up_stream;
    info.buffer_size_db = c.buffer_size_db;
    info.max_bitrate = c.max_bitrate;
    info.avg_bitrate = c.avg_bitrate;
    info.decoder_specific_info_size = esds->decoder_specific_info.length;
    *out = info;
    return BXF_RET_OK;
}

extern "C" uint32_t bxf_get_avc_config(const PlayHandle *handle, const SampleDescriptions *d, uint32_t entry,
                                       AvcConfigInfo *out) {
    if (!out) return BXF_RET_ARGS;
    const AvcConfig *a = nullptr;
    uint32_t ret = find_avcc(handle, d, entry, &a);
    if (ret != BXF_RET_OK) return ret;
    AvcConfigInfo info{};
    info.configuration_version = a->configuration_version;
    info.avc_profile_indication = a->avc_profile_indication;
    info.profile_compatibility = a->profile_compatibility;
    info.avc_level_indication = a->avc_level_indication;
    info.length_size_minus_one = a->length_size_minus_one;
    info.sps_count = a->sps.count;
    info.pps_count = a->pps.count;
    info.has_extension = a->has_extension;
    info.chroma_format = a->chroma_format;
    info.bit_depth_luma_minus8 = a->bit_depth_luma_minus8;
    info.bit_depth_chroma_minus8 = a->bit_depth_chroma_minus8;
    info.sps_ext_count = a->sps_ext.count;
    *out = info;
    return BXF_RET_OK;
}

extern "C" uint32_t bxf_get_avc_sps_size(const PlayHandle *handle, const SampleDescriptions *d, uint32_t entry,
                                         uint32_t set, uint32_t *out_size) {
    return parameter_set_size(handle, d, entry, true, set, out_size);
}

extern "C" uint32_t bxf_get_avc_pps_size(const PlayHandle *handle, const SampleDescriptions *d, uint32_t entry,
                                         uint32_t set, uint32_t *out_size) {
    return parameter_set_size(handle, d, entry, false, set, out_size);
}

extern "C" uint32_t bxf_get_avc_sps(const PlayHandle *handle, const SampleDescriptions *d, uint32_t entry, uint32_t set,
                                    uint32_t capacity, uint8_t *out_buffer) {
    return parameter_set_bytes(handle, d, entry, true, set, capacity, out_buffer);
}

extern "C" uint32_t bxf_get_avc_pps(const PlayHandle *handle, const SampleDescriptions *d, uint32_t entry, uint32_t set,
                                    uint32_t capacity, uint8_t *out_buffer) {
    return parameter_set_bytes(handle, d, entry, false, set, capacity, out_buffer);
}
