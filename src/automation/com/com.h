// The binding of the automation layer to the platform's component object model: variants to and
// from VARIANT, our objects as IDispatch, IDispatch objects as ours, errors both ways through
// EXCEPINFO, and creation by ProgID. Windows only.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <string>
#include <string_view>

#include "automation/error.h"
#include "automation/object.h"
#include "automation/variant.h"

namespace tarvex::automation::com {

// UTF-8 and the platform's UTF-16; a broken sequence becomes U+FFFD.
std::wstring wide(std::string_view text);
std::string utf8(const wchar_t* text, std::size_t length);
std::string utf8(BSTR text);

// `out` must be a cleared VARIANT; afterwards the caller owns what it holds.
void to_com(const Variant& value, VARIANT& out);
// A by-reference VARIANT is read through its reference.
Variant from_com(const VARIANT& value);
// Writes `value` back through a by-reference VARIANT, in the type the reference points to.
void write_back(const Variant& value, VARIANT& target);

// Our object behind IDispatch: an object that was already an IDispatch gives that back.
IDispatch* to_dispatch(const ObjectRef& object);
// The other way: one of our own adapters gives its object back.
ObjectRef from_dispatch(IDispatch* dispatch);

// HRESULT and error number: runtime failures travel as 0x800A0000 + number.
HRESULT scode_of(std::int32_t number);
std::int32_t number_of(HRESULT scode);
// Fills `info` from the error (the strings are the caller's to free).
void fill_excepinfo(const Error& error, EXCEPINFO& info);
// The error that an Invoke's result and EXCEPINFO describe; frees the EXCEPINFO's strings.
Error error_from_invoke(HRESULT result, EXCEPINFO& info, std::string_view member);

// The error as the calling thread's error object, for a call that reports only an HRESULT (a
// class factory's); and back: the error that `result` and the thread's error object describe,
// which is then cleared.
HRESULT set_error_info(const Error& error);
Error take_error_info(HRESULT result, std::string_view what);

// A new object of the class registered under `progid` with the platform; 429 when none is.
ObjectRef create_by_progid(std::string_view progid);

}  // namespace tarvex::automation::com
