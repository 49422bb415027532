// The control interface a downstream H.264 decoder may offer the AVC pin; the
// meaning of its values is private to the pin and that decoder.
#ifndef KELO_STREAMS_AVC_DECODER_CONTROL_H
#define KELO_STREAMS_AVC_DECODER_CONTROL_H

#include <unknwn.h>

#include "stream_guids.h"

struct IAVCDecoderControl : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetParameters(DWORD* first, DWORD* second) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetParameters(BOOL is_large, DWORD second) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMode(DWORD mode) = 0;
};

#endif
