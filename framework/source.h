// A source filter: the filter state lock and the array of its output pins,
// in creation order. Pins add and remove themselves; the filter deletes the
// pins still there when it goes, last first.
#ifndef KELO_FRAMEWORK_SOURCE_H
#define KELO_FRAMEWORK_SOURCE_H

#include <vector>

#include "base_filter.h"

class CSourceStream;

class CSource : public CBaseFilter {
public:
    CSource(const wchar_t* object_name, IUnknown* owner, const CLSID& clsid);
    ~CSource() override;

    int GetPinCount() override;
    CBasePin* GetPin(int n) override;

    HRESULT AddPin(CSourceStream* pin);
    HRESULT RemovePin(CSourceStream* pin);
    CSourceStream* Stream(int n);

protected:
    CCritSec m_cStateLock;

private:
    std::vector<CSourceStream*> streams_;
};

#endif
