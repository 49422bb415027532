/*
 * Kelo Mervane media-file library: the public interface.
 *
 * A procedural API over plain records, usable from C and C++. Every
 * operation returns a BXF_RET_* code and writes its out-parameters only on
 * success. All I/O and memory go through the FileOps table that the caller
 * hands to bxf_create, so the library never touches the operating system
 * itself (the default table from bxf_fill_file_ops does).
 */
#ifndef BXF_H
#define BXF_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Return codes ------------------------------------------------------ */

#define BXF_RET_OK 0x0u
#define BXF_RET_ARGS 0x1u
#define BXF_RET_STATE 0x2u
#define BXF_RET_NOMEM 0x100u
#define BXF_RET_FILE 0x101u
#define BXF_RET_NOTFOUND 0x200u
#define BXF_RET_OVERFLOW 0x201u
#define BXF_RET_FORMAT 0x1000u
#define BXF_RET_INTERNAL 0x10000000u

/* Every code above, once: X(code) for each, so that lists of the codes (their
 * names, the checks that a code is one of them) are derived from this one. */
/* clang-format off */
#define BXF_RET_EACH(X) \
    X(BXF_RET_OK)       \
    X(BXF_RET_ARGS)     \
    X(BXF_RET_STATE)    \
    X(BXF_RET_NOMEM)    \
    X(BXF_RET_FILE)     \
    X(BXF_RET_NOTFOUND) \
    X(BXF_RET_OVERFLOW) \
    X(BXF_RET_FORMAT)   \
    X(BXF_RET_INTERNAL)
/* clang-format on */

/* The code's name ("BXF_RET_FORMAT"), or "BXF_RET_UNKNOWN". */
const char *bxf_ret_name(uint32_t code);

/* ---- File and memory operations ---------------------------------------- */

/* Origins of FileOps.seek. */
#define BXF_SEEK_SET 0u
#define BXF_SEEK_CUR 1u
#define BXF_SEEK_END 2u

/* Modes of bxf_file_open. */
#define BXF_FILE_MODE_READ 1u
#define BXF_FILE_MODE_WRITE 2u

/* The fourteen operations through which the library does all its I/O and
 * memory work, in this order. `file` is whatever the caller opened; the
 * library only passes it back. `context` is handed to entries 7 to 14. */
typedef struct FileOps {
    uintptr_t context;
    uint32_t (*read)(void *file, void *buffer, uint64_t count, uint64_t *out_read);
    uint32_t (*write)(void *file, const void *buffer, uint64_t count, uint64_t *out_written);
    uint32_t (*seek)(void *file, int64_t offset, uint32_t origin);
    uint32_t (*tell)(void *file, uint64_t *out_position);
    uint32_t (*size)(void *file, uint64_t *out_size);
    void *(*allocate)(uintptr_t context, uint64_t count);
    void (*release)(uintptr_t context, void *pointer);
    int (*compare_strings)(uintptr_t context, const char *a, const char *b, uint64_t n);
    char *(*copy_string)(uintptr_t context, char *dst, uint64_t capacity, const char *src, uint64_t n);
    int (*compare_memory)(uintptr_t context, const void *a, const void *b, uint64_t n);
    void *(*copy_memory)(uintptr_t context, void *dst, uint64_t capacity, const void *src, uint64_t n);
    void *(*move_memory)(uintptr_t context, void *dst, uint64_t capacity, const void *src, uint64_t n);
    void *(*fill_memory)(uintptr_t context, void *dst, int value, uint64_t n);
} FileOps;

/* The default file object: one 64-bit capable descriptor. */
typedef struct MediaFile MediaFile;

/* Opens a file named by a zero-terminated UTF-16 path. Mode 1 reads and
 * keeps other writers out; mode 2 creates or truncates for writing. */
uint32_t bxf_file_open(const uint16_t *path, uint32_t mode, MediaFile **out_file);
uint32_t bxf_file_close(MediaFile *file);
/* Fills `ops` with the default operations (context 0). */
uint32_t bxf_fill_file_ops(FileOps *ops);

/* ---- Library instance and accounted memory ------------------------------- */

/* Pool 1 holds box and track records and parse buffers; pool 2 the working
 * memory of sample access and fragment handling. */
#define BXF_POOL_GENERAL 1u
#define BXF_POOL_SAMPLE 2u

typedef struct LibraryInstance {
    FileOps ops;
    uint32_t accounting_enabled;
    uint64_t general_limit;
    uint64_t sample_limit;
    uint64_t general_used;
    uint64_t sample_used;
} LibraryInstance;

uint32_t bxf_create(const FileOps *ops, LibraryInstance **out_instance);
uint32_t bxf_destroy(LibraryInstance *instance);
uint32_t bxf_set_memory_limits(LibraryInstance *instance, uint32_t reserve_sample_pool, uint64_t budget,
                               uint32_t sample_percent, uint64_t minimum_general);
/* A zero-filled block from `pool`, or null (no memory, or over the limit). */
void *bxf_alloc(LibraryInstance *instance, uint32_t pool, uint64_t size);
void bxf_free(LibraryInstance *instance, void *pointer);

/* ---- Boxes -------------------------------------------------------------- */

/* Four-character code as a big-endian u32: BXF_FOURCC('m','o','o','v'). */
#define BXF_FOURCC(a, b, c, d)                                                                         \
    (((uint32_t)(uint8_t)(a) << 24) | ((uint32_t)(uint8_t)(b) << 16) | ((uint32_t)(uint8_t)(c) << 8) | \
     (uint32_t)(uint8_t)(d))

/* One box (or descriptor) once its header is read. */
typedef struct BoxRecord {
    uint32_t type;
    uint64_t m_box_offset;
    uint64_t m_box_size;
    uint64_t m_body_offset;
    uint64_t m_body_size;
} BoxRecord;

/* An (offset, size) pair; a kept box is present when its offset is non-zero. */
typedef struct BoxRange {
    uint64_t offset;
    uint64_t size;
} BoxRange;

/* ---- Movie -------------------------------------------------------------- */

typedef struct OpenParams {
    uint64_t memory_budget;  /* 0: no accounting */
    uint32_t sample_percent; /* share of the budget for pool 2 */
    uint32_t walk_all_boxes; /* 0: the top-level walk stops at the first moof */
    uint32_t fragment_mode;  /* 0: default fragment mode; else extended */
} OpenParams;

#define BXF_PLAY_INIT_EXIST_NONE 0x0u
#define BXF_PLAY_INIT_EXIST_MEHD_BOX 0x1u
#define BXF_PLAY_INIT_EXIST_TREX_BOX 0x2u
#define BXF_PLAY_INIT_EXIST_MOOF_BOX 0x4u
#define BXF_PLAY_INIT_EXIST_MFRA_BOX 0x8u
#define BXF_PLAY_INIT_EXIST_FTYP_BOX 0x10u
#define BXF_PLAY_INIT_EXIST_UUID_PROF_BOX 0x20u
#define BXF_PLAY_INIT_EXIST_MOOV_BOX 0x40u
#define BXF_PLAY_INIT_EXIST_IODS_BOX 0x80u
#define BXF_PLAY_INIT_EXIST_UUID_LICI_BOX 0x100u
#define BXF_PLAY_INIT_EXIST_UUID_MTSD_BOX 0x200u
#define BXF_PLAY_INIT_EXIST_UUID_BOOK_BOX 0x400u
#define BXF_PLAY_INIT_EXIST_MDRI_BOX 0x800u
#define BXF_PLAY_INIT_EXIST_PROTECTION_SYSTEM_BOX 0x1000u
#define BXF_PLAY_INIT_EXIST_FREE_BOX 0x2000u
#define BXF_PLAY_INIT_EXIST_PDIN_BOX 0x4000u
#define BXF_PLAY_INIT_EXIST_BLOC_BOX 0x8000u
#define BXF_PLAY_INIT_EXIST_AINF_BOX 0x10000u
#define BXF_PLAY_INIT_EXIST_MOOV_META_BOX 0x20000u
#define BXF_PLAY_INIT_EXIST_META_BOX 0x40000u

/* One child box of a vendor list (PROF, LICI, USMT). */
typedef struct VendorEntry {
    uint32_t type;
    uint32_t item_count; /* MTDT, MTDF: the u16 count; otherwise 0xFFFFFFFF */
    BoxRange box;
    BoxRange body;
    BoxRange payload; /* MTDT, MTDF: after the count; MTSM, MVPL, UASI: the body */
    struct VendorEntry *next;
} VendorEntry;

/* A vendor uuid box and the list of entries it holds. */
typedef struct VendorBoxRecord {
    BoxRange box;     /* not kept for a track's USMT */
    BoxRange payload; /* after the 16-byte extended type */
    VendorEntry *head;
    VendorEntry *tail;
    uint32_t entry_count;
} VendorBoxRecord;

/* A track as located when the movie is opened. */
typedef struct TrackNode {
    BoxRange trak_box;
    BoxRange trak_body;
    BoxRange tkhd_body;
    uint32_t track_id;
    BoxRange mdhd_body;
    uint32_t media_time_scale;
    uint64_t media_duration;
    BoxRange hdlr_body;
    uint32_t handler_type;
    BoxRange handler_name;
    VendorBoxRecord usmt;
    struct TrackNode *next;
} TrackNode;

#define BXF_TKHD_FLAGS_TRACK_DISABLED 0x0u
#define BXF_TKHD_FLAGS_TRACK_ENABLED 0x1u
#define BXF_TKHD_FLAGS_TRACK_IN_MOVIE 0x2u
#define BXF_TKHD_FLAGS_TRACK_IN_PREVIEW 0x4u

typedef struct TrackHeaderInfo {
    uint32_t flags;
    uint64_t creation_time;
    uint64_t modification_time;
    uint32_t track_id;
    uint64_t duration; /* movie time scale */
    uint16_t layer;
    uint16_t alternate_group;
    uint8_t volume_integer;
    uint8_t volume_fraction;
    uint32_t matrix[9];
    uint16_t width_integer;
    uint16_t width_fraction;
    uint16_t height_integer;
    uint16_t height_fraction;
} TrackHeaderInfo;

/* Packed ISO 639-2 codes: three letters of 5 bits each, letter - 0x60. */
#define BXF_LANG_ISO639_ENG 0x15C7u
#define BXF_LANG_ISO639_JPN 0x2A0Eu
#define BXF_LANG_ISO639_UND 0x55C4u

typedef struct MediaHeaderInfo {
    uint64_t creation_time;
    uint64_t modification_time;
    uint32_t time_scale;
    uint64_t duration;
    uint16_t language; /* 15 bits, pad bit cleared */
} MediaHeaderInfo;

#define BXF_HDLR_MEDIA_VIDEO_AND_IMAGE BXF_FOURCC('v', 'i', 'd', 'e')
#define BXF_HDLR_MEDIA_SOUND BXF_FOURCC('s', 'o', 'u', 'n')
#define BXF_HDLR_MEDIA_OBJECT_DESCRIPTOR BXF_FOURCC('o', 'd', 's', 'm')
#define BXF_HDLR_MEDIA_GRAPHICS BXF_FOURCC('G', 'R', 'A', 'P')
#define BXF_HDLR_MEDIA_BOOK_DATA BXF_FOURCC('B', 'K', 'D', 'T')
#define BXF_HDLR_MEDIA_PACKED_DATA BXF_FOURCC('P', 'K', 'D', 'T')

typedef struct HandlerInfo {
    uint32_t handler_type;
    BoxRange handler_name; /* the name bytes in the file, not copied */
} HandlerInfo;

/* One `pssh` box: a protection system's header. */
typedef struct PsshRecord {
    BoxRange box;
    BoxRange body;
    uint8_t version;
    uint8_t system_id[16];
    uint32_t kid_count;
    uint8_t *kids; /* kid_count * 16 bytes, in file order */
    BoxRange data; /* the system-specific data in the file */
    struct PsshRecord *next;
} PsshRecord;

/* One `trex` box: a track's defaults for its fragment samples. */
typedef struct TrexRecord {
    uint32_t track_id;
    uint32_t default_sample_description_index;
    uint32_t default_sample_duration;
    uint32_t default_sample_size;
    uint32_t default_sample_flags;
    struct TrexRecord *next;
} TrexRecord;

/* What `moov` / `mvex` holds about fragments. */
typedef struct MovieExtendsRecord {
    BoxRange mvex_body;
    BoxRange mehd_body;
    uint64_t fragment_duration; /* from mehd, when mehd_body is present */
    TrexRecord *trex_head;
    TrexRecord *trex_tail;
    uint32_t trex_count;
} MovieExtendsRecord;

typedef struct MoovRecord {
    BoxRange mvhd_body;
    uint32_t time_scale;
    BoxRange ainf_body;
    uint32_t ainf_flags;
    uint32_t ainf_profile_version;
    BoxRange ainf_payload;
    BoxRange iods_body;
    BoxRange iods_descriptor;
    BoxRange meta_body;
    BoxRange meta_payload;
    TrackNode *tracks_head;
    TrackNode *tracks_tail;
    uint32_t track_count;
    VendorBoxRecord usmt;
    MovieExtendsRecord mvex;
    PsshRecord *pssh_head;
    PsshRecord *pssh_tail;
    uint32_t pssh_count;
    BoxRange trailing_free_box;
    BoxRange trailing_free_body;
} MoovRecord;

typedef struct MoofNode {
    uint64_t box_offset;
    uint64_t box_size;
    struct MoofNode *next;
} MoofNode;

/* One `tfra` box of `mfra`: a track's random-access table. The entries stay
 * in the file; `entries` covers the `entry_count` whole entries kept. */
typedef struct TfraRecord {
    uint32_t version_flags;
    uint32_t track_id;
    uint32_t length_sizes; /* the word holding the three 2-bit length sizes */
    uint32_t entry_count;  /* number_of_entry, clamped to the whole entries held */
    uint32_t entry_size;   /* bytes per entry */
    BoxRange entries;
    BoxRange box;
    struct TfraRecord *next;
} TfraRecord;

/* One slot per top-level box kind. */
typedef struct MovieRecord {
    BoxRange ftyp_body;
    BoxRange pdin_body;
    BoxRange pdin_payload;
    BoxRange bloc_body;
    VendorBoxRecord prof;
    BoxRange moov_box;
    BoxRange moov_body;
    MoovRecord moov;
    BoxRange meta_body;
    BoxRange meta_payload;
    BoxRange mfra_box;
    BoxRange mfra_body;
    TfraRecord *tfra_head; /* the tfra boxes of mfra, in file order */
    TfraRecord *tfra_tail;
    uint32_t tfra_count;
    MoofNode *moof_head;
    MoofNode *moof_tail;
    BoxRange mtsd_box;
    BoxRange mtsd_payload;
    VendorBoxRecord lici;
    BoxRange book_box;
    BoxRange book_payload;
    BoxRange mdri_box;
    BoxRange mdri_body;
} MovieRecord;

typedef struct PlayHandle PlayHandle;

/* Opens `file` (through the instance's operations) as a movie. */
uint32_t bxf_play_open(LibraryInstance *instance, void *file, const OpenParams *params, PlayHandle **out_handle,
                       uint32_t *out_flags);
uint32_t bxf_play_close(PlayHandle *handle);

/* A read-only view of the movie record; valid until the handle is closed. */
uint32_t bxf_play_get_movie(const PlayHandle *handle, const MovieRecord **out_movie);
/* ---- Track queries -------------------------------------------------------
 * Track numbers are the 1-based positions of the trak boxes in moov. */
uint32_t bxf_get_track_count(const PlayHandle *handle, uint32_t *out_count);
uint32_t bxf_get_track_header(PlayHandle *handle, uint32_t track, TrackHeaderInfo *out);
uint32_t bxf_get_media_header(PlayHandle *handle, uint32_t track, MediaHeaderInfo *out);
uint32_t bxf_get_handler(const PlayHandle *handle, uint32_t track, HandlerInfo *out);
/* Parses the track in full and prepares it for sample access; idempotent. */
uint32_t bxf_open_track(PlayHandle *handle, uint32_t track);
/* The edit list of an opened track: its version/flags and entry count
 * (both 0 without an elst). */
uint32_t bxf_get_edit_list_info(const PlayHandle *handle, uint32_t track, uint32_t *out_version_flags,
                                uint32_t *out_entry_count);

/* One `elst` entry (ISO/IEC 14496-12 8.6.6). */
typedef struct EditListEntry {
    uint64_t segment_duration; /* in the movie time scale (mvhd) */
    int64_t media_time;        /* in the media time scale; -1: an empty edit */
    int16_t media_rate_integer;
    int16_t media_rate_fraction;
} EditListEntry;

/* Entry `entry` (1-based) of an opened track's edit list; BXF_RET_NOTFOUND
 * past the entries the box holds. */
uint32_t bxf_get_edit_list_entry(const PlayHandle *handle, uint32_t track, uint32_t entry, EditListEntry *out);

/* ---- Vendor boxes -------------------------------------------------------- */

typedef struct VideoProfileInfo {
    uint32_t word1, word2, word3, word4, word5, word6;
    uint16_t word7_integer, word7_fraction;
    uint16_t word8_integer, word8_fraction;
    uint16_t word9_integer, word9_fraction;
    uint16_t word10_integer, word10_fraction;
} VideoProfileInfo;

/* The n-th (1-based) entry of `type` in a vendor list. */
uint32_t bxf_find_vendor_entry(const VendorEntry *head, uint32_t type, uint32_t n, const VendorEntry **out_entry);
/* The n-th VPRF entry of the PROF box. */
uint32_t bxf_get_video_profile(PlayHandle *handle, uint32_t profile, VideoProfileInfo *out);

#define BXF_VPRF_ATTR_FLAGS_NONE 0x0u
#define BXF_VPRF_ATTR_FLAGS_PROTECTED_STREAM 0x1u
#define BXF_VPRF_ATTR_FLAGS_VARIABLE_BITRATE 0x2u
#define BXF_VPRF_ATTR_FLAGS_VARIABLE_FRAME_RATE 0x4u
#define BXF_VPRF_ATTR_FLAGS_INTERLACED_VIDEO 0x8u
#define BXF_VPRF_ATTR_FLAGS_IDR_INTERVALS 0x10000u
#define BXF_VPRF_ATTR_FLAGS_RECOVERY_POINT_SEI 0x20000u
#define BXF_VPRF_ATTR_FLAGS_STEREO_VIDEO 0x80000u
#define BXF_VPRF_ATTR_FLAGS_MIXED_STEREO_VIDEO 0x100000u
#define BXF_APRF_ATTR_FLAGS_NONE 0x0u
#define BXF_APRF_ATTR_FLAGS_PROTECTED_STREAM 0x1u
#define BXF_APRF_ATTR_FLAGS_VARIABLE_BITRATE 0x2u
#define BXF_APRF_ATTR_FLAGS_DUAL_MONO_AUDIO 0x4u
#define BXF_APRF_ATTR_FLAGS_SBR_DATA_PRESENT 0x10000u
#define BXF_PPRF_ATTR_FLAGS_NONE 0x0u
#define BXF_PPRF_ATTR_FLAGS_PROTECTED_STREAM 0x1u
#define BXF_PPRF_ATTR_FLAGS_MANY_SAMPLES_EXIST_IN_TRACK 0x2u
#define BXF_BPRF_ATTR_FLAGS_NONE 0x0u
#define BXF_BPRF_ATTR_FLAGS_PROTECTED_STREAM 0x1u
#define BXF_FPRF_FUNC_FLAGS_NONE 0x0u
#define BXF_FPRF_FUNC_FLAGS_PROTECTED 0x1u
#define BXF_FPRF_FUNC_FLAGS_64BIT_USED 0x2u
#define BXF_FPRF_FUNC_FLAGS_FRAGMENTED 0x10000000u
#define BXF_FPRF_FUNC_FLAGS_ADDTRACK_EXISTS 0x20000000u
#define BXF_FPRF_FUNC_FLAGS_MAIN_AV_EDITED 0x40000000u
/* Data form words: avc1 (form in bits 28-31), mp4v and mp4a (bits 24-31). */
#define BXF_VPRF_DATA_FORM_TYPE_AVC1_ISO14496 0x0u
#define BXF_VPRF_DATA_FORM_TYPE_MP4V_ISO14496 0x0u
#define BXF_VPRF_DATA_FORM_TYPE_MP4V_ISO10918 0x1u
#define BXF_APRF_DATA_FORM_TYPE_MP4A_ISO14496 0x0u

/* ---- Sample descriptions ------------------------------------------------ */

/* Kind of a sample entry, decided by the track's handler type and, for video,
 * by the decoder configuration box the entry holds. */
#define BXF_FORMAT_TYPE_UNKNOWN 0u     /* other handlers: entry_type only */
#define BXF_FORMAT_TYPE_MP4V 1u        /* vide without avcC or hvcC */
#define BXF_FORMAT_TYPE_AVC1 2u        /* vide with avcC */
#define BXF_FORMAT_TYPE_MP4A 3u        /* every soun entry (mp4a, twos, samr, ...) */
#define BXF_FORMAT_TYPE_MP4S 4u        /* odsm */
#define BXF_FORMAT_TYPE_BOOK 5u        /* BKDT */
#define BXF_FORMAT_TYPE_META 6u        /* meta */
#define BXF_FORMAT_TYPE_PACKED_DATA 7u /* PKDT */
#define BXF_FORMAT_TYPE_GRAPH 8u       /* GRAP */
#define BXF_FORMAT_TYPE_GRAPH_3D 9u    /* GRAP with a 3STP box */
#define BXF_FORMAT_TYPE_SUBTITLE 10u   /* subt */
#define BXF_FORMAT_TYPE_HVC1 11u       /* vide with hvcC */

/* Classes of sample entry. */
#define BXF_PLAY_SAMPLE_ENTRY_TYPE_UNKNOWN 0u
#define BXF_PLAY_SAMPLE_ENTRY_TYPE_VISUAL 1u
#define BXF_PLAY_SAMPLE_ENTRY_TYPE_AUDIO 2u
#define BXF_PLAY_SAMPLE_ENTRY_TYPE_OD 3u
#define BXF_PLAY_SAMPLE_ENTRY_TYPE_BOOK 4u
#define BXF_PLAY_SAMPLE_ENTRY_TYPE_META 5u
#define BXF_PLAY_SAMPLE_ENTRY_TYPE_PACKED_DATA 6u
#define BXF_PLAY_SAMPLE_ENTRY_TYPE_GRAPH 7u

/* DecoderConfigDescriptor values (ISO/IEC 14496-1); others pass through. */
#define BXF_ESDS_OBJECT_TYPE_IPMP_SYSTEMS 0x01u
#define BXF_ESDS_OBJECT_TYPE_VISUAL_MPEG4 0x20u
#define BXF_ESDS_OBJECT_TYPE_AUDIO_MPEG4_AAC 0x40u
#define BXF_ESDS_OBJECT_TYPE_VISUAL_JPEG 0x6Cu
#define BXF_ESDS_STREAM_TYPE_OD 1u
#define BXF_ESDS_STREAM_TYPE_VISUAL 4u
#define BXF_ESDS_STREAM_TYPE_AUDIO 5u

/* Bytes copied out of the file, owned by the record that holds them.
 * `data` is null when `length` is 0. Strings are copied with their
 * terminator, which `length` counts. */
typedef struct Blob {
    uint8_t *data;
    uint32_t length;
} Blob;

typedef struct DecoderConfig {
    uint8_t object_type_indication;
    uint8_t stream_type;     /* the top 6 bits of its byte */
    uint8_t up_stream;       /* 0 or 1 */
    uint32_t buffer_size_db; /* 24 bits */
    uint32_t max_bitrate;
    uint32_t avg_bitrate;
} DecoderConfig;

/* An `esds` box. */
typedef struct EsdsRecord {
    Blob descriptors;            /* everything after the version/flags */
    uint32_t has_decoder_config; /* 1 when the ES_Descriptor holds a DecoderConfigDescriptor */
    DecoderConfig decoder_config;
    Blob decoder_specific_info; /* empty when absent */
} EsdsRecord;

/* One parameter set or NAL unit, without its length prefix. */
typedef struct ParameterSet {
    Blob bytes;
    struct ParameterSet *next;
} ParameterSet;

typedef struct ParameterSetList {
    ParameterSet *head;
    ParameterSet *tail;
    uint32_t count;
} ParameterSetList;

/* An `avcC` box (ISO/IEC 14496-15 AVCDecoderConfigurationRecord). */
typedef struct AvcConfig {
    uint8_t configuration_version;
    uint8_t avc_profile_indication;
    uint8_t profile_compatibility;
    uint8_t avc_level_indication;
    uint8_t length_size_minus_one; /* 2 bits */
    ParameterSetList sps;
    ParameterSetList pps;
    uint32_t has_extension;          /* 1 when the high-profile fields below were read */
    uint8_t chroma_format;           /* 2 bits */
    uint8_t bit_depth_luma_minus8;   /* 3 bits */
    uint8_t bit_depth_chroma_minus8; /* 3 bits */
    ParameterSetList sps_ext;
} AvcConfig;

/* One array of an `hvcC`: NAL units of one type. */
typedef struct NalArray {
    uint8_t array_completeness; /* 0 or 1 */
    uint8_t nal_unit_type;      /* 6 bits */
    ParameterSetList nal_units;
    struct NalArray *next;
} NalArray;

/* An `hvcC` box (ISO/IEC 14496-15 HEVCDecoderConfigurationRecord). */
typedef struct HevcConfig {
    uint8_t configuration_version;
    uint8_t general_profile_space; /* 2 bits */
    uint8_t general_tier_flag;     /* 1 bit */
    uint8_t general_profile_idc;   /* 5 bits */
    uint32_t general_profile_compatibility_flags;
    uint64_t general_constraint_indicator_flags; /* 48 bits */
    uint8_t general_level_idc;
    uint16_t min_spatial_segmentation_idc; /* as stored, the 4 reserved bits included */
    uint8_t parallelism_type;              /* 2 bits */
    uint8_t chroma_format;                 /* 2 bits */
    uint8_t bit_depth_luma_minus8;         /* 3 bits */
    uint8_t bit_depth_chroma_minus8;       /* 3 bits */
    uint16_t avg_frame_rate;
    uint8_t constant_frame_rate;   /* 2 bits */
    uint8_t num_temporal_layers;   /* 3 bits */
    uint8_t temporal_id_nested;    /* 1 bit */
    uint8_t length_size_minus_one; /* 2 bits */
    NalArray *arrays_head;
    NalArray *arrays_tail;
    uint32_t array_count;
} HevcConfig;

/* Where a SchemeInfo came from. */
#define BXF_SCHEME_INFO_PROTECTION 1u /* a `sinf` */
#define BXF_SCHEME_INFO_RESTRICTED 2u /* a `rinf` */

/* The children of a `sinf` or `rinf`. Each has_* flag is 1 when that box
 * was found; the fields after it are 0 otherwise. */
typedef struct SchemeInfo {
    uint32_t kind; /* BXF_SCHEME_INFO_* */
    uint32_t has_frma;
    uint32_t data_format; /* the original sample entry type */
    uint32_t has_schm;
    uint32_t schm_flags; /* 24 bits */
    uint32_t scheme_type;
    uint32_t scheme_version;
    Blob scheme_uri;               /* with flags bit 0: the URI with its terminator */
    uint32_t has_tenc;             /* in a sinf's schi */
    uint32_t default_is_encrypted; /* version 0: 24 bits as stored; version 1: default_isProtected */
    uint8_t default_iv_size;
    uint8_t default_kid[16];
    uint8_t tenc_version;             /* 0 or 1 */
    uint8_t default_crypt_byte_block; /* version 1 (the cbcs pattern), 4 bits; 0 otherwise */
    uint8_t default_skip_byte_block;  /* version 1, 4 bits; 0 otherwise */
    uint8_t default_constant_iv_size; /* protected with an IV size of 0: 8 or 16; 0 otherwise */
    uint8_t default_constant_iv[16];
    uint32_t has_stvi;           /* in a rinf's schi */
    uint8_t single_view_allowed; /* 2 bits */
    uint32_t stereo_scheme;
    Blob stereo_indication_type;
} SchemeInfo;

/* One `sinf` of a sample entry; ranges are file offsets. */
typedef struct SinfRecord {
    BoxRange box;
    BoxRange body;
    Blob body_bytes;
    SchemeInfo scheme; /* kind BXF_SCHEME_INFO_PROTECTION */
    struct SinfRecord *next;
} SinfRecord;

/* Audio extension boxes, kept as found. */
typedef struct Dac3Info { /* AC-3 (ETSI TS 102 366 F.4) */
    uint8_t fscod, bsid, bsmod, acmod, lfeon, bit_rate_code;
} Dac3Info;
typedef struct Dec3Info { /* Enhanced AC-3 (ETSI TS 102 366 F.6) */
    uint16_t data_rate;   /* 13 bits */
    uint8_t num_ind_sub;  /* 3 bits: independent substreams - 1 */
    Blob bytes;           /* the whole body, substream fields included */
} Dec3Info;
typedef struct DdtsInfo { /* DTS (ETSI TS 102 114 E.2) */
    uint32_t dts_sampling_frequency;
    uint32_t max_bitrate;
    uint32_t avg_bitrate;
    uint8_t pcm_sample_depth;
    uint32_t packed_fields; /* frame duration .. representation type, as stored */
    uint16_t channel_layout;
} DdtsInfo;
typedef struct FcfgInfo {
    Blob bytes; /* the whole body */
} FcfgInfo;

/* Fixed fields of a visual entry (ISO/IEC 14496-12 12.1.3). */
typedef struct VisualFields {
    uint16_t width;
    uint16_t height;
    uint32_t horizresolution; /* 16.16 */
    uint32_t vertresolution;  /* 16.16 */
    uint16_t frame_count;
    uint8_t compressorname[32]; /* as stored */
    uint16_t depth;
} VisualFields;

/* ---- Linear PCM sound descriptions ----------------------------------------
 * QuickTime sound descriptions of version 1 (16 more bytes) and version 2
 * (36 more bytes) after the 28 fixed bytes, the `enda` inside a `wave`
 * child and the `chan` channel layout box. Each has_* is 1 when that part
 * was found; its fields are 0 otherwise. */
#define BXF_LPCM_FLAG_FLOAT 0x1u /* formatSpecificFlags of version 2 */
#define BXF_LPCM_FLAG_BIG_ENDIAN 0x2u
#define BXF_LPCM_FLAG_SIGNED 0x4u
#define BXF_LPCM_FLAG_PACKED 0x8u
#define BXF_LPCM_FLAG_NON_INTERLEAVED 0x20u
#define BXF_CHAN_LAYOUT_USE_DESCRIPTIONS 0u    /* the labels say it */
#define BXF_CHAN_LAYOUT_USE_BITMAP 0x00010000u /* the bitmap says it */
#define BXF_CHAN_MAX_LABELS 32u                /* labels kept of a `chan` */
typedef struct SoundDescription {
    uint32_t has_version1;
    uint32_t samples_per_packet;
    uint32_t bytes_per_packet;
    uint32_t bytes_per_frame;
    uint32_t bytes_per_sample;
    uint32_t has_version2;
    double audio_sample_rate; /* Hz */
    uint32_t audio_channels;
    uint32_t bits_per_channel;
    uint32_t format_flags; /* BXF_LPCM_FLAG_* */
    uint32_t bytes_per_audio_packet;
    uint32_t frames_per_audio_packet;
    uint32_t has_enda;
    uint32_t little_endian; /* `enda`: 1 for little-endian samples */
    uint32_t has_chan;
    uint32_t layout_tag; /* BXF_CHAN_LAYOUT_* or a predefined layout (tag << 16 | channels) */
    uint32_t channel_bitmap;
    uint32_t label_count; /* labels kept: at most BXF_CHAN_MAX_LABELS */
    uint32_t labels[BXF_CHAN_MAX_LABELS];
} SoundDescription;
/* ---- end of linear PCM sound descriptions ------------------------------- */

/* Fixed fields of an audio entry (ISO/IEC 14496-12 12.2.3). */
typedef struct AudioFields {
    uint16_t entry_version; /* the first reserved word, QuickTime's sound version */
    uint16_t channel_count;
    uint16_t sample_size;
    uint32_t sample_rate; /* 16.16 */
    BoxRange children;    /* file offsets: the child boxes (after the version 1 or 2 fields) */
    uint32_t has_srat;
    uint32_t srat;              /* the `srat` sampling rate */
    SoundDescription quicktime; /* the fields of QuickTime's sound descriptions */
} AudioFields;

/* Fixed fields of a graphics entry at body bytes 8 to 26, in stored order. */
typedef struct GraphicsFields {
    uint16_t head16[4];
    uint32_t values32[2];
    uint16_t tail16;
    uint8_t tail8;
    Blob stereo_3stp; /* the body of a `3STP` child */
} GraphicsFields;

/* Fields of a subtitle entry. */
typedef struct SubtitleFields {
    Blob namespace_uri;
    Blob schema_location;
    Blob auxiliary_mime_types;
    uint32_t has_btrt;
    uint32_t buffer_size_db;
    uint32_t max_bitrate;
    uint32_t avg_bitrate;
} SubtitleFields;

/* One sample entry. The field groups that do not belong to the entry's kind
 * stay zero; every pointer is owned by the entry and null when absent. */
typedef struct SampleEntry {
    uint32_t kind;       /* BXF_FORMAT_TYPE_* */
    uint32_t entry_type; /* the entry box's four-character code */
    struct SampleEntry *next;
    uint16_t data_reference_index; /* every kind but BXF_FORMAT_TYPE_UNKNOWN */
    VisualFields visual;           /* MP4V, AVC1, HVC1 */
    AudioFields audio;             /* MP4A */
    GraphicsFields graphics;       /* GRAPH, GRAPH_3D */
    SubtitleFields subtitle;       /* SUBTITLE */
    BoxRange meta_fields;          /* META: file offsets of the body after the data reference index */
    EsdsRecord *esds;              /* MP4V, MP4A, MP4S */
    AvcConfig *avcc;               /* AVC1 */
    HevcConfig *hvcc;              /* HVC1 */
    SchemeInfo *rinf;              /* visual kinds: kind BXF_SCHEME_INFO_RESTRICTED */
    Blob stereo_3d;                /* visual kinds: a `3DDS` vendor uuid after its extended type */
    Dac3Info *dac3_info;           /* MP4A */
    Dec3Info *dec3_info;
    DdtsInfo *ddts_info;
    FcfgInfo *fcfg_info;
    SinfRecord *sinf_head; /* visual, MP4A, META, SUBTITLE: every `sinf`, in order */
    SinfRecord *sinf_tail;
    uint32_t sinf_count;
} SampleEntry;

/* A track's sample entries in `stsd` order. */
typedef struct SampleDescriptions {
    uint32_t track_number; /* 1-based */
    SampleEntry *head;
    SampleEntry *tail;
    uint32_t entry_count;
} SampleDescriptions;

/* ---- end of sample descriptions ----------------------------------------- */

/* ---- Sample description queries -------------------------------------------
 * Entry and parameter-set numbers are 1-based. Records are zero-filled
 * before they are written, and written only on success. */

typedef struct VisualEntryInfo {
    uint32_t kind; /* BXF_FORMAT_TYPE_MP4V, _AVC1 or _HVC1 */
    uint32_t entry_type;
    uint32_t data_reference_index;
    uint16_t width;
    uint16_t height;
    uint16_t horizresolution_integer;
    uint16_t horizresolution_fraction;
    uint16_t vertresolution_integer;
    uint16_t vertresolution_fraction;
    uint16_t frame_count;
    uint8_t compressorname[32];
    uint16_t depth;
} VisualEntryInfo;

typedef struct AudioEntryInfo {
    uint32_t kind; /* always BXF_FORMAT_TYPE_MP4A */
    uint32_t entry_type;
    uint32_t data_reference_index;
    uint16_t entry_version;
    uint16_t channel_count;
    uint16_t sample_size;
    uint16_t sample_rate_integer;
    uint16_t sample_rate_fraction;
    uint32_t has_sampling_rate_box;
} AudioEntryInfo;

typedef struct DecoderConfigInfo {
    uint8_t object_type_indication;
    uint8_t stream_type;
    uint8_t up_stream;
    uint32_t buffer_size_db;
    uint32_t max_bitrate;
    uint32_t avg_bitrate;
    uint32_t decoder_specific_info_size; /* 0 when absent */
} DecoderConfigInfo;

typedef struct AvcConfigInfo {
    uint8_t configuration_version;
    uint8_t avc_profile_indication;
    uint8_t profile_compatibility;
    uint8_t avc_level_indication;
    uint8_t length_size_minus_one;
    uint32_t sps_count;
    uint32_t pps_count;
    uint32_t has_extension;
    uint8_t chroma_format;
    uint8_t bit_depth_luma_minus8;
    uint8_t bit_depth_chroma_minus8;
    uint32_t sps_ext_count;
} AvcConfigInfo;

/* The parsed entries of an opened track; release with
 * bxf_release_sample_descriptions. */
uint32_t bxf_get_sample_descriptions(PlayHandle *handle, uint32_t track, SampleDescriptions **out);
uint32_t bxf_release_sample_descriptions(PlayHandle *handle, SampleDescriptions *descriptions);
uint32_t bxf_get_sample_description_count(const PlayHandle *handle, const SampleDescriptions *descriptions,
                                          uint32_t *out_count);
uint32_t bxf_get_visual_entry(const PlayHandle *handle, const SampleDescriptions *descriptions, uint32_t entry,
                              VisualEntryInfo *out);
uint32_t bxf_get_audio_entry(const PlayHandle *handle, const SampleDescriptions *descriptions, uint32_t entry,
                             AudioEntryInfo *out);
/* The esds descriptor bytes (everything after its version/flags). */
uint32_t bxf_get_esds_size(const PlayHandle *handle, const SampleDescriptions *descriptions, uint32_t entry,
                           uint32_t *out_size);
uint32_t bxf_get_esds_bytes(const PlayHandle *handle, const SampleDescriptions *descriptions, uint32_t entry,
                            uint32_t capacity, uint8_t *out_buffer);
uint32_t bxf_get_decoder_config(const PlayHandle *handle, const SampleDescriptions *descriptions, uint32_t entry,
                                DecoderConfigInfo *out);
uint32_t bxf_get_avc_config(const PlayHandle *handle, const SampleDescriptions *descriptions, uint32_t entry,
                            AvcConfigInfo *out);
uint32_t bxf_get_avc_sps_size(const PlayHandle *handle, const SampleDescriptions *descriptions, uint32_t entry,
                              uint32_t set, uint32_t *out_size);
uint32_t bxf_get_avc_pps_size(const PlayHandle *handle, const SampleDescriptions *descriptions, uint32_t entry,
                              uint32_t set, uint32_t *out_size);
uint32_t bxf_get_avc_sps(const PlayHandle *handle, const SampleDescriptions *descriptions, uint32_t entry, uint32_t set,
                         uint32_t capacity, uint8_t *out_buffer);
uint32_t bxf_get_avc_pps(const PlayHandle *handle, const SampleDescriptions *descriptions, uint32_t entry, uint32_t set,
                         uint32_t capacity, uint8_t *out_buffer);

/* ---- Sample access ---------------------------------------------------------
 * Times are decode times in the track's media time scale (mdhd), the sample
 * tables' first sample at 0, fragments where their tfdt (or else the end of
 * the track's samples before them) places them; no edit list is applied.
 *
 * Sample numbers are 1-based and follow the file's order: the sample
 * tables' samples 1..N, then every fragment sample of the track, traf after
 * traf and run after run, N+1, N+2, ... whatever gaps lie between their
 * times and whatever their durations (0 included). Asking for the numbers
 * in turn is O(1) amortised; BXF_RET_NOTFOUND after the last. Lookups by
 * time stop at the end of the stts runs, not at the mdhd duration. */

/* aux_flags values */
#define BXF_AUX_TRICK_PLAY 0x1u /* a trik entry (fragments only) */
#define BXF_AUX_SAIO_SAIZ 0x2u  /* aux_offset / aux_size located through saio/saiz */
#define BXF_AUX_SENC 0x4u       /* a track-level or fragment-level senc box */

typedef struct SampleInfo {
    uint32_t size;
    uint64_t offset; /* absolute file offset */
    uint32_t duration;
    uint32_t is_sync;
    uint32_t composition_offset;        /* raw; signed when the flag below is 1 */
    uint32_t composition_offset_signed; /* ctts version 1 (or trun version != 0) */
    uint32_t description_index;
    uint64_t run_bytes;    /* with the run: this sample to the end of its chunk */
    uint64_t run_duration; /* with the run */
    uint32_t run_count;    /* with the run */
    uint64_t fragment_position;
    uint32_t aux_flags;
    uint16_t trick_play_info;
    uint32_t senc_flags;
    uint32_t saiz_flags;
    uint32_t aux_info_type;
    uint32_t aux_info_type_parameter;
    uint32_t aux_size;
    uint64_t aux_offset;
    uint64_t aux_run_bytes;
    uint64_t decode_time; /* when the sample is decoded, gaps in the timeline included */
} SampleInfo;

/* The sample tables' count N (fragment samples are not counted). */
uint32_t bxf_play_get_sample_count(PlayHandle *handle, uint32_t track, uint32_t *out_count);
uint32_t bxf_play_get_sample_info(PlayHandle *handle, uint32_t track, uint32_t sample, uint32_t want_run,
                                  SampleInfo *out);
/* The sample whose decode interval holds `time` (time - 1 when not
 * inclusive). Among the fragments, a time in a gap of the timeline (or before
 * the first fragment) finds the first sample after it. */
uint32_t bxf_play_find_sample_at_time(PlayHandle *handle, uint32_t track, uint64_t time, uint32_t inclusive,
                                      uint32_t *out_is_sync, uint32_t *out_sample, uint64_t *out_start_time);
/* The nearest sync sample before (forward 0) or after `sample`, in sample
 * order, across the end of the tables either way. */
uint32_t bxf_play_find_sync_sample(PlayHandle *handle, uint32_t track, uint32_t sample, uint32_t forward,
                                   uint32_t *out_sample, uint64_t *out_start_time);
uint32_t bxf_play_get_sample_at_time(PlayHandle *handle, uint32_t track, uint64_t time, uint32_t inclusive,
                                     uint32_t want_run, uint64_t *out_start_time, SampleInfo *out);
uint32_t bxf_play_find_sync_time_near(PlayHandle *handle, uint32_t track, uint64_t time, uint32_t inclusive,
                                      uint32_t forward, uint64_t *out_start_time);
/* whole = 1 in a fragmented movie: to the end of the last fragment. */
uint32_t bxf_play_get_track_duration(PlayHandle *handle, uint32_t track, uint32_t whole, uint64_t *out_duration);
/* The decode time of the track's first sample and the latest end of its
 * samples, fragments included; BXF_RET_NOTFOUND for a track without samples. */
uint32_t bxf_play_get_track_timeline(PlayHandle *handle, uint32_t track, uint64_t *out_first_decode_time,
                                     uint64_t *out_end);

#ifdef __cplusplus
}
#endif

#endif /* BXF_H */
