// Readers of the decoder configurations and protection boxes found among a
// sample entry's children, each on the in-memory entries buffer, with the
// releases of what they build.
#ifndef BXF_SAMPLE_ENTRY_PARSERS_H
#define BXF_SAMPLE_ENTRY_PARSERS_H

#include "blob.h"
#include "buffer_walk.h"

namespace bxf {

// esds.cpp
uint32_t parse_esds(const BufferIo &io, const BoxRecord &esds, EsdsRecord **out);
uint32_t parse_es_descriptor(const BufferIo &io, const BoxRecord &descriptor, EsdsRecord &esds);
uint32_t parse_decoder_config(const BufferIo &io, const BoxRecord &descriptor, EsdsRecord &esds);
void release_esds(LibraryInstance *inst, EsdsRecord *esds);

// avc_config.cpp
uint32_t parse_avcc(const BufferIo &io, const BoxRecord &avcc, AvcConfig **out);
// Up to `count` length-prefixed sets, while a length fits in what remains.
uint32_t parse_parameter_sets(LibraryInstance *inst, ByteCursor &c, uint32_t count, ParameterSetList &list);
void release_parameter_sets(LibraryInstance *inst, ParameterSetList &list);
void release_avc_config(LibraryInstance *inst, AvcConfig *avcc);

// hevc_config.cpp
uint32_t parse_hvcc(const BufferIo &io, const BoxRecord &hvcc, HevcConfig **out);
void release_hevc_config(LibraryInstance *inst, HevcConfig *hvcc);

// scheme_info.cpp: the children of a `sinf` or `rinf` (`kind` says which).
uint32_t parse_scheme_info(const BufferIo &io, const BoxRecord &container, uint32_t kind, SchemeInfo &out);
void release_scheme_info(LibraryInstance *inst, SchemeInfo &info);

// audio_extensions.cpp: dac3, dec3, ddts, fcfg.
uint32_t parse_dac3(const BufferIo &io, const BoxRecord &box, Dac3Info **out);
uint32_t parse_dec3(const BufferIo &io, const BoxRecord &box, Dec3Info **out);
uint32_t parse_ddts(const BufferIo &io, const BoxRecord &box, DdtsInfo **out);
uint32_t parse_fcfg(const BufferIo &io, const BoxRecord &box, FcfgInfo **out);
void release_audio_extensions(LibraryInstance *inst, SampleEntry &entry);

// sound_description.cpp: QuickTime's version 1 and 2 fields after the 28
// bytes of an audio entry (the cursor stays where they are absent), and the
// `wave` (its `enda` and `esds`) and `chan` children.
void read_sound_description_fields(ByteCursor &c, uint16_t entry_version, SoundDescription &qt);
uint32_t read_wave(const BufferIo &io, const BoxRecord &box, SampleEntry &e);
uint32_t read_chan(const BufferIo &io, const BoxRecord &box, SampleEntry &e);

// Allocates a T and hands it out only when `fill` succeeds; otherwise
// `release` takes back whatever the fill had attached.
template <class T, class Fill>
uint32_t build_record(LibraryInstance *inst, T **out, Fill &&fill, void (*release)(LibraryInstance *, T *)) {
    T *record = alloc_record<T>(inst);
    if (!record) return BXF_RET_NOMEM;
    const uint32_t ret = fill(*record);
    if (ret != BXF_RET_OK) {
        release(inst, record);
        return ret;
    }
    *out = record;
    return BXF_RET_OK;
}

}  // namespace bxf

#endif
