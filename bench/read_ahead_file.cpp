#include "read_ahead_file.h"

#include <algorithm>
#include <cstring>

void ReadAheadFile::use_in(FileOps &ops) {
    ops.read = read_entry;
    ops.write = write_entry;
    ops.seek = seek_entry;
    ops.tell = tell_entry;
    ops.size = size_entry;
}

uint32_t ReadAheadFile::read(uint8_t *out, uint64_t count, uint64_t *out_read) {
    uint64_t done = 0;
    while (done < count) {
        if (position_ < buffer_start_ || position_ >= buffer_start_ + buffered_) {
            // Refill from the position; at the end of the file a short read ends the loop.
            uint32_t ret = base_.seek(file_, int64_t(position_), BXF_SEEK_SET);
            if (ret == BXF_RET_OK) ret = base_.read(file_, buffer_.data(), buffer_.size(), &buffered_);
            if (ret != BXF_RET_OK) return ret;
            buffer_start_ = position_;
            if (buffered_ == 0) break;
        }
        const uint64_t from = position_ - buffer_start_;
        const uint64_t n = std::min(count - done, buffered_ - from);
        std::memcpy(out + done, buffer_.data() + from, size_t(n));
        done += n;
        position_ += n;
    }
    *out_read = done;
    return BXF_RET_OK;
}

uint32_t ReadAheadFile::seek(int64_t offset, uint32_t origin) {
    uint64_t base = 0;
    if (origin == BXF_SEEK_CUR) base = position_;
    if (origin == BXF_SEEK_END) {
        const uint32_t ret = base_.size(file_, &base);
        if (ret != BXF_RET_OK) return ret;
    }
    if (origin > BXF_SEEK_END || (offset < 0 && uint64_t(-offset) > base)) return BXF_RET_ARGS;
    position_ = base + uint64_t(offset);
    return BXF_RET_OK;
}

uint32_t ReadAheadFile::read_entry(void *file, void *buffer, uint64_t count, uint64_t *out_read) {
    if (!file || !buffer || !out_read) return BXF_RET_ARGS;
    return static_cast<ReadAheadFile *>(file)->read(static_cast<uint8_t *>(buffer), count, out_read);
}

// The benchmark only reads.
uint32_t ReadAheadFile::write_entry(void *, const void *, uint64_t, uint64_t *) { return BXF_RET_FILE; }

uint32_t ReadAheadFile::seek_entry(void *file, int64_t offset, uint32_t origin) {
    return file ? static_cast<ReadAheadFile *>(file)->seek(offset, origin) : BXF_RET_ARGS;
}

uint32_t ReadAheadFile::tell_entry(void *file, uint64_t *out_position) {
    if (!file || !out_position) return BXF_RET_ARGS;
    *out_position = static_cast<ReadAheadFile *>(file)->position_;
    return BXF_RET_OK;
}

uint32_t ReadAheadFile::size_entry(void *file, uint64_t *out_size) {
    if (!file || !out_size) return BXF_RET_ARGS;
    const auto *self = static_cast<ReadAheadFile *>(file);
    return self->base_.size(self->file_, out_size);
}
