#include "am_thread.h"

CAMThread::CAMThread() {
    request_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    reply_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

CAMThread::~CAMThread() {
    Close();
    if (request_) CloseHandle(request_);
    if (reply_) CloseHandle(reply_);
}

DWORD WINAPI CAMThread::Start(void* self) { return static_cast<CAMThread*>(self)->ThreadProc(); }

bool CAMThread::Create() {
    CAutoLock lock(&callers_);
    if (thread_ || !request_ || !reply_) return false;
    pending_ = false;
    ResetEvent(request_);
    DWORD id = 0;
    thread_ = CreateThread(nullptr, 0, &CAMThread::Start, this, 0, &id);
    return thread_ != nullptr;
}

void CAMThread::Close() {
    // After any command in flight, so no caller waits on a closed handle.
    CAutoLock lock(&callers_);
    HANDLE thread = thread_;
    if (!thread) return;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    thread_ = nullptr;
}

HRESULT CAMThread::CallWorker(DWORD command) {
    CAutoLock lock(&callers_);
    if (!thread_) return E_FAIL;
    command_ = command;
    pending_ = true;  // after the command: a worker that sees it reads this command
    SetEvent(request_);
    // The worker may end without replying (a failed start): stop waiting then.
    HANDLE handles[2] = {reply_, thread_};
    DWORD which = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    if (which != WAIT_OBJECT_0) {
        pending_ = false;
        ResetEvent(request_);
        return E_FAIL;
    }
    return result_;
}

DWORD CAMThread::GetRequest() {
    WaitForSingleObject(request_, INFINITE);
    return command_;
}

bool CAMThread::CheckRequest(DWORD* command) {
    if (!pending_) return false;
    if (command) *command = command_;
    return true;
}

void CAMThread::Reply(HRESULT result) {
    result_ = result;
    pending_ = false;
    ResetEvent(request_);
    SetEvent(reply_);
}
