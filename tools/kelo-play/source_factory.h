// Makes the filter kelo-play plays through, the way an application does:
// CoCreateInstance of a registered class, or, with --module, the module's own
// DllGetClassObject and IClassFactory::CreateInstance, with no registration.
#ifndef KELO_TOOLS_KELO_PLAY_SOURCE_FACTORY_H
#define KELO_TOOLS_KELO_PLAY_SOURCE_FACTORY_H

#include <windows.h>
#include <strmif.h>

#include <string>

#include "com_ptr.h"
#include "filter_module.h"

class SourceFactory {
public:
    SourceFactory() = default;
    SourceFactory(const SourceFactory&) = delete;
    SourceFactory& operator=(const SourceFactory&) = delete;

    // A new filter of class clsid, from `module` if not empty. False with a message.
    bool Create(const std::wstring& module, const CLSID& clsid, ComPtr<IBaseFilter>* filter, std::string* error);
    // With a module: whether it says it can unload now (DllCanUnloadNow). True without one.
    bool ModuleCanUnload() const;

private:
    FilterModule module_;  // unloaded when the factory goes: every object it made must be gone
};

#endif
