// esds (ISO/IEC 14496-14 5.6): an ES_Descriptor of ISO/IEC 14496-1 whose
// DecoderConfigDescriptor and DecoderSpecificInfo the pins need. Lengths that
// overrun the box are clipped to it: every complete descriptor inside counts.
#include "sample_entry_parsers.h"

namespace bxf {

namespace {

constexpr uint32_t kEsDescriptorTag = 3, kDecoderConfigTag = 4, kDecoderSpecificInfoTag = 5;

// The length a descriptor's header states (the walk clips it to the box).
uint64_t stated_length(const BufferIo &io, const BoxRecord &descriptor) {
    uint64_t length = 0;
    for (uint64_t at = descriptor.m_box_offset + 1; at < descriptor.m_body_offset; ++at)
        length = length << 7 | (io.data[at] & 0x7Fu);
    return length;
}

// Kept only whole: one cut by the end of the box is no configuration.
uint32_t read_decoder_specific_info(const BufferIo &io, const BoxRecord &descriptor, EsdsRecord &esds) {
    if (stated_length(io, descriptor) != descriptor.m_body_size) return BXF_RET_OK;
    ByteCursor c = io.body(descriptor);
    return copy_blob(io.inst, c, descriptor.m_body_size, &esds.decoder_specific_info);
}

const BufferRule<EsdsRecord> kEsdsTop[] = {{kEsDescriptorTag, Occurs::once, parse_es_descriptor}};
const BufferRule<EsdsRecord> kEsDescriptor[] = {{kDecoderConfigTag, Occurs::once, parse_decoder_config}};
const BufferRule<EsdsRecord> kDecoderConfig[] = {{kDecoderSpecificInfoTag, Occurs::once, read_decoder_specific_info}};

}  // namespace

// ES_ID, then the flags that announce optional fields; they are checked to
// find where the sub-descriptors start, and dropped.
uint32_t parse_es_descriptor(const BufferIo &io, const BoxRecord &descriptor, EsdsRecord &esds) {
    ByteCursor c = io.body(descriptor);
    c.u16();  // ES_ID
    const uint8_t flags = c.u8();
    if (flags & 0x80) c.u16();         // dependsOn_ES_ID
    if (flags & 0x40) c.skip(c.u8());  // URLlength, URLstring
    if (flags & 0x20) c.u16();         // OCR_ES_Id
    if (!c.ok()) return BXF_RET_FORMAT;
    return walk_buffer(io, children_of(descriptor, c.position()), kEsDescriptor, esds, HeaderKind::descriptor);
}

uint32_t parse_decoder_config(const BufferIo &io, const BoxRecord &descriptor, EsdsRecord &esds) {
    ByteCursor c = io.body(descriptor);
    DecoderConfig d{};
    d.object_type_indication = c.u8();
    const uint8_t stream = c.u8();
    d.stream_type = stream >> 2;
    d.up_stream = (stream >> 1) & 1;
    d.buffer_size_db = c.u24();
    d.max_bitrate = c.u32();
    d.avg_bitrate = c.u32();
    if (!c.ok()) return BXF_RET_FORMAT;
    esds.decoder_config = d;
    esds.has_decoder_config = 1;
    return walk_buffer(io, children_of(descriptor, c.position()), kDecoderConfig, esds, HeaderKind::descriptor);
}

uint32_t parse_esds(const BufferIo &io, const BoxRecord &box, EsdsRecord **out) {
    ByteCursor c = io.body(box);
    uint32_t version = 0, flags = 0;
    if (!read_version(c, 0, &version, &flags)) return BXF_RET_FORMAT;
    return build_record(
        io.inst, out,
        [&](EsdsRecord &esds) {
            const uint32_t ret = copy_blob(io.inst, c, c.remaining(), &esds.descriptors);
            if (ret != BXF_RET_OK) return ret;
            return walk_buffer(io, children_of(box, 4), kEsdsTop, esds, HeaderKind::descriptor);
        },
        release_esds);
}

void release_esds(LibraryInstance *inst, EsdsRecord *esds) {
    if (!esds) return;
    release_blob(inst, esds->descriptors);
    release_blob(inst, esds->decoder_specific_info);
    bxf_free(inst, esds);
}

}  // namespace bxf
