// A worker thread driven by commands: a caller sends one and waits for the
// worker's reply; the worker can look for a pending command without waiting.
#ifndef KELO_FRAMEWORK_AM_THREAD_H
#define KELO_FRAMEWORK_AM_THREAD_H

#include <windows.h>

#include <atomic>

#include "crit_sec.h"

class CAMThread {
public:
    CAMThread();
    virtual ~CAMThread();
    CAMThread(const CAMThread&) = delete;
    CAMThread& operator=(const CAMThread&) = delete;

    // Starts the thread; false when it exists already or cannot start.
    bool Create();
    bool ThreadExists() const { return thread_ != nullptr; }
    // Waits for the thread to end and closes it.
    void Close();

    // Caller side: sends `command` and waits for the reply (E_FAIL without a thread).
    HRESULT CallWorker(DWORD command);

    // Worker side.
    DWORD GetRequest();
    // True, with the command, when one is pending; the command stays pending
    // until it is replied to.
    bool CheckRequest(DWORD* command);
    void Reply(HRESULT result);

protected:
    virtual DWORD ThreadProc() = 0;

private:
    static DWORD WINAPI Start(void* self);

    HANDLE thread_ = nullptr;
    HANDLE request_ = nullptr;  // manual reset: set while a command waits for its reply
    HANDLE reply_ = nullptr;    // auto reset
    // Mirrors `request_` for CheckRequest, which the worker calls once a
    // buffer: reading it costs no kernel call, where the event's state does.
    std::atomic<bool> pending_{false};
    DWORD command_ = 0;
    HRESULT result_ = S_OK;
    CCritSec callers_;  // one command at a time
};

#endif
