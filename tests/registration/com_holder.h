// Owning holders for the COM resources the registration tests take: an
// interface pointer released on every path, and COM initialised for the
// holder's scope.
#ifndef KELO_TESTS_REGISTRATION_COM_HOLDER_H
#define KELO_TESTS_REGISTRATION_COM_HOLDER_H

#include <objbase.h>

#include <utility>

// Holds one reference to an interface; Release()s it when replaced or destroyed.
template <typename Interface>
class ComHolder {
 public:
  ComHolder() = default;
  // Takes over a reference the caller already owns.
  explicit ComHolder(Interface* owned) : pointer_(owned) {}
  ComHolder(const ComHolder&) = delete;
  ComHolder& operator=(const ComHolder&) = delete;
  ComHolder(ComHolder&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  ComHolder& operator=(ComHolder&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.pointer_, nullptr));
    return *this;
  }
  ~ComHolder() { Reset(); }

  Interface* Get() const { return pointer_; }
  Interface* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }

  // Releases the held reference and keeps `owned` instead.
  void Reset(Interface* owned = nullptr) {
    Interface* old = std::exchange(pointer_, owned);
    if (old) old->Release();
  }
  // Gives up ownership without releasing: the caller now owns the reference.
  Interface* Detach() { return std::exchange(pointer_, nullptr); }
  // The out-parameter for a call that hands back a new reference; drops the old one first.
  Interface** Receive() {
    Reset();
    return &pointer_;
  }
  void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

 private:
  Interface* pointer_ = nullptr;
};

// COM initialised on this thread for the holder's lifetime.
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
