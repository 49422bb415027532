// The enumerators the sink hands out: its one pin, and no preferred media
// types (the upstream pin proposes its own).
#ifndef KELO_TOOLS_GRAPH_KIT_SINK_ENUMERATORS_H
#define KELO_TOOLS_GRAPH_KIT_SINK_ENUMERATORS_H

#include <windows.h>
#include <strmif.h>

// An IEnumPins over one pin; it keeps a reference on `owner` (the filter) so
// the pin outlives it. One reference for the caller.
HRESULT CreateSinglePinEnumerator(IBaseFilter* owner, IPin* pin, IEnumPins** out);
// An IEnumMediaTypes with nothing in it. One reference for the caller.
HRESULT CreateEmptyMediaTypeEnumerator(IEnumMediaTypes** out);

#endif
