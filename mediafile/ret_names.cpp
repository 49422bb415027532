#include "bxf.h"

extern "C" const char *bxf_ret_name(uint32_t code) {
    switch (code) {
    case BXF_RET_OK: return "BXF_RET_OK";
    case BXF_RET_ARGS: return "BXF_RET_ARGS";
    case BXF_RET_STATE: return "BXF_RET_STATE";
    case BXF_RET_NOMEM: return "BXF_RET_NOMEM";
    case BXF_RET_FILE: return "BXF_RET_FILE";
    case BXF_RET_NOTFOUND: return "BXF_RET_NOTFOUND";
    case BXF_RET_OVERFLOW: return "BXF_RET_OVERFLOW";
    case BXF_RET_FORMAT: return "BXF_RET_FORMAT";
    case BXF_RET_INTERNAL: return "BXF_RET_INTERNAL";
    default: return "BXF_RET_UNKNOWN";
    }
}
