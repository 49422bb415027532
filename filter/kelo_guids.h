// The identifiers this module owns: its three COM classes, the parameter
// and streams interfaces, and the private subtypes that describe the filter to the mapper.
// Include <initguid.h> first in exactly one translation unit to define them.
#ifndef KELO_FILTER_KELO_GUIDS_H
#define KELO_FILTER_KELO_GUIDS_H

#include <guiddef.h>

#include "stream_guids.h"

// {F8A1118B-3CC0-410E-BF71-0A3AE1F74AB4} the source filter
DEFINE_GUID(CLSID_KeloMervane, 0xf8a1118b, 0x3cc0, 0x410e, 0xbf, 0x71, 0x0a, 0x3a, 0xe1, 0xf7, 0x4a, 0xb4);
// {3E26C442-49CA-4BB5-90D8-FA8570B871A6} its property page
DEFINE_GUID(CLSID_KeloMervaneProperties, 0x3e26c442, 0x49ca, 0x4bb5, 0x90, 0xd8, 0xfa, 0x85, 0x70, 0xb8, 0x71, 0xa6);
// {639D8EE9-BFD7-47E8-90D3-5D19C95F8409} its Streams page
DEFINE_GUID(CLSID_KeloMervaneStreams, 0x639d8ee9, 0xbfd7, 0x47e8, 0x90, 0xd3, 0x5d, 0x19, 0xc9, 0x5f, 0x84, 0x09);
// {9FE2BDC2-7B54-4A14-B63B-5AABF0CF98AF} IKeloStreams, what the Streams page shows
DEFINE_GUID(IID_IKeloStreams, 0x9fe2bdc2, 0x7b54, 0x4a14, 0xb6, 0x3b, 0x5a, 0xab, 0xf0, 0xcf, 0x98, 0xaf);
// {BF21B199-AE53-48C2-BEE4-40F487A0B9C3} IMP4Param
DEFINE_GUID(IID_IMP4Param, 0xbf21b199, 0xae53, 0x48c2, 0xbe, 0xe4, 0x40, 0xf4, 0x87, 0xa0, 0xb9, 0xc3);

// The stream and video subtypes registered with the filter mapper.
// {2101635B-9383-4105-A360-E26C5D4B50BA}
DEFINE_GUID(MEDIASUBTYPE_KeloStreamMP4, 0x2101635b, 0x9383, 0x4105, 0xa3, 0x60, 0xe2, 0x6c, 0x5d, 0x4b, 0x50, 0xba);
// {4AAD8132-9869-4ED0-8C29-6405F8FB0239}
DEFINE_GUID(MEDIASUBTYPE_KeloStream3GP, 0x4aad8132, 0x9869, 0x4ed0, 0x8c, 0x29, 0x64, 0x05, 0xf8, 0xfb, 0x02, 0x39);
// The AVC pin's own subtype stands for the filter's video in the mapper.
#define MEDIASUBTYPE_KeloVideoAVC MEDIASUBTYPE_PrivateAVC
// The MPEG-4 Visual pin's subtype likewise.
#define MEDIASUBTYPE_KeloVideoMP4V MEDIASUBTYPE_PrivateMPEG4V

#endif
