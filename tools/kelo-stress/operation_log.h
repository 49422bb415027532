// Every operation the stress program makes on the graph, timed, with a
// watchdog thread: one that has not returned within its limit is a hang. A
// hang is reported while it lasts; one that never returns ends the process
// with a non-zero code, so a stuck graph cannot stall a test run.
#ifndef KELO_TOOLS_KELO_STRESS_OPERATION_LOG_H
#define KELO_TOOLS_KELO_STRESS_OPERATION_LOG_H

#include <windows.h>

#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class OperationLog {
public:
    static constexpr DWORD kHangMs = 2000;

    // An operation still running after `give_up_ms` ends the process (exit 3).
    explicit OperationLog(DWORD give_up_ms);
    ~OperationLog();
    OperationLog(const OperationLog&) = delete;
    OperationLog& operator=(const OperationLog&) = delete;

    // Times one operation of `kind` from construction to destruction; over
    // `limit_ms` it counts as a hang. One at a time, from one thread.
    class Timed {
    public:
        Timed(OperationLog* log, const char* kind, DWORD limit_ms);
        ~Timed();
        Timed(const Timed&) = delete;
        Timed& operator=(const Timed&) = delete;

    private:
        OperationLog* log_;
    };
    Timed Time(const char* kind, DWORD limit_ms = kHangMs) { return Timed(this, kind, limit_ms); }

    int Hangs() const;
    int Operations() const;
    // One line per kind: count, median, 99th percentile and worst latency.
    void Print(FILE* out) const;
    // Every operation in the order made: "kind,milliseconds" per line.
    void WriteEach(FILE* out) const;

private:
    void Begin(const char* kind, DWORD limit_ms);
    void End();
    void Watch();

    const DWORD give_up_ms_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool quitting_ = false;
    bool busy_ = false;
    bool reported_ = false;  // the running operation was reported as a hang
    std::string kind_;
    DWORD limit_ms_ = kHangMs;
    LONGLONG started_ = 0;
    std::map<std::string, std::vector<double>> latencies_ms_;
    std::vector<std::pair<std::string, double>> in_order_;
    std::vector<std::string> hangs_;
    std::thread watchdog_;
};

#endif
