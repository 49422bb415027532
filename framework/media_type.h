// A media type that owns its format block and the reference in pUnk.
#ifndef KELO_FRAMEWORK_MEDIA_TYPE_H
#define KELO_FRAMEWORK_MEDIA_TYPE_H

#include <windows.h>
#include <strmif.h>

class CMediaType : public AM_MEDIA_TYPE {
public:
    CMediaType();
    CMediaType(const AM_MEDIA_TYPE& other);  // a deep copy; on no memory the format is empty
    CMediaType(const CMediaType& other);
    CMediaType& operator=(const AM_MEDIA_TYPE& other);
    CMediaType& operator=(const CMediaType& other);
    ~CMediaType();

    // A deep copy; E_OUTOFMEMORY leaves this type without a format.
    HRESULT Set(const AM_MEDIA_TYPE& other);

    void SetType(const GUID& major) { majortype = major; }
    void SetSubtype(const GUID& sub) { subtype = sub; }
    void SetFormatType(const GUID& type) { formattype = type; }
    void SetTemporalCompression(BOOL compressed) { bTemporalCompression = compressed; }
    void SetVariableSize() { bFixedSizeSamples = FALSE; }
    void SetSampleSize(ULONG size);
    // A zero-filled block of `size` bytes (the present one when the size is
    // the same), or null when there is no memory.
    BYTE* AllocFormatBuffer(ULONG size);
    void ResetFormatBuffer();

    bool MatchesPartial(const AM_MEDIA_TYPE& partial) const;
    bool IsFullySpecified() const;
};

// For media types handed to and taken from other components (CoTaskMem).
void FreeMediaType(AM_MEDIA_TYPE& type);
void DeleteMediaType(AM_MEDIA_TYPE* type);
HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE& source);
// A new CoTaskMem copy, or null.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE& source);

#endif
