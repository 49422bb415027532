// What each contender does in one timed run: the library, libavformat and a
// plain read of the file. Each run opens the file itself and times itself,
// so closing is never part of a figure.
#ifndef BXF_BENCH_CONTENDERS_H
#define BXF_BENCH_CONTENDERS_H

#include <cstdint>

#include "counting_ops.h"
#include "packet_list.h"

struct Run {
    bool ok = false;
    double seconds = 0;
    uint64_t samples = 0;
    uint64_t bytes = 0;  // sample bytes read (the plain read: file bytes)
};

// From nothing to the first sample in the file in hand: create, open the
// file and the movie, open every track, ask the sample counts, locate each
// track's first sample and read the one that lies first.
Run library_open_to_first(const char *path);
// From nothing to the first packet: avformat_open_input, av_read_frame.
Run peer_open_to_first(const char *path);

// How the library's side gets at each sample's bytes.
enum class SampleBytes {
    kSeekAndRead,  // one seek and one read of the default file operations, as the filter does
    kNotRead,      // the samples are only located
};

// Open, then every sample of every track located (and read), in file order.
// `heap`, when given, counts the library's memory; `log` records each sample.
Run library_read_all(const char *path, SampleBytes bytes, HeapCounter *heap, PacketList *log);
// Open, then av_read_frame to the end. `heap_peak`, when given, receives
// the most that glibc's in-use heap grew above what it was before the open,
// looked at after the open and every 1024 packets.
Run peer_read_all(const char *path, uint64_t *heap_peak, PacketList *log);

// The floor: the file's bytes read front to back in 1 MiB blocks.
Run plain_read(const char *path);

#endif
