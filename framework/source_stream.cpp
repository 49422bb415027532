#include "source_stream.h"

#include <evcode.h>
#include <vfwmsgs.h>

#include "source.h"

CSourceStream::CSourceStream(const wchar_t* object_name, HRESULT* result, CSource* filter, const wchar_t* name)
    : CBaseOutputPin(object_name, filter, filter->StateLock(), result, name), source_(filter) {
    HRESULT hr = filter->AddPin(this);
    if (result && FAILED(hr)) *result = hr;
}

CSourceStream::~CSourceStream() { source_->RemovePin(this); }

HRESULT CSourceStream::Active() {
    CAutoLock lock(lock_);
    if (!IsConnected()) return S_OK;
    HRESULT hr = CBaseOutputPin::Active();
    if (FAILED(hr)) return hr;
    if (ThreadExists()) return E_UNEXPECTED;
    if (!Create()) return E_FAIL;
    hr = CallWorker(CMD_INIT);
    if (FAILED(hr)) {
        Close();
        return hr;
    }
    return CallWorker(CMD_PAUSE);
}

// Called without the state lock (see CBaseFilter::Stop); the worker's own
// command lock keeps the stop and exit in order with any other command.
HRESULT CSourceStream::Inactive() {
    if (!IsConnected()) return S_OK;
    // Decommitting first wakes a worker that waits for a free buffer.
    HRESULT hr = CBaseOutputPin::Inactive();
    if (FAILED(hr)) return hr;
    if (ThreadExists()) {
        CallWorker(CMD_STOP);
        CallWorker(CMD_EXIT);
        Close();
    }
    return S_OK;
}

DWORD CSourceStream::ThreadProc() {
    DWORD command;
    while ((command = GetRequest()) != CMD_INIT) Reply(E_UNEXPECTED);
    HRESULT hr = OnThreadCreate();
    if (FAILED(hr)) {
        OnThreadDestroy();
        Reply(hr);
        return 1;
    }
    Reply(S_OK);

    for (;;) {
        command = GetRequest();
        switch (command) {
            case CMD_EXIT:
                OnThreadDestroy();
                Reply(S_OK);
                return 0;
            case CMD_RUN:
            case CMD_PAUSE:
                Reply(S_OK);
                DoBufferProcessingLoop();
                break;
            case CMD_STOP:
                Reply(S_OK);
                break;
            default:
                Reply(E_NOTIMPL);
                break;
        }
    }
}

bool CSourceStream::ProcessOneBuffer(HRESULT* loop_result) {
    IMediaSample* sample = nullptr;
    if (FAILED(GetDeliveryBuffer(&sample, nullptr, nullptr, 0))) {
        Sleep(1);
        return true;
    }
    HRESULT hr = FillBuffer(sample);
    if (hr == S_OK) {
        hr = Deliver(sample);
        sample->Release();
        // Downstream refused (flushing, stopping, or failed): stop quietly.
        *loop_result = S_OK;
        return hr == S_OK;
    }
    sample->Release();
    DeliverEndOfStream();
    if (FAILED(hr)) source_->NotifyEvent(EC_ERRORABORT, hr, 0);
    *loop_result = FAILED(hr) ? hr : S_OK;
    return false;
}

HRESULT CSourceStream::DoBufferProcessingLoop() {
    OnThreadStartPlay();
    DWORD command;
    do {
        while (!CheckRequest(&command)) {
            HRESULT result;
            if (!ProcessOneBuffer(&result)) return result;
        }
        if (command == CMD_RUN || command == CMD_PAUSE)
            Reply(S_OK);
        else if (command != CMD_STOP)
            Reply(E_UNEXPECTED);
    } while (command != CMD_STOP);
    // CMD_STOP stays pending: the thread's command loop replies to it.
    return S_FALSE;
}
