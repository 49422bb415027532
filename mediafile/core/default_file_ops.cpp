// The default FileOps: files through the C run-time's low-level descriptor
// calls with 64-bit offsets, memory through the heap and bounded copies.
//
// Windows opens the UTF-16 path with _wsopen_s and deny-write sharing. POSIX
// has no sharing modes, so the same promise is kept with advisory locks: a
// reader holds a shared lock and a writer an exclusive one, so neither side
// can open a file that the other holds (two writers also exclude each other,
// which Windows would allow).
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "internal.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

// A descriptor with a read-ahead buffer. Samples are read one after the
// other, a seek and a small read each; answering them from one large read of
// the file saves two system calls per sample. Deny-write sharing keeps the
// file from changing under the buffer; files opened for writing bypass it.
struct MediaFile {
    int fd;
    bool writable;
    uint64_t position;         // the logical position that seek and tell see
    uint8_t *buffer;           // allocated on the first buffered read
    uint64_t buffer_position;  // file offset of buffer[0]
    uint64_t buffer_length;    // valid bytes in the buffer
};

namespace {

// The run-time takes 32-bit counts; a larger request is served short and the
// caller sees the short count.
unsigned clamp_count(uint64_t count) { return count > INT_MAX ? unsigned(INT_MAX) : unsigned(count); }

#ifdef _WIN32
int os_read(int fd, void *buf, unsigned n) { return _read(fd, buf, n); }
int os_write(int fd, const void *buf, unsigned n) { return _write(fd, buf, n); }
int64_t os_seek(int fd, int64_t off, int whence) { return _lseeki64(fd, off, whence); }
int os_close(int fd) { return _close(fd); }

int os_open(const uint16_t *path, uint32_t mode) {
    int fd = -1;
    const wchar_t *wpath = reinterpret_cast<const wchar_t *>(path);
    errno_t err = mode == BXF_FILE_MODE_READ ? _wsopen_s(&fd, wpath, _O_RDONLY | _O_BINARY, _SH_DENYWR, _S_IREAD)
                                             : _wsopen_s(&fd, wpath, _O_RDWR | _O_BINARY | _O_CREAT | _O_TRUNC,
                                                         _SH_DENYNO, _S_IREAD | _S_IWRITE);
    return err == 0 ? fd : -1;
}
#else
int os_read(int fd, void *buf, unsigned n) { return int(::read(fd, buf, n)); }
int os_write(int fd, const void *buf, unsigned n) { return int(::write(fd, buf, n)); }
int64_t os_seek(int fd, int64_t off, int whence) { return ::lseek(fd, off, whence); }
int os_close(int fd) { return ::close(fd); }

// UTF-16 to UTF-8; false for an unpaired surrogate.
bool utf16_to_utf8(const uint16_t *in, std::string &out) {
    for (; *in; ++in) {
        uint32_t cp = *in;
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (in[1] < 0xDC00 || in[1] > 0xDFFF) return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (in[1] - 0xDC00);
            ++in;
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return false;
        }
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }
    return true;
}

int os_open(const uint16_t *path, uint32_t mode) {
    std::string utf8;
    if (!utf16_to_utf8(path, utf8)) return -1;
    const bool reading = mode == BXF_FILE_MODE_READ;
    // Truncation waits until the lock is held, so a refused writer cannot
    // empty a file that a reader has open.
    int fd =
        reading ? ::open(utf8.c_str(), O_RDONLY | O_CLOEXEC) : ::open(utf8.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    if (::flock(fd, (reading ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0 || (!reading && ::ftruncate(fd, 0) != 0)) {
        ::close(fd);
        return -1;
    }
    return fd;
}
#endif

// A read that starts within this distance of the buffered bytes continues a
// sequential pass and refills the whole buffer; a read elsewhere (a box
// header after a large mdat) fetches only a little around it.
constexpr uint64_t kReadAhead = 64 * 1024;
constexpr uint64_t kRandomReadAhead = 4 * 1024;

// Reads at the logical position straight from the descriptor.
int64_t read_at(MediaFile &f, void *buffer, uint64_t count) {
    if (f.position > uint64_t(INT64_MAX) || os_seek(f.fd, int64_t(f.position), SEEK_SET) < 0) return -1;
    return os_read(f.fd, buffer, clamp_count(count));
}

bool near_buffer(const MediaFile &f) {
    return f.buffer_length != 0 && f.position >= f.buffer_position &&
           f.position - f.buffer_position <= f.buffer_length + kReadAhead;
}

int64_t buffered_read(MediaFile &f, uint8_t *out, uint64_t count) {
    uint64_t done = 0;
    while (done < count) {
        if (f.position >= f.buffer_position && f.position < f.buffer_position + f.buffer_length) {
            const uint64_t at = f.position - f.buffer_position;
            const uint64_t n = count - done < f.buffer_length - at ? count - done : f.buffer_length - at;
            std::memcpy(out + done, f.buffer + at, n);
            done += n;
            f.position += n;
            continue;
        }
        if (count - done >= kReadAhead) {  // large reads go straight to the caller
            const int64_t n = read_at(f, out + done, count - done);
            if (n < 0) return -1;
            done += uint64_t(n);
            f.position += uint64_t(n);
            break;
        }
        if (!f.buffer && !(f.buffer = static_cast<uint8_t *>(std::malloc(kReadAhead)))) return -1;
        const uint64_t want = near_buffer(f) ? kReadAhead : kRandomReadAhead;
        f.buffer_length = 0;
        f.buffer_position = f.position;
        const int64_t n = read_at(f, f.buffer, want > count - done ? want : count - done);
        if (n < 0) return -1;
        if (n == 0) break;  // end of file: the read comes back short
        f.buffer_length = uint64_t(n);
    }
    return int64_t(done);
}

uint32_t op_read(void *file, void *buffer, uint64_t count, uint64_t *out_read) {
    if (!file || !buffer || !out_read) return BXF_RET_ARGS;
    MediaFile &f = *static_cast<MediaFile *>(file);
    int64_t n;
    if (f.writable) {
        n = read_at(f, buffer, count);
        if (n > 0) f.position += uint64_t(n);
    } else {
        n = buffered_read(f, static_cast<uint8_t *>(buffer), count);
    }
    if (n < 0) return BXF_RET_FILE;
    *out_read = uint64_t(n);
    return BXF_RET_OK;
}

uint32_t op_write(void *file, const void *buffer, uint64_t count, uint64_t *out_written) {
    if (!file || !buffer || !out_written) return BXF_RET_ARGS;
    MediaFile &f = *static_cast<MediaFile *>(file);
    if (f.position > uint64_t(INT64_MAX) || os_seek(f.fd, int64_t(f.position), SEEK_SET) < 0) return BXF_RET_FILE;
    const int n = os_write(f.fd, buffer, clamp_count(count));
    if (n < 0) return BXF_RET_FILE;
    f.position += uint64_t(n);
    f.buffer_length = 0;
    *out_written = uint64_t(n);
    return BXF_RET_OK;
}

// Seeking only moves the logical position; the descriptor is positioned by
// the next read or write. A position before the start is refused, as the
// run-time would refuse it; from the end, the run-time finds the end.
uint32_t op_seek(void *file, int64_t offset, uint32_t origin) {
    if (!file) return BXF_RET_ARGS;
    if (origin > BXF_SEEK_END) return BXF_RET_ARGS;
    MediaFile &f = *static_cast<MediaFile *>(file);
    int64_t target;
    if (origin == BXF_SEEK_END) {
        target = os_seek(f.fd, offset, SEEK_END);
    } else {
        const int64_t base = origin == BXF_SEEK_SET ? 0 : int64_t(f.position);
        if (__builtin_add_overflow(base, offset, &target)) return BXF_RET_FILE;
    }
    if (target < 0) return BXF_RET_FILE;
    f.position = uint64_t(target);
    return BXF_RET_OK;
}

uint32_t op_tell(void *file, uint64_t *out_position) {
    if (!file || !out_position) return BXF_RET_ARGS;
    *out_position = static_cast<MediaFile *>(file)->position;
    return BXF_RET_OK;
}

uint32_t op_size(void *file, uint64_t *out_size) {
    if (!file || !out_size) return BXF_RET_ARGS;
    uint64_t here = 0, end = 0;
    uint32_t ret = op_tell(file, &here);
    if (ret == BXF_RET_OK) ret = op_seek(file, 0, BXF_SEEK_END);
    if (ret == BXF_RET_OK) ret = op_tell(file, &end);
    if (ret == BXF_RET_OK) ret = op_seek(file, int64_t(here), BXF_SEEK_SET);
    if (ret == BXF_RET_OK) *out_size = end;
    return ret;
}

void *op_allocate(uintptr_t, uint64_t count) { return count > SIZE_MAX ? nullptr : std::malloc(size_t(count)); }
void op_release(uintptr_t, void *pointer) { std::free(pointer); }

int op_compare_strings(uintptr_t, const char *a, const char *b, uint64_t n) { return std::strncmp(a, b, size_t(n)); }

char *op_copy_string(uintptr_t, char *dst, uint64_t capacity, const char *src, uint64_t n) {
    if (!dst || !src || capacity < n) return nullptr;
    const size_t len = strnlen(src, size_t(n));
    if (len >= capacity) {  // no room for the terminator: the bounded copy's error
        if (capacity) dst[0] = '\0';
        return nullptr;
    }
    std::memcpy(dst, src, len);
    dst[len] = '\0';
    return dst;
}

int op_compare_memory(uintptr_t, const void *a, const void *b, uint64_t n) { return std::memcmp(a, b, size_t(n)); }

void *op_copy_memory(uintptr_t, void *dst, uint64_t capacity, const void *src, uint64_t n) {
    if (!dst || !src || capacity < n) return nullptr;
    std::memcpy(dst, src, size_t(n));
    return dst;
}

void *op_move_memory(uintptr_t, void *dst, uint64_t capacity, const void *src, uint64_t n) {
    if (!dst || !src || capacity < n) return nullptr;
    std::memmove(dst, src, size_t(n));
    return dst;
}

void *op_fill_memory(uintptr_t, void *dst, int value, uint64_t n) { return std::memset(dst, value, size_t(n)); }

}  // namespace

extern "C" uint32_t bxf_file_open(const uint16_t *path, uint32_t mode, MediaFile **out_file) {
    if (!path || !out_file || (mode != BXF_FILE_MODE_READ && mode != BXF_FILE_MODE_WRITE)) return BXF_RET_ARGS;
    auto *file = new (std::nothrow) MediaFile{-1, mode == BXF_FILE_MODE_WRITE, 0, nullptr, 0, 0};
    if (!file) return BXF_RET_NOMEM;
    file->fd = os_open(path, mode);
    if (file->fd < 0) {
        delete file;
        return BXF_RET_FILE;
    }
    *out_file = file;
    return BXF_RET_OK;
}

extern "C" uint32_t bxf_file_close(MediaFile *file) {
    if (!file) return BXF_RET_ARGS;
    os_close(file->fd);
    std::free(file->buffer);
    delete file;
    return BXF_RET_OK;
}

extern "C" uint32_t bxf_fill_file_ops(FileOps *ops) {
    if (!ops) return BXF_RET_ARGS;
    *ops = FileOps{0,
                   op_read,
                   op_write,
                   op_seek,
                   op_tell,
                   op_size,
                   op_allocate,
                   op_release,
                   op_compare_strings,
                   op_copy_string,
                   op_compare_memory,
                   op_copy_memory,
                   op_move_memory,
                   op_fill_memory};
    return BXF_RET_OK;
}
