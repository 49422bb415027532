// The per-track section of bxfprobe: headers, handler, edit list and every
// sample entry with its decoder configuration; and the vendor profiles.
#ifndef BXF_PROBE_TRACKS_H
#define BXF_PROBE_TRACKS_H

#include "bxf.h"
#include "probe_output.h"

// `ops`/`file` read the handler name, which the library keeps as a range.
uint32_t print_tracks(ProbeOutput &out, PlayHandle *handle, const FileOps &ops, void *file);
void print_vendor_profiles(ProbeOutput &out, PlayHandle *handle, const MovieRecord &movie);
// The tfra tables of mfra: per table its track, version, entry count and size.
void print_random_access(ProbeOutput &out, const MovieRecord &movie);

#endif
