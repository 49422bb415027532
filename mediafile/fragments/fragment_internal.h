// Pieces of the fragment reader shared by its files: the traf walk, the run
// decoding, the run windows and the search.
#ifndef BXF_FRAGMENT_INTERNAL_H
#define BXF_FRAGMENT_INTERNAL_H

#include "fragments.h"

namespace bxf {

struct AuxWalk;

// What one walk of a traf's children finds: its head (tfhd, tfdt), where its
// first trun is, and, when `aux` is given, its auxiliary boxes.
struct TrafChildren {
    bool has_tfhd;
    uint32_t tf_flags;
    uint32_t track_id;
    uint64_t base_data_offset;
    uint32_t description_index, duration, size, flags;  // as tfhd carries them
    bool has_tfdt;
    uint64_t tfdt;
    uint64_t first_trun;  // the box offset of the first trun; 0 for none
    AuxWalk *aux;
};

// The one walk of a traf's children (`body` is the traf's body).
uint32_t walk_traf(const Io &io, BoxRange body, AuxWalk *aux, TrafChildren *out);

// Scans on from the scan position of `fs` to the next moof that has a traf
// for the track and makes it the current traf (a traf without tfdt starts
// where the track's previous traf, or else its sample tables, ended).
// BXF_RET_NOTFOUND at the end of the file.
uint32_t next_track_traf(const FragmentSource &src, const TrackTableCache &table, TrackFragments &fs);

// Run decoding. Reads the head of the traf's next trun (from its next
// child on) and places the run after the ones read before; `*found` is false
// when the traf has no more runs.
uint32_t read_run_head(const Io &io, TrafState &traf, FragmentRun *out, bool *found);
// One entry from its file bytes, with the traf's defaults for the fields
// the run does not store.
FragmentEntry decode_entry(const uint8_t *p, uint32_t entry_size, uint32_t flags, const TrafDefaults &d);
// Adds a run's sizes and durations to its start: where its data and time end.
uint32_t run_extent(const Io &io, const TrafDefaults &d, FragmentRun &run);
// The traf's data and time go on after `run`.
void advance_traf(TrafState &traf, const FragmentRun &run);
// How many samples a traf's runs hold, from their heads alone.
uint32_t traf_sample_count(const Io &io, const TrafState &traf, uint64_t *out);
// Where a traf's sample data and decode times end, all its runs counted.
uint32_t traf_totals(const Io &io, const TrafState &traf, uint64_t *out_data_end, uint64_t *out_time_end);

// Run windows. Reads the traf's next run into a record with a window of
// entries, charged to the track's fragment budget; BXF_RET_NOTFOUND after
// the last run.
uint32_t load_next_run(const Io &io, TrackCache &cache, FragmentRun **out);
// Entry j of a run, placed at `offset` and `time`, brought into the window
// when the run stores entries.
uint32_t run_entry(const Io &io, const TrafDefaults &d, FragmentRun &run, uint32_t j, uint64_t offset, uint64_t time,
                   FragmentEntry *out);
void release_runs(LibraryInstance *inst, TrackFragments &fs);
// Starts the traf's runs over from its first trun.
void restart_traf(LibraryInstance *inst, TrackFragments &fs);

// A sample found in the traf in hand.
struct Found {
    FragmentRun *run;
    uint32_t entry;
    uint64_t offset;
    uint64_t time;
    FragmentEntry value;
};

// Walks a run that stores entries forwards, from the cursor when it lies in
// this run before the wanted entry (`from_cursor`), else from the window
// (`from_window`), else from the run's start, to the first entry for which
// wanted(j, time, entry) holds; BXF_RET_NOTFOUND past the run's last.
template <class Wanted>
uint32_t walk_entries(const Io &io, TrackFragments &fs, FragmentRun &run, bool from_cursor, bool from_window,
                      Wanted wanted, Found *out) {
    uint32_t j = 0;
    uint64_t offset = run.data_offset, time = run.start_time;
    if (from_cursor) {
        j = fs.cursor_entry;
        offset = fs.cursor_offset;
        time = fs.cursor_time;
    } else if (from_window) {
        j = run.window_first;
        offset = run.window_offset;
        time = run.window_time;
    }
    for (; j < run.sample_count; ++j) {
        FragmentEntry e;
        const uint32_t ret = run_entry(io, fs.traf.defaults, run, j, offset, time, &e);
        if (ret != BXF_RET_OK) return ret;
        if (wanted(j, time, e)) {
            *out = Found{&run, j, offset, time, e};
            return BXF_RET_OK;
        }
        if (!checked_add(offset, e.size, &offset) || !checked_add(time, e.duration, &time)) return BXF_RET_OVERFLOW;
    }
    return BXF_RET_NOTFOUND;
}

// The track's scan starts again at the first moof, numbering from 0.
void restart_scan(const FragmentSource &src, TrackFragments &fs);
// The scan moves past the traf in hand: its end carries into the track's
// next traf, its samples into the next traf's first number.
void leave_traf(LibraryInstance *inst, TrackFragments &fs);
// Makes `f` the cursor and describes it, auxiliary fields included.
uint32_t describe_found(const FragmentSource &src, TrackFragments &fs, const Found &f, uint32_t want_run,
                        SampleInfo *out);

// The traf's auxiliary boxes, in the extended fragment mode; released with
// the traf.
uint32_t read_traf_aux(const FragmentSource &src, TrackFragments &fs, uint64_t fragment_budget);
void release_traf_aux(LibraryInstance *inst, TrackFragments &fs);
// The auxiliary fields of entry `entry` of `run` (fragment mode 1 only).
uint32_t fragment_aux_info(const FragmentSource &src, TrackFragments &fs, const FragmentRun &run, uint32_t entry,
                           uint32_t want_run, SampleInfo &info);

}  // namespace bxf

#endif
