#include "contenders.h"

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "library_reader.h"
#include "peer_reader.h"
#include "stopwatch.h"

namespace {

// glibc's heap in use: small blocks from the arenas plus the large ones it
// maps on their own.
uint64_t heap_in_use() {
    const struct mallinfo2 m = mallinfo2();
    return uint64_t(m.uordblks) + uint64_t(m.hblkhd);
}

}  // namespace

Run library_open_to_first(const char *path) {
    Run run;
    std::vector<uint8_t> buffer;
    const Stopwatch watch;
    LibraryMovie movie;
    if (open_library_movie(path, nullptr, movie) != BXF_RET_OK) return run;
    SampleWalker walker(movie, true);
    PacketRecord first{};
    run.ok = walker.start() == BXF_RET_OK && walker.next(buffer, &first) == BXF_RET_OK;
    run.seconds = watch.seconds();
    run.samples = 1;
    run.bytes = first.size;
    close_library_movie(movie);
    return run;
}

Run peer_open_to_first(const char *path) {
    Run run;
    const Stopwatch watch;
    PeerMovie movie;
    if (!open_peer_movie(path, movie)) return run;
    PacketRecord first{};
    run.ok = read_peer_packet(movie, &first);
    run.seconds = watch.seconds();
    run.samples = 1;
    run.bytes = first.size;
    close_peer_movie(movie);
    return run;
}

Run library_read_all(const char *path, SampleBytes bytes, HeapCounter *heap, PacketList *log) {
    Run run;
    std::vector<uint8_t> buffer;
    const Stopwatch watch;
    LibraryMovie movie;
    if (open_library_movie(path, heap, movie) != BXF_RET_OK) return run;
    SampleWalker walker(movie, bytes != SampleBytes::kNotRead);
    uint32_t ret = walker.start();
    PacketRecord record{};
    while (ret == BXF_RET_OK && (ret = walker.next(buffer, &record)) == BXF_RET_OK) {
        ++run.samples;
        run.bytes += record.size;
        if (log) log->push_back(record);
    }
    run.seconds = watch.seconds();
    run.ok = ret == BXF_RET_NOTFOUND;
    close_library_movie(movie);
    return run;
}

Run peer_read_all(const char *path, uint64_t *heap_peak, PacketList *log) {
    Run run;
    const uint64_t heap_before = heap_in_use();
    uint64_t heap_most = heap_before;
    const Stopwatch watch;
    PeerMovie movie;
    if (!open_peer_movie(path, movie)) return run;
    if (heap_peak) heap_most = std::max(heap_most, heap_in_use());
    PacketRecord record{};
    for (; read_peer_packet(movie, &record); ++run.samples) {
        run.bytes += record.size;
        if (log) log->push_back(record);
        if (heap_peak && run.samples % 1024 == 0) heap_most = std::max(heap_most, heap_in_use());
    }
    run.seconds = watch.seconds();
    run.ok = true;
    // Its index is held until close, so the end of the demux counts too.
    if (heap_peak) *heap_peak = std::max(heap_most, heap_in_use()) - heap_before;
    close_peer_movie(movie);
    return run;
}

Run plain_read(const char *path) {
    Run run;
    std::vector<uint8_t> buffer(1 << 20);
    const Stopwatch watch;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return run;
    ssize_t n;
    while ((n = ::read(fd, buffer.data(), buffer.size())) > 0) run.bytes += uint64_t(n);
    run.seconds = watch.seconds();
    run.ok = n == 0;
    ::close(fd);
    return run;
}
