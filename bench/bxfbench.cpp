// bxfbench: the library's sample access beside libavformat, on the same
// files, in one run. For each file it measures the time from nothing to the
// first sample, the time to locate and read every sample, and the memory
// each side holds while doing it; a plain read of the file is the floor.
// Before timing anything it checks that both sides find the same samples.
//
// usage: bxfbench [--runs N] FILE...   (prints Markdown tables)
#include <sys/stat.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "child_run.h"
#include "contenders.h"
#include "library_reader.h"

namespace {

struct FileFacts {
    const char *path = nullptr;
    double duration_seconds = 0;  // the longest track's media duration
    std::vector<uint32_t> sample_counts;
    uint64_t samples = 0;
    uint64_t bytes = 0;
};

bool describe(const char *path, FileFacts &facts) {
    LibraryMovie movie;
    if (open_library_movie(path, nullptr, movie) != BXF_RET_OK) return false;
    facts.path = path;
    facts.sample_counts = movie.sample_counts;
    for (uint32_t t = 1; t <= movie.sample_counts.size(); ++t) {
        MediaHeaderInfo mdhd{};
        if (bxf_get_media_header(movie.handle, t, &mdhd) == BXF_RET_OK && mdhd.time_scale)
            facts.duration_seconds = std::max(facts.duration_seconds, double(mdhd.duration) / mdhd.time_scale);
        facts.samples += movie.sample_counts[t - 1];
    }
    close_library_movie(movie);
    struct stat st {};
    if (::stat(path, &st) != 0) return false;
    facts.bytes = uint64_t(st.st_size);
    return true;
}

// ---- Number formatting ---------------------------------------------------

std::string grouped(uint64_t n) {
    std::string digits = std::to_string(n), out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string printed(const char *format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string duration_text(double seconds) {
    if (seconds < 0.01) return printed("%.3f ms", seconds * 1e3);
    if (seconds < 1) return printed("%.1f ms", seconds * 1e3);
    return printed("%.2f s", seconds);
}

std::string kib_text(uint64_t kib) {
    return kib < 10 * 1024 ? grouped(kib) + " KiB" : printed("%.1f MiB", kib / 1024.0);
}

std::string bytes_text(uint64_t bytes) { return kib_text((bytes + 1023) / 1024); }

std::string file_label(const FileFacts &f) {
    return f.duration_seconds >= 59.5 ? printed("%.0f min", f.duration_seconds / 60)
                                     : printed("%.0f s", f.duration_seconds);
}

// ---- Measurements ---------------------------------------------------------

// The fastest of `runs` runs; a failed run fails the measurement.
Run best_of(int runs, Run (*contender)(const char *), const char *path) {
    Run best;
    for (int i = 0; i < runs; ++i) {
        const Run run = contender(path);
        if (!run.ok) return Run{};
        if (!best.ok || run.seconds < best.seconds) best = run;
    }
    return best;
}

Run library_seek_and_read(const char *path) {
    return library_read_all(path, SampleBytes::kSeekAndRead, nullptr, nullptr);
}
Run library_locate_only(const char *path) { return library_read_all(path, SampleBytes::kNotRead, nullptr, nullptr); }
Run peer_read_all_plain(const char *path) { return peer_read_all(path, nullptr, nullptr); }

uint64_t library_heap_task(const char *path) {
    HeapCounter heap;
    return library_read_all(path, SampleBytes::kSeekAndRead, &heap, nullptr).ok ? heap.peak : UINT64_MAX;
}

// The records of the movie and its tracks, before any lookup has sized a window.
uint64_t library_open_heap(const char *path) {
    HeapCounter heap;
    LibraryMovie movie;
    if (open_library_movie(path, &heap, movie) != BXF_RET_OK) return UINT64_MAX;
    close_library_movie(movie);
    return heap.peak;
}

uint64_t peer_heap_task(const char *path) {
    uint64_t peak = 0;
    return peer_read_all(path, &peak, nullptr).ok ? peak : UINT64_MAX;
}

uint64_t plain_read_task(const char *path) { return plain_read(path).ok ? 0 : UINT64_MAX; }

struct FileResults {
    uint64_t library_open_memory = 0;
    ChildFigures library_memory, peer_memory, plain_memory;
    uint64_t differing = 0;
    Run library_first, peer_first, library_all, library_located, peer_all, plain;
};

// Both sides must find the same samples, or their timings compare nothing.
bool check_samples(const FileFacts &f, FileResults &r) {
    PacketList ours, peer;
    const Run a = library_read_all(f.path, SampleBytes::kSeekAndRead, nullptr, &ours);
    const Run b = peer_read_all(f.path, nullptr, &peer);
    if (!a.ok || !b.ok) return false;
    std::printf("Check, %s: ", f.path);
    std::fflush(stdout);
    r.differing = compare_packet_lists(ours, peer, stdout);
    if (r.differing == 0)
        std::printf("all %s samples have libavformat's offset, size, decode time, composition offset and key "
                    "flag.\n\n",
                    grouped(ours.size()).c_str());
    else
        std::printf("%s samples differ from libavformat's packets.\n\n", grouped(r.differing).c_str());
    return true;
}

bool measure(const FileFacts &f, int runs, FileResults &r) {
    r.library_first = best_of(runs, library_open_to_first, f.path);
    r.peer_first = best_of(runs, peer_open_to_first, f.path);
    r.library_all = best_of(runs, library_seek_and_read, f.path);
    r.library_located = best_of(runs, library_locate_only, f.path);
    r.peer_all = best_of(runs, peer_read_all_plain, f.path);
    r.plain = best_of(runs, plain_read, f.path);
    for (const Run *run : {&r.library_first, &r.peer_first, &r.library_all, &r.library_located, &r.peer_all, &r.plain})
        if (!run->ok) return false;
    return true;
}

// ---- Tables ---------------------------------------------------------------

void table_head(const char *first, const std::vector<FileFacts> &files) {
    std::printf("| %s |", first);
    for (const FileFacts &f : files) std::printf(" %s file |", file_label(f).c_str());
    std::printf("\n|---|");
    for (size_t i = 0; i < files.size(); ++i) std::printf("---:|");
    std::printf("\n");
}

template <class Cell>
void table_row(const char *name, const std::vector<FileResults> &results, Cell cell) {
    std::printf("| %s |", name);
    for (const FileResults &r : results) std::printf(" %s |", cell(r).c_str());
    std::printf("\n");
}

std::string read_cell(const Run &run) {
    return duration_text(run.seconds) + ", " + grouped(uint64_t(run.samples / run.seconds)) + " samples/s";
}

std::string speed_ratio(const Run &fast, const Run &slow) { return printed("%.2fx", slow.seconds / fast.seconds); }

void print_tables(const std::vector<FileFacts> &files, const std::vector<FileResults> &results, int runs) {
    std::printf("| file | duration | samples (per track) | size |\n|---|---:|---:|---:|\n");
    for (const FileFacts &f : files) {
        std::string per_track;
        for (uint32_t n : f.sample_counts) per_track += (per_track.empty() ? "" : " + ") + grouped(n);
        std::printf("| %s | %.1f s | %s (%s) | %s bytes |\n", f.path, f.duration_seconds, grouped(f.samples).c_str(),
                    per_track.c_str(), grouped(f.bytes).c_str());
    }

    std::printf("\nOpen to first sample, best of %d:\n\n", runs);
    table_head("reader", files);
    table_row("library", results, [](const FileResults &r) { return duration_text(r.library_first.seconds); });
    table_row("libavformat (no find_stream_info)", results,
              [](const FileResults &r) { return duration_text(r.peer_first.seconds); });

    std::printf("\nEvery sample located and read in file order, open included, best of %d:\n\n", runs);
    table_head("reader", files);
    table_row("library: seek + read per sample (as the filter)", results,
              [](const FileResults &r) { return read_cell(r.library_all); });
    table_row("library: locating only, no sample read", results,
              [](const FileResults &r) { return read_cell(r.library_located); });
    table_row("libavformat: av_read_frame", results, [](const FileResults &r) { return read_cell(r.peer_all); });
    table_row("plain read of the file (floor)", results, [](const FileResults &r) {
        return duration_text(r.plain.seconds) + printed(", %.1f GB/s", r.plain.bytes / r.plain.seconds / 1e9);
    });
    table_row("library (as the filter) speed over libavformat", results,
              [](const FileResults &r) { return speed_ratio(r.library_all, r.peer_all); });

    std::printf("\nMemory while reading every sample (each in its own child process):\n\n");
    table_head("measure", files);
    table_row("library: peak heap of the open alone (counting FileOps)", results,
              [](const FileResults &r) { return grouped(r.library_open_memory) + " bytes"; });
    table_row("library: peak heap (counting FileOps)", results,
              [](const FileResults &r) { return grouped(r.library_memory.heap_bytes) + " bytes"; });
    table_row("libavformat: peak heap growth (mallinfo2)", results,
              [](const FileResults &r) { return bytes_text(r.peer_memory.heap_bytes); });
    table_row("peak RSS: library", results,
              [](const FileResults &r) { return kib_text(r.library_memory.peak_rss_kib); });
    table_row("peak RSS: libavformat", results,
              [](const FileResults &r) { return kib_text(r.peer_memory.peak_rss_kib); });
    table_row("peak RSS: plain read", results,
              [](const FileResults &r) { return kib_text(r.plain_memory.peak_rss_kib); });
}

}  // namespace

int main(int argc, char **argv) {
    int runs = 5;
    std::vector<FileFacts> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
            continue;
        }
        FileFacts facts;
        if (!describe(argv[i], facts)) {
            std::fprintf(stderr, "bxfbench: %s: the library cannot open it\n", argv[i]);
            return 1;
        }
        files.push_back(facts);
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: bxfbench [--runs N] FILE...\n");
        return 2;
    }

    std::vector<FileResults> results(files.size());
    // Memory first, while this process is small: the children start as its copies.
    for (size_t i = 0; i < files.size(); ++i) {
        FileResults &r = results[i];
        r.library_memory = run_in_child(library_heap_task, files[i].path);
        r.peer_memory = run_in_child(peer_heap_task, files[i].path);
        r.plain_memory = run_in_child(plain_read_task, files[i].path);
        r.library_open_memory = library_open_heap(files[i].path);
        if (r.library_open_memory == UINT64_MAX || !r.library_memory.ok || !r.peer_memory.ok || !r.plain_memory.ok) {
            std::fprintf(stderr, "bxfbench: %s: a memory measurement failed\n", files[i].path);
            return 1;
        }
    }
    for (size_t i = 0; i < files.size(); ++i) {
        if (!check_samples(files[i], results[i])) {
            std::fprintf(stderr, "bxfbench: %s: reading every sample failed\n", files[i].path);
            return 1;
        }
    }
    // The warm-up: every file in the page cache before the first timed run.
    for (const FileFacts &f : files) plain_read(f.path);
    for (size_t i = 0; i < files.size(); ++i) {
        if (!measure(files[i], runs, results[i])) {
            std::fprintf(stderr, "bxfbench: %s: a timed run failed\n", files[i].path);
            return 1;
        }
    }
    print_tables(files, results, runs);
    bool same = true;
    for (const FileResults &r : results) same = same && r.differing == 0;
    return same ? 0 : 1;
}
