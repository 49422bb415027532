// Finding a filter's pin by direction, for the programs that wire a recording
// sink into a graph by hand.
#ifndef KELO_TOOLS_GRAPH_KIT_FIRST_PIN_H
#define KELO_TOOLS_GRAPH_KIT_FIRST_PIN_H

#include <windows.h>
#include <strmif.h>

#include "com_ptr.h"

// The first pin of a filter in a direction, in IEnumPins order; null if it
// has none or cannot enumerate them.
ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION direction);

#endif
