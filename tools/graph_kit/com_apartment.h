// COM initialised on this thread for the holder's scope, so a test or a
// check program cannot leave an apartment behind on an early return.
#ifndef KELO_TOOLS_GRAPH_KIT_COM_APARTMENT_H
#define KELO_TOOLS_GRAPH_KIT_COM_APARTMENT_H

#include <objbase.h>

class ComApartment {
public:
    explicit ComApartment(DWORD model = COINIT_MULTITHREADED) : result_(CoInitializeEx(nullptr, model)) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    HRESULT Result() const { return result_; }

private:
    HRESULT result_;
};

#endif
