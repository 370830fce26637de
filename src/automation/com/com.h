// The binding of the automation layer to the platform's component object model: variants to and
// from VARIANT, our objects as IDispatch, IDispatch objects as ours, errors both ways through
// EXCEPINFO and the thread's error object, and creation by ProgID. Windows only.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

#include "automation/com/handles.h"
#include "automation/error.h"
#include "automation/object.h"
#include "automation/variant.h"

namespace tarvex::automation {
class Collection;
}

namespace tarvex::automation::com {

// UTF-8 and the platform's UTF-16; a broken sequence becomes U+FFFD.
std::wstring wide(std::string_view text);
std::string utf8(const wchar_t* text, std::size_t length);
std::string utf8(BSTR text);

// The module (DLL or program) that this code is linked into, and the file a module was loaded
// from (empty when it cannot be told).
HMODULE code_module();
std::wstring module_path(HMODULE module);

// `out` must be a cleared VARIANT; afterwards the caller owns what it holds.
void to_com(const Variant& value, VARIANT& out);
// A by-reference VARIANT is read through its reference; the value is copied.
Variant from_com(const VARIANT& value);
// Writes `value` back through a by-reference VARIANT, in the type the reference points to.
void write_back(const Variant& value, VARIANT& target);

// Our object behind IDispatch: an object that was already an IDispatch gives that back, a
// collection comes as the type library's collection, any other object answers any member name
// and refuses an unknown one when it is called.
com_ptr<IDispatch> to_dispatch(const ObjectRef& object);
// The collection, described by the component's type library.
com_ptr<IDispatch> collection_object(const std::shared_ptr<Collection>& collection);
// The other way: one of this module's objects gives its object back; any other is called by
// name through IDispatchEx where it offers that, IDispatch otherwise.
ObjectRef from_dispatch(IDispatch* dispatch);

// An object of ours behind one of this module's COM objects, so that from_dispatch() finds it.
class Wrapped {
 public:
  const ObjectRef& object() const { return object_; }

 protected:
  explicit Wrapped(ObjectRef object);
  ~Wrapped();
  Wrapped(const Wrapped&) = delete;
  Wrapped& operator=(const Wrapped&) = delete;
  // What the COM object's QueryInterface gives for the private interface that marks it.
  void* wrapped_interface(REFIID iid);

 private:
  ObjectRef object_;
};

// HRESULT and error number: runtime failures travel as 0x800A0000 + number.
HRESULT scode_of(std::int32_t number);
std::int32_t number_of(HRESULT scode);
// Fills `info` from the error (the strings are the caller's to free).
void fill_excepinfo(const Error& error, EXCEPINFO& info);
// The error that a failed call's result, its EXCEPINFO and the thread's error object describe;
// frees the EXCEPINFO's strings and clears the thread's error object after reading it.
Error error_from_invoke(HRESULT result, EXCEPINFO& info, std::string_view what);

// A new object of the class registered under `progid` with the platform; 429 when none is.
ObjectRef create_by_progid(std::string_view progid);

}  // namespace tarvex::automation::com
