// IKeloStreams: what the filter's Streams page shows, from the filter.
#ifndef KELO_FILTER_KELO_STREAMS_H
#define KELO_FILTER_KELO_STREAMS_H

#include <unknwn.h>

struct IKeloStreams : public IUnknown {
    // The file and its tracks as they stand now: lines ending in '\n', fields
    // apart by '\t'. A CoTaskMem string the caller frees.
    virtual HRESULT STDMETHODCALLTYPE GetStreamsReport(WCHAR** report) = 0;
};

#endif
