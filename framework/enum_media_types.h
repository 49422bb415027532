// IEnumMediaTypes over a pin's GetMediaType positions, asked afresh on every
// Next, so the list follows the pin's state.
#ifndef KELO_FRAMEWORK_ENUM_MEDIA_TYPES_H
#define KELO_FRAMEWORK_ENUM_MEDIA_TYPES_H

#include <strmif.h>

#include "unknown.h"

class CBasePin;

class CEnumMediaTypes : public CUnknown, public IEnumMediaTypes {
public:
    explicit CEnumMediaTypes(CBasePin* pin, ULONG position = 0);
    ~CEnumMediaTypes() override;

    KELO_IUNKNOWN_FROM_OWNER
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** out) override;

    HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** out) override;

private:
    CBasePin* pin_;  // one reference held
    ULONG position_;
};

#endif
