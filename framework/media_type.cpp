#include "media_type.h"

#include <dshow.h>

#include <cstring>

void FreeMediaType(AM_MEDIA_TYPE& type) {
    if (type.cbFormat != 0) CoTaskMemFree(type.pbFormat);
    type.cbFormat = 0;
    type.pbFormat = nullptr;
    if (type.pUnk) {
        type.pUnk->Release();
        type.pUnk = nullptr;
    }
}

void DeleteMediaType(AM_MEDIA_TYPE* type) {
    if (!type) return;
    FreeMediaType(*type);
    CoTaskMemFree(type);
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE& source) {
    *target = source;
    if (source.cbFormat != 0 && source.pbFormat) {
        target->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source.cbFormat));
        if (!target->pbFormat) {
            target->cbFormat = 0;
            target->pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        std::memcpy(target->pbFormat, source.pbFormat, source.cbFormat);
    } else {
        target->cbFormat = 0;
        target->pbFormat = nullptr;
    }
    if (target->pUnk) target->pUnk->AddRef();
    return S_OK;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE& source) {
    auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!type) return nullptr;
    if (FAILED(CopyMediaType(type, source))) {
        CoTaskMemFree(type);
        return nullptr;
    }
    return type;
}

CMediaType::CMediaType() : AM_MEDIA_TYPE() {
    bFixedSizeSamples = TRUE;
    lSampleSize = 1;
    formattype = GUID_NULL;
}

CMediaType::CMediaType(const AM_MEDIA_TYPE& other) : AM_MEDIA_TYPE() { CopyMediaType(this, other); }

CMediaType::CMediaType(const CMediaType& other) : AM_MEDIA_TYPE() { CopyMediaType(this, other); }

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& other) {
    Set(other);
    return *this;
}

CMediaType& CMediaType::operator=(const CMediaType& other) {
    Set(other);
    return *this;
}

CMediaType::~CMediaType() { FreeMediaType(*this); }

HRESULT CMediaType::Set(const AM_MEDIA_TYPE& other) {
    if (&other == this) return S_OK;
    FreeMediaType(*this);
    return CopyMediaType(this, other);
}

void CMediaType::SetSampleSize(ULONG size) {
    if (size == 0) {
        SetVariableSize();
    } else {
        bFixedSizeSamples = TRUE;
        lSampleSize = size;
    }
}

BYTE* CMediaType::AllocFormatBuffer(ULONG size) {
    if (size == 0) return nullptr;
    if (cbFormat == size && pbFormat) {
        std::memset(pbFormat, 0, size);
        return pbFormat;
    }
    auto* block = static_cast<BYTE*>(CoTaskMemAlloc(size));
    if (!block) return nullptr;
    std::memset(block, 0, size);
    ResetFormatBuffer();
    pbFormat = block;
    cbFormat = size;
    return block;
}

void CMediaType::ResetFormatBuffer() {
    if (cbFormat != 0) CoTaskMemFree(pbFormat);
    cbFormat = 0;
    pbFormat = nullptr;
}

bool CMediaType::MatchesPartial(const AM_MEDIA_TYPE& partial) const {
    if (partial.majortype != GUID_NULL && partial.majortype != majortype) return false;
    if (partial.subtype != GUID_NULL && partial.subtype != subtype) return false;
    if (partial.formattype != GUID_NULL) {
        if (partial.formattype != formattype || partial.cbFormat != cbFormat) return false;
        if (cbFormat != 0 && std::memcmp(partial.pbFormat, pbFormat, cbFormat) != 0) return false;
    }
    return true;
}

bool CMediaType::IsFullySpecified() const {
    return majortype != GUID_NULL && subtype != GUID_NULL && formattype != GUID_NULL;
}
