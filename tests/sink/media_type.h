// MediaType: an AM_MEDIA_TYPE that owns its format block and its pUnk, so a
// connection's type can be kept and handed out without leaks or double frees.
#ifndef KELO_TESTS_SINK_MEDIA_TYPE_H
#define KELO_TESTS_SINK_MEDIA_TYPE_H

#include <windows.h>
#include <strmif.h>

// Deep copy of src into dst (format block through CoTaskMemAlloc, pUnk with a
// reference). dst's previous contents are not freed. E_OUTOFMEMORY leaves dst
// zeroed.
HRESULT CopyMediaType(const AM_MEDIA_TYPE& src, AM_MEDIA_TYPE* dst);
// Frees what an AM_MEDIA_TYPE owns (format block, pUnk) and zeroes those fields.
void FreeMediaTypeContents(AM_MEDIA_TYPE* mt);
// Frees an AM_MEDIA_TYPE that was itself CoTaskMemAlloc'd (as IMediaSample::
// GetMediaType and IEnumMediaTypes hand them out), contents included.
void DeleteMediaType(AM_MEDIA_TYPE* mt);

class MediaType {
 public:
  MediaType();  // empty: majortype GUID_NULL, no format
  ~MediaType();
  // Copies fail only for lack of memory; the result is then empty.
  MediaType(const MediaType& other);
  MediaType& operator=(const MediaType& other);
  MediaType(MediaType&& other) noexcept;
  MediaType& operator=(MediaType&& other) noexcept;

  HRESULT Assign(const AM_MEDIA_TYPE& src);
  void Clear();
  bool Empty() const { return mt_.majortype == GUID_NULL; }
  const AM_MEDIA_TYPE& Get() const { return mt_; }
  // Deep copy into a caller's structure (which then owns it).
  HRESULT CopyTo(AM_MEDIA_TYPE* dst) const { return CopyMediaType(mt_, dst); }

 private:
  AM_MEDIA_TYPE mt_;
};

#endif
