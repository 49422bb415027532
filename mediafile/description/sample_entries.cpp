// Sample entries (ISO/IEC 14496-12 8.5.2): the handler type of the track
// decides which fixed fields an entry has and which child boxes are read;
// for video, the decoder configuration found decides the kind.
#include "sample_entries.h"

#include <initializer_list>

#include "sample_entry_parsers.h"

namespace bxf {

namespace {

// ---- Fixed fields ----------------------------------------------------------
// Each reader leaves the cursor on the first child box; a body too short
// for the fields leaves it failed (BXF_RET_FORMAT).

// SampleEntry (8.5.2.2): 6 reserved bytes, then the data reference index.
uint32_t read_data_reference(const BufferIo &, const BoxRecord &, ByteCursor &c, SampleEntry &e) {
    c.skip(6);
    e.data_reference_index = c.u16();
    return BXF_RET_OK;
}

// VisualSampleEntry (12.1.3.2): 78 bytes.
uint32_t read_visual_fields(const BufferIo &io, const BoxRecord &box, ByteCursor &c, SampleEntry &e) {
    read_data_reference(io, box, c, e);
    c.skip(16);  // pre-defined and reserved
    VisualFields &v = e.visual;
    v.width = c.u16();
    v.height = c.u16();
    v.horizresolution = c.u32();
    v.vertresolution = c.u32();
    c.skip(4);
    v.frame_count = c.u16();
    c.copy(v.compressorname, sizeof v.compressorname);
    v.depth = c.u16();
    c.skip(2);  // pre-defined
    return BXF_RET_OK;
}

// AudioSampleEntry (12.2.3.2): 28 bytes. The first reserved word is the
// QuickTime sound version; the fields its versions 1 and 2 add come next,
// then the children.
uint32_t read_audio_fields(const BufferIo &io, const BoxRecord &box, ByteCursor &c, SampleEntry &e) {
    read_data_reference(io, box, c, e);
    AudioFields &a = e.audio;
    a.entry_version = c.u16();
    c.skip(6);
    a.channel_count = c.u16();
    a.sample_size = c.u16();
    c.skip(4);  // pre-defined, reserved
    a.sample_rate = c.u32();
    if (c.ok()) read_sound_description_fields(c, a.entry_version, a.quicktime);
    if (c.ok()) a.children = io.file_range(box.m_body_offset + c.position(), c.remaining());
    return BXF_RET_OK;
}

// Graphics entry: four u16, two u32, a u16 and a u8 after the data
// reference index, children from byte 32.
uint32_t read_graphics_fields(const BufferIo &io, const BoxRecord &box, ByteCursor &c, SampleEntry &e) {
    read_data_reference(io, box, c, e);
    GraphicsFields &g = e.graphics;
    for (uint16_t &v : g.head16) v = c.u16();
    for (uint32_t &v : g.values32) v = c.u32();
    g.tail16 = c.u16();
    g.tail8 = c.u8();
    c.skip(5);
    return BXF_RET_OK;
}

// XMLSubtitleSampleEntry (12.6.3.2): three zero-terminated strings.
uint32_t read_subtitle_fields(const BufferIo &io, const BoxRecord &box, ByteCursor &c, SampleEntry &e) {
    read_data_reference(io, box, c, e);
    if (!c.ok()) return BXF_RET_FORMAT;
    SubtitleFields &s = e.subtitle;
    for (Blob *text : {&s.namespace_uri, &s.schema_location, &s.auxiliary_mime_types}) {
        const uint32_t ret = copy_string(io.inst, c, text);
        if (ret != BXF_RET_OK) return ret;
    }
    return BXF_RET_OK;
}

// Metadata entries keep everything after the data reference index as a
// range. Their boxes follow the strings that XMLMetaDataSampleEntry (3) and
// TextMetaDataSampleEntry (2) put first (12.3.3.2).
uint32_t read_meta_fields(const BufferIo &io, const BoxRecord &box, ByteCursor &c, SampleEntry &e) {
    read_data_reference(io, box, c, e);
    if (!c.ok()) return BXF_RET_FORMAT;
    e.meta_fields = io.file_range(box.m_body_offset + c.position(), c.remaining());
    int strings = 0;
    if (box.type == BXF_FOURCC('m', 'e', 't', 'x')) strings = 3;
    if (box.type == BXF_FOURCC('m', 'e', 't', 't')) strings = 2;
    for (int i = 0; i < strings; ++i) c.skip(string_span(c));
    return BXF_RET_OK;
}

// ---- Child boxes -----------------------------------------------------------

uint32_t read_esds(const BufferIo &io, const BoxRecord &box, SampleEntry &e) { return parse_esds(io, box, &e.esds); }
uint32_t read_avcc(const BufferIo &io, const BoxRecord &box, SampleEntry &e) { return parse_avcc(io, box, &e.avcc); }
uint32_t read_hvcc(const BufferIo &io, const BoxRecord &box, SampleEntry &e) { return parse_hvcc(io, box, &e.hvcc); }

uint32_t read_sinf(const BufferIo &io, const BoxRecord &box, SampleEntry &e) {
    auto *sinf = alloc_record<SinfRecord>(io.inst);
    if (!sinf) return BXF_RET_NOMEM;
    append_node(e.sinf_head, e.sinf_tail, sinf);
    ++e.sinf_count;
    sinf->box = io.file_range(box.m_box_offset, box.m_box_size);
    sinf->body = io.file_range(box.m_body_offset, box.m_body_size);
    ByteCursor c = io.body(box);
    const uint32_t ret = copy_blob(io.inst, c, box.m_body_size, &sinf->body_bytes);
    if (ret != BXF_RET_OK) return ret;
    return parse_scheme_info(io, box, BXF_SCHEME_INFO_PROTECTION, sinf->scheme);
}

void release_scheme_record(LibraryInstance *inst, SchemeInfo *info) {
    if (info) release_scheme_info(inst, *info);
    bxf_free(inst, info);
}

uint32_t read_rinf(const BufferIo &io, const BoxRecord &box, SampleEntry &e) {
    return build_record(
        io.inst, &e.rinf,
        [&](SchemeInfo &info) { return parse_scheme_info(io, box, BXF_SCHEME_INFO_RESTRICTED, info); },
        release_scheme_record);
}

// The vendor `3DDS` box is kept after its extended type.
uint32_t read_stereo_3d(const BufferIo &io, const BoxRecord &box, SampleEntry &e) {
    ByteCursor c = io.body(box);
    c.skip(16);
    return copy_blob(io.inst, c, box.m_body_size - 16, &e.stereo_3d);
}

// srat (12.2.4): a full box of version 0 with the sampling rate.
uint32_t read_srat(const BufferIo &io, const BoxRecord &box, SampleEntry &e) {
    ByteCursor c = io.body(box);
    uint32_t version = 0, flags = 0;
    const bool known = read_version(c, 0, &version, &flags);
    const uint32_t rate = c.u32();
    if (!known || !c.ok()) return BXF_RET_FORMAT;
    e.audio.has_srat = 1;
    e.audio.srat = rate;
    return BXF_RET_OK;
}

uint32_t read_3stp(const BufferIo &io, const BoxRecord &box, SampleEntry &e) {
    e.kind = BXF_FORMAT_TYPE_GRAPH_3D;
    ByteCursor c = io.body(box);
    return copy_blob(io.inst, c, box.m_body_size, &e.graphics.stereo_3stp);
}

// btrt (8.5.2.2): buffer size and the two bit rates.
uint32_t read_btrt(const BufferIo &io, const BoxRecord &box, SampleEntry &e) {
    ByteCursor c = io.body(box);
    SubtitleFields &s = e.subtitle;
    const uint32_t buffer_size = c.u32(), max_bitrate = c.u32(), avg_bitrate = c.u32();
    if (!c.ok()) return BXF_RET_FORMAT;
    s.has_btrt = 1;
    s.buffer_size_db = buffer_size;
    s.max_bitrate = max_bitrate;
    s.avg_bitrate = avg_bitrate;
    return BXF_RET_OK;
}

using EntryRule = BufferRule<SampleEntry>;

// esds, avcC and hvcC exclude one another: the first one in the entry is its
// decoder configuration.
constexpr uint8_t kDecoderConfigSlot = 1;

constexpr EntryRule kEsdsRow{BXF_FOURCC('e', 's', 'd', 's'), Occurs::once, read_esds, kDecoderConfigSlot};
constexpr EntryRule kSinfRow{BXF_FOURCC('s', 'i', 'n', 'f'), Occurs::repeat, read_sinf};

const EntryRule kVisualChildren[] = {
    kEsdsRow,
    {BXF_FOURCC('a', 'v', 'c', 'C'), Occurs::once, read_avcc, kDecoderConfigSlot},
    {BXF_FOURCC('h', 'v', 'c', 'C'), Occurs::once, read_hvcc, kDecoderConfigSlot},
    kSinfRow,
    {BXF_FOURCC('r', 'i', 'n', 'f'), Occurs::once, read_rinf},
    uuid_rule(vendor_uuid(BXF_FOURCC('3', 'D', 'D', 'S')), read_stereo_3d),
};

const EntryRule kAudioChildren[] = {
    kEsdsRow,
    kSinfRow,
    {BXF_FOURCC('s', 'r', 'a', 't'), Occurs::once, read_srat},
    {BXF_FOURCC('w', 'a', 'v', 'e'), Occurs::once, read_wave},
    {BXF_FOURCC('c', 'h', 'a', 'n'), Occurs::once, read_chan},
    {BXF_FOURCC('d', 'a', 'c', '3'), Occurs::once,
     [](const BufferIo &io, const BoxRecord &b, SampleEntry &e) { return parse_dac3(io, b, &e.dac3_info); }},
    {BXF_FOURCC('d', 'e', 'c', '3'), Occurs::once,
     [](const BufferIo &io, const BoxRecord &b, SampleEntry &e) { return parse_dec3(io, b, &e.dec3_info); }},
    {BXF_FOURCC('d', 'd', 't', 's'), Occurs::once,
     [](const BufferIo &io, const BoxRecord &b, SampleEntry &e) { return parse_ddts(io, b, &e.ddts_info); }},
    {BXF_FOURCC('f', 'c', 'f', 'g'), Occurs::once,
     [](const BufferIo &io, const BoxRecord &b, SampleEntry &e) { return parse_fcfg(io, b, &e.fcfg_info); }},
};

const EntryRule kObjectDescriptorChildren[] = {kEsdsRow};
const EntryRule kMetaChildren[] = {kSinfRow};
const EntryRule kGraphicsChildren[] = {{BXF_FOURCC('3', 'S', 'T', 'P'), Occurs::once, read_3stp}};
const EntryRule kSubtitleChildren[] = {kSinfRow, {BXF_FOURCC('b', 't', 'r', 't'), Occurs::once, read_btrt}};

// ---- One row per handler type ------------------------------------------------

struct EntryLayout {
    uint32_t handler_type;
    uint32_t kind;
    uint32_t (*read_fields)(const BufferIo &io, const BoxRecord &box, ByteCursor &c, SampleEntry &e);
    const EntryRule *children;
    size_t child_count;
};

template <size_t N>
constexpr EntryLayout layout(uint32_t handler, uint32_t kind,
                             uint32_t (*read_fields)(const BufferIo &, const BoxRecord &, ByteCursor &, SampleEntry &),
                             const EntryRule (&children)[N]) {
    return EntryLayout{handler, kind, read_fields, children, N};
}
constexpr EntryLayout layout(uint32_t handler, uint32_t kind,
                             uint32_t (*read_fields)(const BufferIo &, const BoxRecord &, ByteCursor &,
                                                     SampleEntry &)) {
    return EntryLayout{handler, kind, read_fields, nullptr, 0};
}

const EntryLayout kLayouts[] = {
    layout(BXF_FOURCC('v', 'i', 'd', 'e'), BXF_FORMAT_TYPE_MP4V, read_visual_fields, kVisualChildren),
    layout(BXF_FOURCC('s', 'o', 'u', 'n'), BXF_FORMAT_TYPE_MP4A, read_audio_fields, kAudioChildren),
    layout(BXF_FOURCC('o', 'd', 's', 'm'), BXF_FORMAT_TYPE_MP4S, read_data_reference, kObjectDescriptorChildren),
    layout(BXF_FOURCC('B', 'K', 'D', 'T'), BXF_FORMAT_TYPE_BOOK, read_data_reference),
    layout(BXF_FOURCC('m', 'e', 't', 'a'), BXF_FORMAT_TYPE_META, read_meta_fields, kMetaChildren),
    layout(BXF_FOURCC('P', 'K', 'D', 'T'), BXF_FORMAT_TYPE_PACKED_DATA, read_data_reference),
    layout(BXF_FOURCC('G', 'R', 'A', 'P'), BXF_FORMAT_TYPE_GRAPH, read_graphics_fields, kGraphicsChildren),
    layout(BXF_FOURCC('s', 'u', 'b', 't'), BXF_FORMAT_TYPE_SUBTITLE, read_subtitle_fields, kSubtitleChildren),
};

const EntryLayout *find_layout(uint32_t handler_type) {
    for (const EntryLayout &l : kLayouts)
        if (l.handler_type == handler_type) return &l;
    return nullptr;
}

uint32_t fill_entry(const BufferIo &io, const BoxRecord &box, uint32_t handler_type, SampleEntry &e) {
    e.entry_type = box.type;
    const EntryLayout *l = find_layout(handler_type);
    if (!l) return BXF_RET_OK;  // an unknown handler: the entry is kept with its type only
    e.kind = l->kind;
    ByteCursor c = io.body(box);
    uint32_t ret = l->read_fields(io, box, c, e);
    if (ret != BXF_RET_OK) return ret;
    if (!c.ok()) return BXF_RET_FORMAT;
    if (l->child_count) {
        ret = walk_buffer(io, children_of(box, c.position()), l->children, l->child_count, e);
        if (ret != BXF_RET_OK) return ret;
    }
    if (e.kind == BXF_FORMAT_TYPE_MP4V)
        e.kind = e.hvcc ? BXF_FORMAT_TYPE_HVC1 : e.avcc ? BXF_FORMAT_TYPE_AVC1 : BXF_FORMAT_TYPE_MP4V;
    return BXF_RET_OK;
}

void release_entry(LibraryInstance *inst, SampleEntry *e) {
    for (Blob *b : {&e->subtitle.namespace_uri, &e->subtitle.schema_location, &e->subtitle.auxiliary_mime_types,
                    &e->graphics.stereo_3stp, &e->stereo_3d})
        release_blob(inst, *b);
    release_esds(inst, e->esds);
    release_avc_config(inst, e->avcc);
    release_hevc_config(inst, e->hvcc);
    release_scheme_record(inst, e->rinf);
    release_audio_extensions(inst, *e);
    for (SinfRecord *s = e->sinf_head; s; s = s->next) {
        release_blob(inst, s->body_bytes);
        release_scheme_info(inst, s->scheme);
    }
    free_list(inst, e->sinf_head);
    bxf_free(inst, e);
}

}  // namespace

uint32_t parse_sample_descriptions(const Io &io, BoxRange entries, uint32_t handler_type, uint32_t entry_count,
                                   SampleDescriptions *out) {
    if (!io.inst || !io.file || !out || out->head) return BXF_RET_ARGS;
    BodyBuffer buffer(io.inst);
    uint32_t ret = buffer.read(io, entries);
    if (ret != BXF_RET_OK) return ret;
    const BufferIo bio{io.inst, buffer.data(), buffer.size(), entries.offset};

    // Built aside and handed over whole, so a failure leaves `out` as it was.
    SampleDescriptions built{};
    ret = for_each_child(bio, BoxRange{0, buffer.size()}, HeaderKind::box, entry_count,
                         [&](const BoxRecord &box) -> uint32_t {
                             auto *entry = alloc_record<SampleEntry>(io.inst);
                             if (!entry) return BXF_RET_NOMEM;
                             append_node(built.head, built.tail, entry);
                             ++built.entry_count;
                             return fill_entry(bio, box, handler_type, *entry);
                         });
    if (ret != BXF_RET_OK) {
        release_sample_entries(io.inst, &built);
        return ret;
    }
    out->head = built.head;
    out->tail = built.tail;
    out->entry_count = built.entry_count;
    return BXF_RET_OK;
}

void release_sample_entries(LibraryInstance *inst, SampleDescriptions *d) {
    if (!d) return;
    for (SampleEntry *e = d->head; e;) {
        SampleEntry *next = e->next;
        release_entry(inst, e);
        e = next;
    }
    d->head = d->tail = nullptr;
    d->entry_count = 0;
}

}  // namespace bxf
