// Finding the DecoderSpecificInfo inside an ES_Descriptor (ISO/IEC 14496-1),
// as an esds box stores it.
#ifndef KELO_BITSTREAM_ES_DESCRIPTOR_H
#define KELO_BITSTREAM_ES_DESCRIPTOR_H

#include <cstdint>

// Walks ES_Descriptor (tag 3), its flags' optional fields, the
// DecoderConfigDescriptor (tag 4) and its 13 fixed bytes to the
// DecSpecificInfo (tag 5). True with `info` pointing into `bytes` and its
// length when the whole payload lies inside the `size` bytes; otherwise
// false with a null pointer and 0. An ES_Descriptor that flags an OCR_ES_Id
// it does not hold is still walked: the DecoderConfigDescriptor is taken
// two bytes earlier when its tag stands there.
bool FindDecoderSpecificInfo(const uint8_t *bytes, uint32_t size, const uint8_t **info, uint32_t *info_size);

#endif
