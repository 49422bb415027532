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
#define BXF_FOURCC(a, b, c, d) \
    (((uint32_t)(uint8_t)(a) << 24) | ((uint32_t)(uint8_t)(b) << 16) | ((uint32_t)(uint8_t)(c) << 8) | (uint32_t)(uint8_t)(d))

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

/* A track as located when the movie is opened. */
typedef struct TrackNode {
    BoxRange trak_box;
    BoxRange trak_body;
    struct TrackNode *next;
} TrackNode;

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
    BoxRange usmt_box;
    BoxRange usmt_payload;
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

/* One slot per top-level box kind. */
typedef struct MovieRecord {
    BoxRange ftyp_body;
    BoxRange pdin_body;
    BoxRange pdin_payload;
    BoxRange bloc_body;
    BoxRange prof_box;
    BoxRange prof_payload;
    BoxRange moov_box;
    BoxRange moov_body;
    MoovRecord moov;
    BoxRange meta_body;
    BoxRange meta_payload;
    BoxRange mfra_box;
    BoxRange mfra_body;
    MoofNode *moof_head;
    MoofNode *moof_tail;
    BoxRange mtsd_box;
    BoxRange mtsd_payload;
    BoxRange lici_box;
    BoxRange lici_payload;
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
uint32_t bxf_get_track_count(const PlayHandle *handle, uint32_t *out_count);

/* ---- Sample descriptions ------------------------------------------------ */

/* ---- end of sample descriptions ----------------------------------------- */

#ifdef __cplusplus
}
#endif

#endif /* BXF_H */
