// hvcC (ISO/IEC 14496-15 8.3.3.1): the HEVCDecoderConfigurationRecord and
// its arrays of parameter-set NAL units.
#include "sample_entry_parsers.h"

namespace bxf {

namespace {

// The 23 fixed bytes, in their standard bit positions.
void read_fixed_fields(ByteCursor &c, HevcConfig &h) {
    h.configuration_version = c.u8();
    const uint8_t profile = c.u8();
    h.general_profile_space = profile >> 6;
    h.general_tier_flag = (profile >> 5) & 0x01;
    h.general_profile_idc = profile & 0x1F;
    h.general_profile_compatibility_flags = c.u32();
    const uint64_t constraint_high = c.u16();  // read apart: the two reads must happen in this order
    h.general_constraint_indicator_flags = (constraint_high << 32) | c.u32();
    h.general_level_idc = c.u8();
    h.min_spatial_segmentation_idc = c.u16();
    h.parallelism_type = c.u8() & 0x03;
    h.chroma_format = c.u8() & 0x03;
    h.bit_depth_luma_minus8 = c.u8() & 0x07;
    h.bit_depth_chroma_minus8 = c.u8() & 0x07;
    h.avg_frame_rate = c.u16();
    const uint8_t rates = c.u8();
    h.constant_frame_rate = rates >> 6;
    h.num_temporal_layers = (rates >> 3) & 0x07;
    h.temporal_id_nested = (rates >> 2) & 0x01;
    h.length_size_minus_one = rates & 0x03;
}

uint32_t fill_hvcc(LibraryInstance *inst, ByteCursor &c, HevcConfig &h) {
    read_fixed_fields(c, h);
    const uint8_t array_count = c.u8();
    if (!c.ok()) return BXF_RET_FORMAT;
    for (uint32_t i = 0; i < array_count && c.remaining() >= 3; ++i) {
        auto *array = alloc_record<NalArray>(inst);
        if (!array) return BXF_RET_NOMEM;
        append_node(h.arrays_head, h.arrays_tail, array);
        ++h.array_count;
        const uint8_t head = c.u8();
        array->array_completeness = head >> 7;
        array->nal_unit_type = head & 0x3F;
        const uint32_t ret = parse_parameter_sets(inst, c, c.u16(), array->nal_units);
        if (ret != BXF_RET_OK) return ret;
    }
    return BXF_RET_OK;
}

}  // namespace

uint32_t parse_hvcc(const BufferIo &io, const BoxRecord &box, HevcConfig **out) {
    if (box.m_body_size < 23) return BXF_RET_FORMAT;
    ByteCursor c = io.body(box);
    return build_record(
        io.inst, out, [&](HevcConfig &h) { return fill_hvcc(io.inst, c, h); }, release_hevc_config);
}

void release_hevc_config(LibraryInstance *inst, HevcConfig *hvcc) {
    if (!hvcc) return;
    for (NalArray *a = hvcc->arrays_head; a; a = a->next) release_parameter_sets(inst, a->nal_units);
    free_list(inst, hvcc->arrays_head);
    bxf_free(inst, hvcc);
}

}  // namespace bxf
