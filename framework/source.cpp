#include "source.h"

#include <algorithm>
#include <new>

#include "source_stream.h"

CSource::CSource(const wchar_t* object_name, IUnknown* owner, const CLSID& clsid)
    : CBaseFilter(object_name, owner, &m_cStateLock, clsid) {}

CSource::~CSource() {
    while (!streams_.empty()) delete streams_.back();  // each removes itself
}

int CSource::GetPinCount() {
    CAutoLock lock(&m_cStateLock);
    return static_cast<int>(streams_.size());
}

CBasePin* CSource::GetPin(int n) { return Stream(n); }

CSourceStream* CSource::Stream(int n) {
    CAutoLock lock(&m_cStateLock);
    if (n < 0 || n >= static_cast<int>(streams_.size())) return nullptr;
    return streams_[static_cast<size_t>(n)];
}

HRESULT CSource::AddPin(CSourceStream* pin) {
    CAutoLock lock(&m_cStateLock);
    try {
        streams_.push_back(pin);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT CSource::RemovePin(CSourceStream* pin) {
    CAutoLock lock(&m_cStateLock);
    auto found = std::find(streams_.begin(), streams_.end(), pin);
    if (found == streams_.end()) return S_FALSE;
    streams_.erase(found);
    return S_OK;
}
