// Wall-clock time of one run, and the best of several.
#ifndef BXF_BENCH_STOPWATCH_H
#define BXF_BENCH_STOPWATCH_H

#include <chrono>

class Stopwatch {
public:
    double seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point start_ = Clock::now();
};

#endif
