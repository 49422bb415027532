// What a filter tells the filter mapper about itself: name, merit, pins and
// the media types of each pin.
#ifndef KELO_FRAMEWORK_SETUP_DATA_H
#define KELO_FRAMEWORK_SETUP_DATA_H

#include <windows.h>
#include <strmif.h>

using AMOVIESETUP_MEDIATYPE = REGPINTYPES;
using AMOVIESETUP_PIN = REGFILTERPINS;

struct AMOVIESETUP_FILTER {
    const CLSID* clsID;
    const WCHAR* strName;
    DWORD dwMerit;
    UINT nPins;
    const AMOVIESETUP_PIN* lpPin;
};

#endif
