// The one reference count, QueryInterface and creation of every COM object of ours, and the
// dispatch of those whose interface the component's type library describes: the platform's own,
// over that type information, with the thread's error object beside EXCEPINFO.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <atomic>
#include <tuple>
#include <type_traits>
#include <utility>

#include "automation/com/handles.h"
#include "automation/error.h"

namespace tarvex::automation::com {

// Interfaces: those the object implements, the first being its identity. One derived from
// IDispatch (a dual interface) also answers IDispatch.
template <class... Interfaces>
class Unknown : public Interfaces... {
 public:
  Unknown(const Unknown&) = delete;
  Unknown& operator=(const Unknown&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = find(iid);
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  Unknown() = default;
  virtual ~Unknown() = default;
  // An interface beyond the listed ones (a private one); null when there is none.
  virtual void* other_interface(REFIID) { return nullptr; }

 private:
  template <class I>
  void* as(REFIID iid) {
    if (iid == __uuidof(I)) return static_cast<I*>(this);
    if constexpr (std::is_base_of_v<IDispatch, I>) {
      if (iid == IID_IDispatch) return static_cast<IDispatch*>(static_cast<I*>(this));
    }
    return nullptr;
  }
  void* find(REFIID iid) {
    void* found = nullptr;
    if (iid == IID_IUnknown) return static_cast<IUnknown*>(static_cast<Identity*>(this));
    ((found = found ? found : as<Interfaces>(iid)), ...);
    return found ? found : other_interface(iid);
  }
  using Identity = std::tuple_element_t<0, std::tuple<Interfaces...>>;

  std::atomic<ULONG> references_{1};
};

// A new object of ours, holding its first reference.
template <class T, class... A>
com_ptr<T> make(A&&... args) {
  return com_ptr<T>::adopt(new T(std::forward<A>(args)...));
}

// The error as the calling thread's error object, and the HRESULT that carries its number:
// what a member called through a table of operations reports.
HRESULT set_error_info(const Error& error) noexcept;

// Runs `body` for a member of an interface: whatever it raises becomes the thread's error
// object and the HRESULT returned; otherwise the HRESULT that `body` returns, if any, or S_OK.
template <class F>
HRESULT boundary(F&& body) noexcept {
  try {
    if constexpr (std::is_same_v<std::invoke_result_t<F&>, HRESULT>) {
      return body();
    } else {
      body();
      return S_OK;
    }
  } catch (...) {
    return set_error_info(error_from_current_exception());
  }
}

// The type information of the interface `iid` in the type library that the module holding
// this code carries as a resource; null when there is none.
com_ptr<ITypeInfo> component_type_info(REFIID iid);

namespace detail {
HRESULT typed_type_info(REFIID dual, UINT index, ITypeInfo** out);
HRESULT typed_ids_of_names(REFIID dual, REFIID riid, LPOLESTR* names, UINT count, DISPID* ids);
HRESULT typed_invoke(REFIID dual, void* instance, DISPID id, REFIID riid, WORD flags,
                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception, UINT* bad_argument);
}  // namespace detail

// IDispatch of the dual interface I through the platform's dispatch over I's type information
// (names in any case, named and by-reference arguments, coercion and argument errors as the
// platform gives them), and ISupportErrorInfo for I.
template <class I, class... More>
class Dual : public Unknown<I, ISupportErrorInfo, More...> {
 public:
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
    return detail::typed_type_info(__uuidof(I), index, out);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    return detail::typed_ids_of_names(__uuidof(I), riid, names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception,
                                   UINT* bad_argument) override {
    return detail::typed_invoke(__uuidof(I), static_cast<I*>(this), id, riid, flags, params, result,
                                exception, bad_argument);
  }
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
    return iid == __uuidof(I) ? S_OK : S_FALSE;
  }
};

}  // namespace tarvex::automation::com
