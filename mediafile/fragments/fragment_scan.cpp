// The scan state of a track's fragments: where the scan starts again, what
// it carries past a traf, and the cursor left on the sample found last.
#include "fragment_internal.h"

namespace bxf {

namespace {

bool sync_entry(const FragmentRun &run, uint32_t j, const FragmentEntry &e) {
    if (j == 0 && (run.version_flags & kTrunFirstSampleFlags)) return !(run.first_sample_flags & kSampleIsDifference);
    return !(e.flags & kSampleIsDifference);
}

}  // namespace

void restart_scan(const FragmentSource &src, TrackFragments &fs) {
    release_runs(src.io.inst, fs);
    release_traf_aux(src.io.inst, fs);
    fs.has_traf = false;
    fs.has_carried_end = false;
    fs.scan_position = src.movie.moof_head ? src.movie.moof_head->box_offset : src.file_size;
    fs.scan_time = 0;
    fs.numbered = true;
    fs.traf_first_number = 0;
    fs.active = true;
}

void leave_traf(LibraryInstance *inst, TrackFragments &fs) {
    fs.carried_end = fs.scan_time = fs.traf.time_end;
    fs.has_carried_end = true;
    fs.traf_first_number += fs.traf.samples_read;  // every run was read to get past it
    release_runs(inst, fs);
    release_traf_aux(inst, fs);
    fs.has_traf = false;
}

uint32_t describe_found(const FragmentSource &src, TrackFragments &fs, const Found &f, uint32_t want_run,
                        SampleInfo *out) {
    fs.cursor_run = f.run;
    fs.cursor_entry = f.entry;
    fs.cursor_offset = f.offset;
    fs.cursor_time = f.time;
    SampleInfo info{};
    info.size = f.value.size;
    info.offset = f.offset;
    info.duration = f.value.duration;
    info.decode_time = f.time;
    info.is_sync = sync_entry(*f.run, f.entry, f.value);
    info.composition_offset = f.value.composition_offset;
    info.composition_offset_signed = (f.run->version_flags >> 24) != 0;
    info.description_index = fs.traf.defaults.description_index;
    if (want_run) {
        info.run_count = f.run->sample_count - f.entry;
        info.run_bytes = f.run->end_offset - f.offset;
        info.run_duration = f.run->end_time > f.time ? f.run->end_time - f.time : 0;
    }
    if (src.fragment_mode == 1) info.fragment_position = fs.traf.moof_body;
    const uint32_t ret = fragment_aux_info(src, fs, *f.run, f.entry, want_run, info);
    if (ret == BXF_RET_OK) *out = info;
    return ret;
}

}  // namespace bxf
