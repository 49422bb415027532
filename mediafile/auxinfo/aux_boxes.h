// The boxes that attach side data to samples: sample auxiliary information
// located by saio/saiz (ISO/IEC 14496-12 8.7.8, 8.7.9), the sample
// encryption box senc (ISO/IEC 23001-7 7.2), trick-play flags trik
// (ISO/IEC 14496-12 8.6.4 in its DECE form), sample groups sbgp/sgpd
// (8.9.2, 8.9.3) and the subs and avcn boxes. Each reader fills a plain
// record; the same readers serve the children of an stbl and of a traf.
#ifndef BXF_AUX_BOXES_H
#define BXF_AUX_BOXES_H

#include "internal.h"

namespace bxf {

// Flags bit 0 of saio and saiz: aux_info_type and its parameter follow.
constexpr uint32_t kAuxTypePresent = 0x000001;

// saio: where the auxiliary information of a chunk (or run), or of all
// samples when there is one entry, begins.
struct SaioRecord {
    uint64_t box_offset;  // 0 = none kept
    uint64_t box_end;
    uint64_t first_entry;  // file offset of offset 1
    uint32_t flags;        // bit 0 set once the type is known (explicit or implied)
    uint32_t aux_info_type;
    uint32_t aux_info_type_parameter;
    uint32_t entry_count;  // clamped to the whole offsets present
    uint32_t version;      // 0: u32 offsets, 1: u64
};

// saiz: the size of each sample's auxiliary information.
struct SaizRecord {
    uint64_t box_offset;  // 0 = none kept
    uint64_t box_end;
    uint64_t first_size;  // file offset of the first size byte
    uint32_t flags;
    uint32_t aux_info_type;
    uint32_t aux_info_type_parameter;
    uint32_t default_sample_info_size;  // 0: one size byte per sample
    uint32_t sample_count;              // with per-sample sizes, clamped to the bytes present
};

// trik: one byte per sample, pic_type in the two high bits and
// dependency_level in the six low bits.
struct TrikRecord {
    uint64_t box_offset;  // 0 = none
    uint64_t box_end;
    uint64_t first_entry;
    uint32_t entry_count;  // the payload after version/flags
};

// sbgp: runs of samples mapped to group descriptions; the entries stay in
// the file.
struct SbgpRecord {
    uint64_t box_offset;
    uint64_t box_end;
    uint32_t version;
    uint32_t flags;
    uint32_t grouping_type;
    uint32_t grouping_type_parameter;  // version 1
    uint32_t entry_count;              // clamped to the whole entries present
    uint64_t first_entry;              // sample_count u32, group_description_index u32 each
    SbgpRecord *next;
};

// A CencSampleEncryptionInformationGroupEntry (ISO/IEC 23001-7 6).
struct SeigEntry {
    uint8_t crypt_byte_block;  // 4 bits
    uint8_t skip_byte_block;   // 4 bits
    uint8_t is_protected;
    uint8_t per_sample_iv_size;
    uint8_t kid[16];
    uint8_t constant_iv_size;  // with is_protected and no per-sample IV
    uint8_t constant_iv[16];
};

// sgpd: group descriptions. Only seig and tele entries are read; for other
// grouping types the entries stay in the file.
struct SgpdRecord {
    uint64_t box_offset;
    uint64_t box_end;
    uint32_t version;
    uint32_t flags;
    uint32_t grouping_type;
    uint32_t default_length;  // version 1
    uint32_t entry_count;     // seig/tele: the entries read; else clamped to what the bytes can hold
    uint64_t first_entry;
    SeigEntry *seig;  // seig: entry_count entries
    uint8_t *tele;    // tele: level_independently_decodable (0 or 1) per entry
    SgpdRecord *next;
};

// The auxiliary boxes of one stbl or traf.
struct AuxBoxes {
    SaioRecord saio;  // kept only as a pair with a matching saiz
    SaizRecord saiz;
    SbgpRecord *sbgp_head;  // every sbgp, in file order
    SbgpRecord *sbgp_tail;
    uint32_t sbgp_count;
    SgpdRecord *sgpd_head;  // every sgpd, in file order
    SgpdRecord *sgpd_tail;
    uint32_t sgpd_count;
    // traf children only:
    uint32_t has_senc;
    uint32_t senc_version_flags;  // of the first senc
    TrikRecord trik;
    BoxRange subs_body;
    BoxRange avcn_body;
};

inline bool saio_kept(const AuxBoxes &b) { return b.saio.box_offset != 0; }
inline bool saiz_kept(const AuxBoxes &b) { return b.saiz.box_offset != 0; }
inline bool aux_pair_kept(const AuxBoxes &b) { return saio_kept(b) && saiz_kept(b); }

// The protection scheme of each sample description of a track, in order:
// the schm scheme_type of the entry's first sinf (visual entries without
// hvcC, audio, metadata and subtitle entries), else the entry's own type.
struct ProtectionSchemes {
    uint32_t state;  // kSchemesNotBuilt, kSchemesBuilt or kSchemesFailed
    uint32_t count;
    uint32_t *types;  // pool 1
};
enum : uint32_t { kSchemesNotBuilt, kSchemesBuilt, kSchemesFailed };

// Where an saio or saiz without an explicit aux_info_type takes it from: the
// protection scheme of the sample description in force, the list being
// built from the track's stsd on first need.
struct ImpliedAuxType {
    ProtectionSchemes *schemes;
    BoxRange stsd_entries;
    uint32_t stsd_entry_count;
    uint32_t handler_type;
    uint32_t description_index;  // stbl: the first stsc entry's; traf: the traf's
    // An stbl without samples (a fragmented movie's empty moov) has no
    // description in force: a box that leaves its type to it names nothing.
    bool no_description_in_force;
    // A traf's box whose type cannot be implied (no such description, or
    // descriptions that do not parse) is dropped: its samples stay reachable.
    bool drop_when_unknown;
};

// The target of the child readers below: the boxes of the container being
// walked and where implied types come from.
struct AuxWalk {
    AuxBoxes &boxes;
    ImpliedAuxType implied;
};

// Single-box readers: each reads one box into its record. BXF_RET_FORMAT for
// a bad version or a payload too short for its fields.
uint32_t parse_saio(const Io &io, const BoxRecord &box, SaioRecord *out);
uint32_t parse_saiz(const Io &io, const BoxRecord &box, SaizRecord *out);
uint32_t parse_senc(const Io &io, const BoxRecord &box, uint32_t *out_version_flags);
uint32_t parse_trik(const Io &io, const BoxRecord &box, TrikRecord *out);
// sbgp and sgpd allocate their record from pool 1.
uint32_t parse_sbgp(const Io &io, const BoxRecord &box, SbgpRecord **out);
uint32_t parse_sgpd(const Io &io, const BoxRecord &box, SgpdRecord **out);
void release_sgpd(LibraryInstance *inst, SgpdRecord *sgpd);

// The aux_info_type of the description in force: BXF_RET_FORMAT when its
// index is 0 or beyond the list (a list that could not be built is empty).
uint32_t implied_aux_type(const Io &io, ImpliedAuxType &from, uint32_t *out_type);
void release_protection_schemes(LibraryInstance *inst, ProtectionSchemes &schemes);

// Child readers for container walks (stbl and traf rows). saio and saiz
// follow the pairing rule: a box without explicit type takes the implied
// one, the first box of each kind that matches the other kind's kept box
// (if any) is kept, and later boxes of a kind already kept are not read.
uint32_t read_saio_child(const Io &io, const BoxRecord &box, AuxWalk &w);
uint32_t read_saiz_child(const Io &io, const BoxRecord &box, AuxWalk &w);
uint32_t read_sbgp_child(const Io &io, const BoxRecord &box, AuxWalk &w);
uint32_t read_sgpd_child(const Io &io, const BoxRecord &box, AuxWalk &w);
uint32_t read_senc_child(const Io &io, const BoxRecord &box, AuxWalk &w);
uint32_t read_trik_child(const Io &io, const BoxRecord &box, AuxWalk &w);
uint32_t read_subs_child(const Io &io, const BoxRecord &box, AuxWalk &w);
uint32_t read_avcn_child(const Io &io, const BoxRecord &box, AuxWalk &w);

// Once the container's children are walked: a lone saio or saiz is dropped,
// so the container has auxiliary information only through a pair.
void keep_only_aux_pair(AuxBoxes &boxes);
void release_aux_boxes(LibraryInstance *inst, AuxBoxes &boxes);

}  // namespace bxf

#endif
