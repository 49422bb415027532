// Self-registration of the module: its classes under HKEY_CLASSES_ROOT\CLSID
// and its filters with the DirectShow filter mapper.
#ifndef KELO_FRAMEWORK_REGISTRATION_H
#define KELO_FRAMEWORK_REGISTRATION_H

#include <windows.h>

// Registers (true) or unregisters (false) every class of g_Templates.
HRESULT AMovieDllRegisterServer2(BOOL do_register);

#endif
