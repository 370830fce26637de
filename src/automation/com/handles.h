// Owners of the platform's resources that the binding touches: interface pointers, BSTRs,
// VARIANTs and SAFEARRAY locks. Each releases what it holds however its scope ends; detach()
// hands ownership on (to an out parameter or a VARIANT that the caller then owns).
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <string_view>
#include <type_traits>
#include <utility>

namespace tarvex::automation::com {

template <class T>
class com_ptr {
 public:
  com_ptr() = default;
  com_ptr(std::nullptr_t) {}
  // Takes over one reference that the caller holds.
  static com_ptr adopt(T* p) {
    com_ptr out;
    out.p_ = p;
    return out;
  }
  // Takes a reference of its own.
  static com_ptr copy(T* p) {
    if (p) p->AddRef();
    return adopt(p);
  }
  com_ptr(const com_ptr& other) : p_(other.p_) {
    if (p_) p_->AddRef();
  }
  com_ptr(com_ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  // An object's reference as one of its bases.
  template <class U>
  requires std::is_convertible_v<U*, T*> com_ptr(com_ptr<U>&& other)
  noexcept : p_(other.detach()) {}
  com_ptr& operator=(com_ptr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~com_ptr() { reset(); }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  // For a function that returns a new reference through an out parameter.
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  [[nodiscard]] T* detach() { return std::exchange(p_, nullptr); }

  // The object's interface U, or null when it has none.
  template <class U>
  com_ptr<U> query() const {
    com_ptr<U> out;
    if (p_) p_->QueryInterface(__uuidof(U), out.put_void());
    return out;
  }

 private:
  T* p_ = nullptr;
};

class unique_bstr {
 public:
  unique_bstr() = default;
  explicit unique_bstr(BSTR owned) : b_(owned) {}
  // A copy of UTF-8 text; raises 7 when there is no memory for it.
  static unique_bstr of(std::string_view text);
  unique_bstr(unique_bstr&& other) noexcept : b_(std::exchange(other.b_, nullptr)) {}
  unique_bstr& operator=(unique_bstr other) noexcept {
    std::swap(b_, other.b_);
    return *this;
  }
  ~unique_bstr() { SysFreeString(b_); }

  BSTR get() const { return b_; }
  BSTR* put() {
    *this = unique_bstr();
    return &b_;
  }
  [[nodiscard]] BSTR detach() { return std::exchange(b_, nullptr); }

 private:
  BSTR b_ = nullptr;
};

class unique_variant {
 public:
  unique_variant() { VariantInit(&v_); }
  unique_variant(unique_variant&& other) noexcept : v_(other.v_) { VariantInit(&other.v_); }
  unique_variant& operator=(unique_variant&&) = delete;
  ~unique_variant() { VariantClear(&v_); }

  VARIANT* get() { return &v_; }
  const VARIANT& operator*() const { return v_; }
  VARIANT* operator->() { return &v_; }
  // Empties it first: for a function that fills a VARIANT.
  VARIANT* put() {
    VariantClear(&v_);
    return &v_;
  }
  [[nodiscard]] VARIANT detach() {
    VARIANT out = v_;
    VariantInit(&v_);
    return out;
  }

 private:
  VARIANT v_;
};

// Holds a SAFEARRAY's data in place for one scope; raises 13 when it cannot be locked.
class safearray_lock {
 public:
  explicit safearray_lock(SAFEARRAY* array);
  safearray_lock(const safearray_lock&) = delete;
  safearray_lock& operator=(const safearray_lock&) = delete;
  ~safearray_lock() { SafeArrayUnlock(array_); }

 private:
  SAFEARRAY* array_;
};

}  // namespace tarvex::automation::com
