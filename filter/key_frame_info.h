// IKeyFrameInfo, which the Windows SDK declares in strmif.h and the mingw-w64
// headers leave out: the key frames of a source's video, for players that
// snap seeks to them.
#ifndef KELO_FILTER_KEY_FRAME_INFO_H
#define KELO_FILTER_KEY_FRAME_INFO_H

#include <windows.h>
#include <strmif.h>

// {01A5BBD3-FE71-487C-A2EC-F585918A8724}
DEFINE_GUID(IID_IKeyFrameInfo, 0x01a5bbd3, 0xfe71, 0x487c, 0xa2, 0xec, 0xf5, 0x85, 0x91, 0x8a, 0x87, 0x24);

struct IKeyFrameInfo : public IUnknown {
    // How many key frames the video has.
    virtual HRESULT STDMETHODCALLTYPE GetKeyFrameCount(LONG* count) = 0;
    // Their times in `format` (only TIME_FORMAT_MEDIA_TIME); `count` holds the
    // array's length on entry and the times written on return.
    virtual HRESULT STDMETHODCALLTYPE GetKeyFrames(const GUID* format, REFERENCE_TIME* times, LONG* count) = 0;
};

#endif
