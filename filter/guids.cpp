// Defines the module's own identifiers (declared in kelo_guids.h).
#include <initguid.h>

#include "kelo_guids.h"
#include "key_frame_info.h"
