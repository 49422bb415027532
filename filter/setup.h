// The filter's registration record.
#ifndef KELO_FILTER_SETUP_H
#define KELO_FILTER_SETUP_H

#include "setup_data.h"

extern const AMOVIESETUP_FILTER kKeloFilterSetup;

#endif
