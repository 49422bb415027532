// Samples that lie in movie fragments (ISO/IEC 14496-12 8.8): a track's
// fragments are found by scanning the top-level moof boxes lazily, only as
// far as the wanted time, and a traf's runs are read one after the other
// into bounded windows charged to the track's fragment budget.
#ifndef BXF_FRAGMENTS_H
#define BXF_FRAGMENTS_H

#include "aux_cache.h"
#include "fragment_index.h"
#include "internal.h"
#include "sample_access.h"

namespace bxf {

// What fragment code reads of the open movie, and of the track it serves.
struct FragmentSource {
    Io io;
    const MovieRecord &movie;
    uint64_t file_size;
    uint32_t fragment_mode;  // as opened: 0 plain, 1 and 2 with auxiliary boxes
    uint32_t track_id;
    // The track's sample tables and handler: auxiliary boxes without an
    // explicit type take it from the description in force.
    SampleTableRecord *tables;
    uint32_t handler_type;
};

// tfhd flags
constexpr uint32_t kTfhdBaseDataOffset = 0x000001;
constexpr uint32_t kTfhdDescriptionIndex = 0x000002;
constexpr uint32_t kTfhdDefaultDuration = 0x000008;
constexpr uint32_t kTfhdDefaultSize = 0x000010;
constexpr uint32_t kTfhdDefaultFlags = 0x000020;
constexpr uint32_t kTfhdDefaultBaseIsMoof = 0x020000;
// trun flags
constexpr uint32_t kTrunDataOffset = 0x000001;
constexpr uint32_t kTrunFirstSampleFlags = 0x000004;
constexpr uint32_t kTrunDuration = 0x000100;
constexpr uint32_t kTrunSize = 0x000200;
constexpr uint32_t kTrunFlags = 0x000400;
constexpr uint32_t kTrunCompositionOffset = 0x000800;
// A sample is a sync sample when this bit of its flags is clear.
constexpr uint32_t kSampleIsDifference = 0x00010000;

// One trun entry as decoded, whatever fields the run stores.
struct FragmentEntry {
    uint32_t size;
    uint32_t duration;
    uint32_t flags;
    uint32_t composition_offset;
};

struct FragmentRun {
    uint32_t index;  // 1-based within the traf
    uint32_t version_flags;
    uint32_t sample_count;  // clamped to the entries present
    uint32_t first_sample_flags;
    uint32_t entry_size;      // bytes per entry in the file
    uint32_t first_sample;    // number of its first sample within the traf
    uint64_t entries_offset;  // file offset of entry 1
    uint64_t data_offset;     // file offset of sample 1
    uint64_t start_time;
    uint64_t end_offset;  // past the last sample's data
    uint64_t end_time;
    // The window: entries [window_first, window_first + window_count).
    uint32_t capacity;
    uint32_t window_first;  // 0-based
    uint32_t window_count;
    uint64_t window_offset;  // of entry window_first
    uint64_t window_time;
    FragmentEntry *entries;
    FragmentRun *next;
};

// The defaults a traf's samples take when their run does not store a value:
// trex first, replaced by whatever tfhd carries.
struct TrafDefaults {
    uint32_t description_index;
    uint32_t duration;
    uint32_t size;
    uint32_t flags;
};

struct TrafState {
    uint64_t moof_offset;
    uint64_t moof_body;  // file offset of the moof's first child
    uint64_t box_end;
    uint64_t body_offset;  // its first child
    uint64_t first_trun;   // where the runs start: the first trun, or box_end
    uint64_t next_child;   // where the next trun search resumes
    uint32_t tf_flags;
    uint32_t track_id;
    bool has_tfdt;  // its base decode time comes from the file
    TrafDefaults defaults;
    uint64_t base_data_offset;
    uint64_t base_time;
    uint64_t data_end;  // past the data of the runs read so far
    uint64_t time_end;  // end of the runs read so far
    uint32_t samples_read;
    uint32_t runs_read;
    bool all_runs_read;
    FragmentRun *runs_head;
    FragmentRun *runs_tail;
};

struct TrackFragments {
    bool active;             // the scan state below is valid
    uint64_t scan_position;  // next top-level box to examine
    uint64_t scan_time;      // the earliest time the scan position can still serve
    bool has_traf;
    TrafState traf;
    bool has_carried_end;  // the end of the track's previous traf
    uint64_t carried_end;
    uint64_t bytes_in_use;  // of the fragment budget
    // The traf's auxiliary boxes and caches (extended fragment mode).
    AuxBoxes aux;
    AuxCaches aux_caches;
    TrikCache *trik;
    uint64_t aux_charge;  // of bytes_in_use
    bool index_tried;     // the random-access index was looked for
    TrackFragmentIndex index;
    FragmentRun *cursor_run;
    uint32_t cursor_entry;  // 0-based within the cursor's run
    uint64_t cursor_offset;
    uint64_t cursor_time;
    // Sample order: the track's fragment samples are numbered from 0 in the
    // file order of its trafs and runs. A jump through the random-access
    // index leaves the number of the traf in hand unknown until counted.
    bool numbered;
    uint64_t traf_first_number;  // of the traf in hand, or of the next one
    // Where the track's fragment samples start and end, once walked.
    bool extent_known;
    bool extent_any;  // the track has fragment samples
    uint64_t extent_first;
    uint64_t extent_end;
};

// A track's lookup state: its table windows and, beside them, its fragments.
struct TrackCache {
    TrackTableCache table;
    TrackFragments fragments;
    TrackCache *next;
};

// Which fragment sample a time asks for: the one whose decode interval holds
// it, or the first one whose interval ends after it (the one holding it, or
// the first after a gap in the timeline).
enum class FragmentSearch { holding, at_or_after };

// The fragment sample for time t, found as `search` says; the track's table
// windows are released, since the fragments use their memory.
uint32_t find_fragment_sample(const FragmentSource &src, TrackCache &cache, uint64_t t, FragmentSearch search,
                              uint32_t want_run, SampleInfo *out, uint64_t *out_start);
// The start of the first fragment sync sample whose interval ends after
// `from` (the one holding it, or a later one, across gaps in the timeline).
uint32_t next_fragment_sync(const FragmentSource &src, TrackCache &cache, uint64_t from, uint64_t *out_start);
// The fragment sample numbered k, its decode time in `out->decode_time`;
// BXF_RET_NOTFOUND past the last. Stepping on to the next number is O(1)
// amortised; a number before the traf in hand starts again from the first moof.
uint32_t fragment_sample_by_number(const FragmentSource &src, TrackCache &cache, uint64_t k, uint32_t want_run,
                                   SampleInfo *out);
// The number of the sample the last search or walk found, and the number of
// the first sample of its traf.
uint32_t found_sample_number(const FragmentSource &src, TrackCache &cache, uint64_t *out_number,
                             uint64_t *out_traf_first);
// The first fragment sync sample from number k on: its number and decode time.
uint32_t fragment_sync_from(const FragmentSource &src, TrackCache &cache, uint64_t k, uint64_t *out_k,
                            uint64_t *out_time);
// The last fragment sync sample among numbers [from, to), `*out_found` false
// when there is none.
uint32_t last_fragment_sync(const FragmentSource &src, TrackCache &cache, uint64_t from, uint64_t to, bool *out_found,
                            uint64_t *out_k, uint64_t *out_time);
// The decode time of the track's first fragment sample and the latest end
// of its trafs; `*out_any` false when the track has no fragment samples.
uint32_t fragments_extent(const FragmentSource &src, TrackCache &cache, bool *out_any, uint64_t *out_first,
                          uint64_t *out_end);
// The decode time at which the track's last fragment sample ends.
uint32_t fragments_end_time(const FragmentSource &src, TrackCache &cache, uint64_t from, uint64_t *out_end);
// Releases the runs of a track (it goes back to its tables).
void release_fragments(LibraryInstance *inst, TrackCache &cache);
// Releases all fragment state of a track, its random-access index included.
void close_fragments(LibraryInstance *inst, TrackCache &cache);

}  // namespace bxf

#endif
