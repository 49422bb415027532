// avcC (ISO/IEC 14496-15 5.3.3.1): the AVCDecoderConfigurationRecord with
// its sequence and picture parameter sets.
#include "sample_entry_parsers.h"

namespace bxf {

namespace {

// Only these profiles carry the chroma format, bit depths and SPS extension
// sets after the PPS.
bool has_high_profile_fields(uint8_t profile) {
    return profile == 100 || profile == 110 || profile == 122 || profile == 144;
}

uint32_t fill_avcc(LibraryInstance *inst, ByteCursor &c, AvcConfig &avcc) {
    avcc.configuration_version = c.u8();
    avcc.avc_profile_indication = c.u8();
    avcc.profile_compatibility = c.u8();
    avcc.avc_level_indication = c.u8();
    avcc.length_size_minus_one = c.u8() & 0x03;
    const uint8_t sps_count = c.u8() & 0x1F;
    if (!c.ok()) return BXF_RET_FORMAT;
    uint32_t ret = parse_parameter_sets(inst, c, sps_count, avcc.sps);
    if (ret != BXF_RET_OK) return ret;
    const uint8_t pps_count = c.u8();
    if (!c.ok()) return BXF_RET_FORMAT;
    ret = parse_parameter_sets(inst, c, pps_count, avcc.pps);
    if (ret != BXF_RET_OK) return ret;

    if (!has_high_profile_fields(avcc.avc_profile_indication) || c.remaining() < 4) return BXF_RET_OK;
    avcc.chroma_format = c.u8() & 0x03;
    avcc.bit_depth_luma_minus8 = c.u8() & 0x07;
    avcc.bit_depth_chroma_minus8 = c.u8() & 0x07;
    const uint8_t ext_count = c.u8();
    avcc.has_extension = 1;
    return parse_parameter_sets(inst, c, ext_count, avcc.sps_ext);
}

}  // namespace

uint32_t parse_parameter_sets(LibraryInstance *inst, ByteCursor &c, uint32_t count, ParameterSetList &list) {
    // Running out of bytes before `count` sets ends the list quietly; a
    // length past the bytes left is malformed.
    for (uint32_t i = 0; i < count && c.remaining() >= 2; ++i) {
        const uint16_t length = c.u16();
        if (length > c.remaining()) return BXF_RET_FORMAT;
        auto *set = alloc_record<ParameterSet>(inst);
        if (!set) return BXF_RET_NOMEM;
        append_node(list.head, list.tail, set);
        ++list.count;
        const uint32_t ret = copy_blob(inst, c, length, &set->bytes);
        if (ret != BXF_RET_OK) return ret;
    }
    return BXF_RET_OK;
}

void release_parameter_sets(LibraryInstance *inst, ParameterSetList &list) {
    for (ParameterSet *s = list.head; s; s = s->next) release_blob(inst, s->bytes);
    free_list(inst, list.head);
    list = ParameterSetList{};
}

uint32_t parse_avcc(const BufferIo &io, const BoxRecord &box, AvcConfig **out) {
    if (box.m_body_size < 6) return BXF_RET_FORMAT;
    ByteCursor c = io.body(box);
    return build_record(
        io.inst, out, [&](AvcConfig &avcc) { return fill_avcc(io.inst, c, avcc); }, release_avc_config);
}

void release_avc_config(LibraryInstance *inst, AvcConfig *avcc) {
    if (!avcc) return;
    release_parameter_sets(inst, avcc->sps);
    release_parameter_sets(inst, avcc->pps);
    release_parameter_sets(inst, avcc->sps_ext);
    bxf_free(inst, avcc);
}

}  // namespace bxf
