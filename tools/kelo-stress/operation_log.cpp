#include "operation_log.h"

#include <algorithm>

namespace {

LONGLONG Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double ElapsedMs(LONGLONG since) {
    static const double ticks_per_ms = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1000.0;
    }();
    return static_cast<double>(Now() - since) / ticks_per_ms;
}

double Percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    size_t at = static_cast<size_t>(share * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

}  // namespace

OperationLog::OperationLog(DWORD give_up_ms) : give_up_ms_(give_up_ms), watchdog_([this] { Watch(); }) {}

OperationLog::~OperationLog() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quitting_ = true;
    }
    wake_.notify_all();
    watchdog_.join();
}

OperationLog::Timed::Timed(OperationLog* log, const char* kind, DWORD limit_ms) : log_(log) {
    log_->Begin(kind, limit_ms);
}

OperationLog::Timed::~Timed() { log_->End(); }

void OperationLog::Begin(const char* kind, DWORD limit_ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    busy_ = true;
    reported_ = false;
    kind_ = kind;
    limit_ms_ = limit_ms;
    started_ = Now();
}

void OperationLog::End() {
    std::lock_guard<std::mutex> lock(mutex_);
    const double ms = ElapsedMs(started_);
    latencies_ms_[kind_].push_back(ms);
    in_order_.emplace_back(kind_, ms);
    if (ms > limit_ms_) {
        hangs_.push_back(kind_);
        std::fprintf(stderr, "hang: %s returned after %.0f ms (limit %lu ms)\n", kind_.c_str(), ms,
                     static_cast<unsigned long>(limit_ms_));
    }
    busy_ = false;
}

// Checks the running operation every 50 ms.
void OperationLog::Watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!quitting_) {
        wake_.wait_for(lock, std::chrono::milliseconds(50));
        if (!busy_) continue;
        const double ms = ElapsedMs(started_);
        if (ms > limit_ms_ && !reported_) {
            reported_ = true;
            std::fprintf(stderr, "hang: %s has not returned after %lu ms\n", kind_.c_str(),
                         static_cast<unsigned long>(limit_ms_));
            std::fflush(stderr);
        }
        if (ms > give_up_ms_) {
            std::fprintf(stderr, "hang: %s still running after %lu ms; giving up\n", kind_.c_str(),
                         static_cast<unsigned long>(give_up_ms_));
            std::fflush(stderr);
            std::fflush(stdout);
            TerminateProcess(GetCurrentProcess(), 3);
        }
    }
}

int OperationLog::Hangs() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(hangs_.size());
}

int OperationLog::Operations() const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t count = 0;
    for (const auto& kind : latencies_ms_) count += kind.second.size();
    return static_cast<int>(count);
}

void OperationLog::Print(FILE* out) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::fprintf(out, "%-24s %7s %10s %10s %10s\n", "operation", "count", "median ms", "p99 ms", "worst ms");
    for (const auto& kind : latencies_ms_) {
        const std::vector<double>& ms = kind.second;
        std::fprintf(out, "%-24s %7zu %10.3f %10.3f %10.3f\n", kind.first.c_str(), ms.size(), Percentile(ms, 0.5),
                     Percentile(ms, 0.99), *std::max_element(ms.begin(), ms.end()));
    }
}

void OperationLog::WriteEach(FILE* out) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::fprintf(out, "operation,milliseconds\n");
    for (const auto& op : in_order_) std::fprintf(out, "%s,%.3f\n", op.first.c_str(), op.second);
}
