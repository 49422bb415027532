#include "child_run.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

ChildFigures run_in_child(uint64_t (*task)(const char *path), const char *path) {
    ChildFigures figures;
    int pipe_ends[2];
    if (::pipe(pipe_ends) != 0) return figures;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipe_ends[0]);
        const uint64_t heap = task(path);
        const bool sent = ::write(pipe_ends[1], &heap, sizeof heap) == ssize_t(sizeof heap);
        ::_exit(sent ? 0 : 1);
    }
    ::close(pipe_ends[1]);
    uint64_t heap = UINT64_MAX;
    const bool got = pid > 0 && ::read(pipe_ends[0], &heap, sizeof heap) == ssize_t(sizeof heap);
    ::close(pipe_ends[0]);
    int status = 0;
    struct rusage usage {};
    if (pid > 0 && ::wait4(pid, &status, 0, &usage) == pid && got && heap != UINT64_MAX &&
        WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        figures.ok = true;
        figures.heap_bytes = heap;
        figures.peak_rss_kib = uint64_t(usage.ru_maxrss);
    }
    return figures;
}
