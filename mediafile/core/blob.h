// Blobs: bytes copied out of a box body into pool 1, owned by the record
// that holds them.
#ifndef BXF_BLOB_H
#define BXF_BLOB_H

#include "byte_cursor.h"

namespace bxf {

// Copies the next `length` bytes of the cursor. Fewer bytes left is
// BXF_RET_FORMAT; a length of 0 gives an empty blob.
uint32_t copy_blob(LibraryInstance *inst, ByteCursor &c, uint64_t length, Blob *out);

// Copies a zero-terminated string from the cursor: the bytes up to the first
// zero (or all that remain), plus a terminator. The cursor moves past the
// zero byte. With nothing left the blob is empty.
uint32_t copy_string(LibraryInstance *inst, ByteCursor &c, Blob *out);

// The bytes a zero-terminated string takes at the cursor, its zero byte
// included (all that remain when there is none).
uint64_t string_span(const ByteCursor &c);

void release_blob(LibraryInstance *inst, Blob &blob);

}  // namespace bxf

#endif
