// The pins' private identifiers, shared with the decoders downstream. Include
// <initguid.h> first in exactly one translation unit to define them.
#ifndef KELO_STREAMS_STREAM_GUIDS_H
#define KELO_STREAMS_STREAM_GUIDS_H

#include <guiddef.h>

// {13537FD3-CB15-48AC-859F-177877098E4F} the AVC pin's subtype
DEFINE_GUID(MEDIASUBTYPE_PrivateAVC, 0x13537fd3, 0xcb15, 0x48ac, 0x85, 0x9f, 0x17, 0x78, 0x77, 0x09, 0x8e, 0x4f);
// {04B51360-C658-4B5D-8A8D-C1E75DAF5687} the MPEG-4 Visual and H.263 pin's subtype
DEFINE_GUID(MEDIASUBTYPE_PrivateMPEG4V, 0x04b51360, 0xc658, 0x4b5d, 0x8a, 0x8d, 0xc1, 0xe7, 0x5d, 0xaf, 0x56, 0x87);
// The AAC pin's subtypes: the WAVE-format subtypes of tags 0x00FF and 0x0278.
// {000000FF-0000-0010-8000-00AA00389B71}
DEFINE_GUID(MEDIASUBTYPE_RAW_AAC1, 0x000000ff, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71);
// {00000278-0000-0010-8000-00AA00389B71}
DEFINE_GUID(MEDIASUBTYPE_PrivateAAC, 0x00000278, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71);
// The AMR pin's subtype: the four-character-code subtype of 'samr'.
// {726D6173-0000-0010-8000-00AA00389B71}
DEFINE_GUID(MEDIASUBTYPE_SAMR, 0x726d6173, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71);
// The HEVC pin's subtypes: the four-character-code subtypes of 'HVC1' and 'HEVC'.
// {31435648-0000-0010-8000-00AA00389B71}
DEFINE_GUID(MEDIASUBTYPE_HVC1, 0x31435648, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71);
// {43564548-0000-0010-8000-00AA00389B71}
DEFINE_GUID(MEDIASUBTYPE_HEVC, 0x43564548, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71);
// {796A089F-BA50-40CB-88CF-000A5B79331B} the control interface the AVC pin looks for on its decoder
DEFINE_GUID(IID_IAVCDecoderControl, 0x796a089f, 0xba50, 0x40cb, 0x88, 0xcf, 0x00, 0x0a, 0x5b, 0x79, 0x33, 0x1b);

#endif
