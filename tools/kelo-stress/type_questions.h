// A second thread that asks every output pin of a filter for its media types
// while the graph runs, as property viewers and graph editors do: all the
// types it offers, the connection's type, and whether it accepts that type
// again. The answers must not change while the filter streams and seeks.
#ifndef KELO_TOOLS_KELO_STRESS_TYPE_QUESTIONS_H
#define KELO_TOOLS_KELO_STRESS_TYPE_QUESTIONS_H

#include <windows.h>
#include <strmif.h>

#include <atomic>

class TypeQuestions {
public:
    TypeQuestions() = default;
    ~TypeQuestions() { Stop(); }
    TypeQuestions(const TypeQuestions&) = delete;
    TypeQuestions& operator=(const TypeQuestions&) = delete;

    // Starts asking `filter`'s pins, round after round, until Stop.
    bool Start(IBaseFilter* filter);
    // Stops and waits for the thread.
    void Stop();
    int Rounds() const { return rounds_; }
    // Rounds in which a pin's answer was not a connected pin's.
    int WrongRounds() const { return wrong_rounds_; }

private:
    static DWORD WINAPI ThreadProc(void* self);
    bool AskOnce();

    IBaseFilter* filter_ = nullptr;  // held by the graph while the thread runs
    HANDLE thread_ = nullptr;
    std::atomic<bool> stop_{false};
    std::atomic<int> rounds_{0};
    std::atomic<int> wrong_rounds_{0};
};

#endif
