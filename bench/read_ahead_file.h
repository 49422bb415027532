// A file object with a read-ahead buffer over the default file operations,
// as libavformat reads through its AVIOContext: a read that falls inside
// the buffer costs a copy instead of a seek and a read of the operating
// system. The benchmark runs the library through it to show what buffering
// would buy beside the filter's one seek and one read per sample.
#ifndef BXF_BENCH_READ_AHEAD_FILE_H
#define BXF_BENCH_READ_AHEAD_FILE_H

#include <cstdint>
#include <vector>

#include "bxf.h"

class ReadAheadFile {
public:
    ReadAheadFile(MediaFile *file, const FileOps &base, size_t capacity)
        : file_(file), base_(base), buffer_(capacity) {}
    // Points the file entries of `ops` (read, write, seek, tell, size) at
    // read-ahead files; hand them a ReadAheadFile as the file.
    static void use_in(FileOps &ops);

private:
    uint32_t read(uint8_t *out, uint64_t count, uint64_t *out_read);
    uint32_t seek(int64_t offset, uint32_t origin);
    static uint32_t read_entry(void *file, void *buffer, uint64_t count, uint64_t *out_read);
    static uint32_t write_entry(void *file, const void *buffer, uint64_t count, uint64_t *out_written);
    static uint32_t seek_entry(void *file, int64_t offset, uint32_t origin);
    static uint32_t tell_entry(void *file, uint64_t *out_position);
    static uint32_t size_entry(void *file, uint64_t *out_size);

    MediaFile *file_;
    FileOps base_;
    std::vector<uint8_t> buffer_;
    uint64_t buffer_start_ = 0;  // file offset of buffer_[0]
    uint64_t buffered_ = 0;      // valid bytes in buffer_
    uint64_t position_ = 0;
};

#endif
