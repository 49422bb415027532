// A filter's entry with the DirectShow filter mapper: removed and, when
// registering, added again, so registering twice leaves one entry. An entry
// that is not there counts as removed. COM must be initialised on the thread.
#ifndef KELO_FRAMEWORK_FILTER_MAPPER_H
#define KELO_FRAMEWORK_FILTER_MAPPER_H

#include <windows.h>
#include <strmif.h>

#include "setup_data.h"

HRESULT RegisterFilterWithMapper2(IFilterMapper2* mapper, const AMOVIESETUP_FILTER& filter, bool do_register);
// The older mapper takes the same record a call at a time.
HRESULT RegisterFilterWithMapper1(IFilterMapper* mapper, const AMOVIESETUP_FILTER& filter, bool do_register);
// Through a new IFilterMapper2.
HRESULT RegisterFilterWithMapper(const AMOVIESETUP_FILTER& filter, bool do_register);

#endif
