// An output pin with its own streaming thread: activated with the filter, it
// repositions and then fills and delivers buffers until the data ends or a
// command arrives.
#ifndef KELO_FRAMEWORK_SOURCE_STREAM_H
#define KELO_FRAMEWORK_SOURCE_STREAM_H

#include "am_thread.h"
#include "output_pin.h"

class CSource;

class CSourceStream : public CAMThread, public CBaseOutputPin {
public:
    enum Command : DWORD { CMD_INIT, CMD_PAUSE, CMD_RUN, CMD_STOP, CMD_EXIT };

    // Adds itself to `filter`'s pins; the filter removes and deletes it.
    CSourceStream(const wchar_t* object_name, HRESULT* result, CSource* filter, const wchar_t* name);
    ~CSourceStream() override;

    HRESULT Active() override;
    HRESULT Inactive() override;

protected:
    // Fills one media sample: S_OK delivers it, S_FALSE ends the stream, an
    // error ends it and reports EC_ERRORABORT.
    virtual HRESULT FillBuffer(IMediaSample* sample) = 0;
    virtual HRESULT OnThreadCreate() { return S_OK; }
    virtual HRESULT OnThreadDestroy() { return S_OK; }
    virtual HRESULT OnThreadStartPlay() { return S_OK; }

    DWORD ThreadProc() override;
    virtual HRESULT DoBufferProcessingLoop();

    CSource* source_;

private:
    // Delivers one buffer; false when the loop must end, with its result.
    bool ProcessOneBuffer(HRESULT* loop_result);
};

#endif
