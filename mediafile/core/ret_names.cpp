#include "bxf.h"

extern "C" const char *bxf_ret_name(uint32_t code) {
#define BXF_RET_NAME_CASE(code) \
    case code: return #code;
    switch (code) {
        BXF_RET_EACH(BXF_RET_NAME_CASE)
        default: return "BXF_RET_UNKNOWN";
    }
#undef BXF_RET_NAME_CASE
}
