// Codec boxes of audio entries that only travel with the entry: AC-3 and
// Enhanced AC-3 (ETSI TS 102 366 annex F), DTS (ETSI TS 102 114 annex E)
// and `fcfg`, whose layout is the vendor's and is kept as bytes.
#include "sample_entry_parsers.h"

namespace bxf {

namespace {

// A pool-1 copy of a record that owns nothing.
template <class T>
uint32_t keep_copy(LibraryInstance *inst, const T &fields, T **out) {
    T *record = alloc_record<T>(inst);
    if (!record) return BXF_RET_NOMEM;
    *record = fields;
    *out = record;
    return BXF_RET_OK;
}

// Records that keep the whole body as bytes release it with themselves.
template <class T>
void free_record_with_bytes(LibraryInstance *inst, T *record) {
    if (record) release_blob(inst, record->bytes);
    bxf_free(inst, record);
}

}  // namespace

uint32_t parse_dac3(const BufferIo &io, const BoxRecord &box, Dac3Info **out) {
    ByteCursor c = io.body(box);
    const uint32_t bits = c.u24();
    if (!c.ok()) return BXF_RET_FORMAT;
    Dac3Info d{};
    d.fscod = bits >> 22;
    d.bsid = (bits >> 17) & 0x1F;
    d.bsmod = (bits >> 14) & 0x07;
    d.acmod = (bits >> 11) & 0x07;
    d.lfeon = (bits >> 10) & 0x01;
    d.bit_rate_code = (bits >> 5) & 0x1F;
    return keep_copy(io.inst, d, out);
}

uint32_t parse_dec3(const BufferIo &io, const BoxRecord &box, Dec3Info **out) {
    ByteCursor c = io.body(box);
    const uint16_t head = c.u16();
    if (!c.ok()) return BXF_RET_FORMAT;
    return build_record(
        io.inst, out,
        [&](Dec3Info &d) {
            d.data_rate = head >> 3;
            d.num_ind_sub = head & 0x07;
            ByteCursor whole = io.body(box);
            return copy_blob(io.inst, whole, box.m_body_size, &d.bytes);
        },
        free_record_with_bytes<Dec3Info>);
}

uint32_t parse_ddts(const BufferIo &io, const BoxRecord &box, DdtsInfo **out) {
    ByteCursor c = io.body(box);
    DdtsInfo fields{};
    fields.dts_sampling_frequency = c.u32();
    fields.max_bitrate = c.u32();
    fields.avg_bitrate = c.u32();
    fields.pcm_sample_depth = c.u8();
    fields.packed_fields = c.u32();
    fields.channel_layout = c.u16();
    c.u8();  // multi-asset, LBR duration and reserved-box flags
    if (!c.ok()) return BXF_RET_FORMAT;
    return keep_copy(io.inst, fields, out);
}

uint32_t parse_fcfg(const BufferIo &io, const BoxRecord &box, FcfgInfo **out) {
    return build_record(
        io.inst, out,
        [&](FcfgInfo &f) {
            ByteCursor c = io.body(box);
            return copy_blob(io.inst, c, box.m_body_size, &f.bytes);
        },
        free_record_with_bytes<FcfgInfo>);
}

void release_audio_extensions(LibraryInstance *inst, SampleEntry &entry) {
    bxf_free(inst, entry.dac3_info);
    free_record_with_bytes(inst, entry.dec3_info);
    bxf_free(inst, entry.ddts_info);
    free_record_with_bytes(inst, entry.fcfg_info);
    entry.dac3_info = nullptr;
    entry.dec3_info = nullptr;
    entry.ddts_info = nullptr;
    entry.fcfg_info = nullptr;
}

}  // namespace bxf
