// IMP4Param: the filter's initial-object-descriptor parameters, read by its
// property page.
#ifndef KELO_FILTER_MP4_PARAM_H
#define KELO_FILTER_MP4_PARAM_H

#include <unknwn.h>

struct IMP4Param : public IUnknown {
    // The descriptor bytes and their length; the caller does not own them.
    virtual HRESULT STDMETHODCALLTYPE GetIOD(BYTE** iod, ULONG* length) = 0;
};

#endif
