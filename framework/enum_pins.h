// IEnumPins over a filter's pins as they are when the enumerator is made;
// VFW_E_ENUM_OUT_OF_SYNC once the pin count changes.
#ifndef KELO_FRAMEWORK_ENUM_PINS_H
#define KELO_FRAMEWORK_ENUM_PINS_H

#include <strmif.h>

#include "unknown.h"

class CBaseFilter;

class CEnumPins : public CUnknown, public IEnumPins {
public:
    explicit CEnumPins(CBaseFilter* filter, ULONG position = 0);
    ~CEnumPins() override;

    KELO_IUNKNOWN_FROM_OWNER
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** out) override;

    HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumPins** out) override;

private:
    bool InSync() const;

    CBaseFilter* filter_;  // one reference held
    ULONG position_;
    int pin_count_;
};

#endif
