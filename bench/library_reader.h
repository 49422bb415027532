// The library's side of the benchmark: a movie opened the way the filter
// opens it, and its samples located and read the way the pins read them.
#ifndef BXF_BENCH_LIBRARY_READER_H
#define BXF_BENCH_LIBRARY_READER_H

#include <cstdint>
#include <vector>

#include "bxf.h"
#include "counting_ops.h"
#include "packet_list.h"

struct LibraryMovie {
    FileOps ops{};
    MediaFile *file = nullptr;
    LibraryInstance *instance = nullptr;
    PlayHandle *handle = nullptr;
    std::vector<uint32_t> sample_counts;  // per track, track 1 first
};

// Opens the file, the movie (no memory budget, so the sample tables get the
// fixed window budget), every track, and asks each track's sample count.
// `heap`, when given, counts the library's memory.
uint32_t open_library_movie(const char *path, HeapCounter *heap, LibraryMovie &movie);
void close_library_movie(LibraryMovie &movie);

// Every sample of every track, in file order: the next sample read is, of
// each track's next sample, the one that lies first in the file. Reads then
// move forwards through the file as it was written, which is also the order
// in which libavformat hands out packets, so both sides do the same reads.
class SampleWalker {
public:
    // Without `read_bytes` the walker only locates the samples.
    SampleWalker(LibraryMovie &movie, bool read_bytes) : movie_(movie), read_bytes_(read_bytes) {}
    // Locates the first sample of every track.
    uint32_t start();
    // Seeks to the next sample and reads it into `buffer` (grown as needed);
    // BXF_RET_NOTFOUND once every track has ended. `record`, when given,
    // receives what the library said about the sample.
    uint32_t next(std::vector<uint8_t> &buffer, PacketRecord *record);

private:
    struct Cursor {
        uint32_t track;
        uint32_t sample;       // the sample that `info` describes
        uint64_t decode_time;  // its start: the durations of the samples before it
        bool ended;
        SampleInfo info;
    };
    uint32_t locate(Cursor &cursor);
    uint32_t read(const SampleInfo &info, std::vector<uint8_t> &buffer);

    LibraryMovie &movie_;
    bool read_bytes_;
    std::vector<Cursor> cursors_;
};

#endif
