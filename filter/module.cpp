// The module: its classes, what it registers, and the COM entry points.
#include <windows.h>
#include <dshow.h>

#include "class_factory.h"
#include "kelo_guids.h"
#include "mp4_file.h"
#include "mp4_properties.h"
#include "registration.h"
#include "setup.h"
#include "streams_page.h"

const CFactoryTemplate g_Templates[] = {
    {L"Kelo Mervane", &CLSID_KeloMervane, &CMP4file::CreateInstance, nullptr, &kKeloFilterSetup},
    {L"Kelo File Source Property Page", &CLSID_KeloMervaneProperties, &CMP4Properties::CreateInstance, nullptr,
     nullptr},
    {L"Kelo File Source Streams Page", &CLSID_KeloMervaneStreams, &CStreamsPage::CreateInstance, nullptr, nullptr},
};
const int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
    return GetClassObjectFromTemplates(clsid, iid, out);
}

STDAPI DllCanUnloadNow() { return CanUnloadModule(); }

STDAPI DllRegisterServer() { return AMovieDllRegisterServer2(TRUE); }

STDAPI DllUnregisterServer() { return AMovieDllRegisterServer2(FALSE); }
