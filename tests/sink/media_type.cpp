#include "media_type.h"

#include <cstring>
#include <utility>

HRESULT CopyMediaType(const AM_MEDIA_TYPE& src, AM_MEDIA_TYPE* dst) {
  if (!dst) return E_POINTER;
  *dst = src;
  dst->pbFormat = nullptr;
  dst->cbFormat = 0;
  if (src.cbFormat && src.pbFormat) {
    dst->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(src.cbFormat));
    if (!dst->pbFormat) {
      std::memset(dst, 0, sizeof *dst);
      return E_OUTOFMEMORY;
    }
    std::memcpy(dst->pbFormat, src.pbFormat, src.cbFormat);
    dst->cbFormat = src.cbFormat;
  }
  if (dst->pUnk) dst->pUnk->AddRef();
  return S_OK;
}

void FreeMediaTypeContents(AM_MEDIA_TYPE* mt) {
  if (!mt) return;
  CoTaskMemFree(mt->pbFormat);
  mt->pbFormat = nullptr;
  mt->cbFormat = 0;
  if (IUnknown* unk = std::exchange(mt->pUnk, nullptr)) unk->Release();
}

void DeleteMediaType(AM_MEDIA_TYPE* mt) {
  if (!mt) return;
  FreeMediaTypeContents(mt);
  CoTaskMemFree(mt);
}

MediaType::MediaType() { std::memset(&mt_, 0, sizeof mt_); }

MediaType::~MediaType() { FreeMediaTypeContents(&mt_); }

MediaType::MediaType(const MediaType& other) : MediaType() { Assign(other.mt_); }

MediaType& MediaType::operator=(const MediaType& other) {
  if (this != &other) Assign(other.mt_);
  return *this;
}

MediaType::MediaType(MediaType&& other) noexcept : mt_(other.mt_) {
  std::memset(&other.mt_, 0, sizeof other.mt_);
}

MediaType& MediaType::operator=(MediaType&& other) noexcept {
  if (this != &other) {
    FreeMediaTypeContents(&mt_);
    mt_ = other.mt_;
    std::memset(&other.mt_, 0, sizeof other.mt_);
  }
  return *this;
}

HRESULT MediaType::Assign(const AM_MEDIA_TYPE& src) {
  // Copy first: src may point into our own structure's pUnk or format.
  AM_MEDIA_TYPE copy;
  const HRESULT hr = CopyMediaType(src, &copy);
  FreeMediaTypeContents(&mt_);
  mt_ = copy;  // zeroed when the copy failed
  return hr;
}

void MediaType::Clear() {
  FreeMediaTypeContents(&mt_);
  std::memset(&mt_, 0, sizeof mt_);
}
