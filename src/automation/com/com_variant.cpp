// Variants to and from VARIANT, and the texts between UTF-8 and UTF-16.
#include <cmath>
#include <cstring>
#include <vector>

#include "automation/com/com.h"

namespace tarvex::automation::com {

namespace {

// Dates count days from 1899-12-30 with the time of day as the fraction, which before that day
// counts forward from the (negative) day: -1.25 is 1899-12-29 06:00.
constexpr std::int64_t kDaysTo1970 = 25569;
constexpr std::int64_t kDay = 86400;

double ole_date(DateTime value) {
  std::int64_t days = value.local_seconds / kDay;
  std::int64_t seconds = value.local_seconds % kDay;
  if (seconds < 0) {
    seconds += kDay;
    --days;
  }
  const double day = static_cast<double>(days + kDaysTo1970);
  const double time = static_cast<double>(seconds) / kDay;
  return day < 0 ? day - time : day + time;
}

DateTime from_ole_date(double date) {
  if (!std::isfinite(date) || std::fabs(date) > 3e6) raise(RuntimeError::Overflow);
  const double whole = std::trunc(date);
  const auto seconds = static_cast<std::int64_t>(std::llround(std::fabs(date - whole) * kDay));
  return DateTime{(static_cast<std::int64_t>(whole) - kDaysTo1970) * kDay + seconds};
}

Variant from_number(std::int64_t value) {
  if (value >= INT32_MIN && value <= INT32_MAX) return Variant(static_cast<std::int32_t>(value));
  return Variant(static_cast<double>(value));
}

Variant array_from_com(SAFEARRAY* array, VARTYPE element_type) {
  if (!array) return Variant(Array(std::vector<Array::Bounds>{{0, -1}}));
  const UINT dimensions = SafeArrayGetDim(array);
  if (dimensions < 1 || dimensions > 2) {
    raise(RuntimeError::TypeMismatch, "arrays have one or two dimensions");
  }
  std::vector<Array::Bounds> bounds;
  for (UINT d = 1; d <= dimensions; ++d) {
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(array, d, &lower);
    SafeArrayGetUBound(array, d, &upper);
    bounds.push_back({lower, upper});
  }
  Array out(bounds);
  const UINT element_size = SafeArrayGetElemsize(array);
  auto element = [&](LONG* indexes) {
    void* cell = nullptr;
    if (FAILED(SafeArrayPtrOfIndex(array, indexes, &cell)))
      raise(RuntimeError::SubscriptOutOfRange);
    if (element_type == VT_VARIANT) return from_com(*static_cast<VARIANT*>(cell));
    VARIANT borrowed;  // shares the cell's value; never cleared
    VariantInit(&borrowed);
    if (element_size > sizeof(borrowed.llVal) && element_type != VT_DECIMAL) {
      raise(RuntimeError::TypeMismatch);
    }
    borrowed.vt = element_type;
    if (element_type == VT_DECIMAL)
      borrowed.decVal = *static_cast<DECIMAL*>(cell);
    else
      std::memcpy(&borrowed.llVal, cell, element_size);
    return from_com(borrowed);
  };
  safearray_lock lock(array);
  LONG indexes[2];
  if (dimensions == 1) {
    for (LONG i = bounds[0].lower; i <= bounds[0].upper; ++i) {
      indexes[0] = i;
      out.at(i) = element(indexes);
    }
  } else {
    for (LONG r = bounds[1].lower; r <= bounds[1].upper; ++r) {
      for (LONG c = bounds[0].lower; c <= bounds[0].upper; ++c) {
        indexes[0] = c;
        indexes[1] = r;
        out.at(c, r) = element(indexes);
      }
    }
  }
  return Variant(std::move(out));
}

SAFEARRAY* array_to_com(const Array& array) {
  const int dimensions = array.dimensions();
  SAFEARRAYBOUND bounds[2];
  for (int d = 0; d < dimensions; ++d) {
    const Array::Bounds b = array.bounds(d + 1);
    bounds[d].lLbound = b.lower;
    bounds[d].cElements = static_cast<ULONG>(b.count());
  }
  SAFEARRAY* out = SafeArrayCreate(VT_VARIANT, static_cast<UINT>(dimensions), bounds);
  if (!out) raise(RuntimeError::OutOfMemory);
  auto put = [&](LONG* indexes, const Variant& value) {
    VARIANT* cell = nullptr;
    if (FAILED(SafeArrayPtrOfIndex(out, indexes, reinterpret_cast<void**>(&cell)))) {
      raise(RuntimeError::SubscriptOutOfRange);
    }
    to_com(value, *cell);
  };
  try {
    LONG indexes[2];
    if (dimensions == 1) {
      const Array::Bounds b = array.bounds(1);
      for (LONG i = b.lower; i <= b.upper; ++i) {
        indexes[0] = i;
        put(indexes, array.at(i));
      }
    } else {
      const Array::Bounds columns = array.bounds(1);
      const Array::Bounds rows = array.bounds(2);
      for (LONG r = rows.lower; r <= rows.upper; ++r) {
        for (LONG c = columns.lower; c <= columns.upper; ++c) {
          indexes[0] = c;
          indexes[1] = r;
          put(indexes, array.at(c, r));
        }
      }
    }
  } catch (...) {
    SafeArrayDestroy(out);
    throw;
  }
  return out;
}

// The size of the value that a by-reference VARIANT of `type` points to; 0 for a type that
// cannot be passed that way. Every by-reference pointer of a VARIANT is the same member, byref.
std::size_t pointed_size(VARTYPE type) {
  if (type & VT_ARRAY) return sizeof(SAFEARRAY*);
  switch (type) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
      return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
      return 8;
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return sizeof(void*);
    case VT_DECIMAL:
      return sizeof(DECIMAL);
    default:
      return 0;
  }
}

// The value a by-reference VARIANT points to, as a VARIANT that shares it (never cleared).
VARIANT dereferenced(const VARIANT& value) {
  const VARTYPE type = value.vt & ~VT_BYREF;
  const std::size_t size = pointed_size(type);
  if (size == 0 || !value.byref) raise(RuntimeError::TypeMismatch);
  VARIANT out;
  VariantInit(&out);
  if (type == VT_DECIMAL) {
    out.decVal = *value.pdecVal;  // a DECIMAL fills the whole VARIANT, its type field included
  } else {
    std::memcpy(&out.llVal, value.byref, size);
  }
  out.vt = type;
  return out;
}

}  // namespace

std::wstring wide(std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), size, out.data(), length);
  return out;
}

std::string utf8(const wchar_t* text, std::size_t length) {
  if (!text || length == 0) return {};
  const int size = static_cast<int>(length);
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, size, out.data(), bytes, nullptr, nullptr);
  return out;
}

std::string utf8(BSTR text) {
  return utf8(text, text ? SysStringLen(text) : 0);
}

unique_bstr unique_bstr::of(std::string_view text) {
  const std::wstring utf16 = wide(text);
  unique_bstr out(SysAllocStringLen(utf16.data(), static_cast<UINT>(utf16.size())));
  if (!out.get()) raise(RuntimeError::OutOfMemory);
  return out;
}

safearray_lock::safearray_lock(SAFEARRAY* array) : array_(array) {
  if (SafeArrayLock(array) != S_OK) raise(RuntimeError::TypeMismatch);
}

void to_com(const Variant& value, VARIANT& out) {
  switch (value.kind()) {
    case Kind::Empty:
      out.vt = VT_EMPTY;
      break;
    case Kind::Null:
      out.vt = VT_NULL;
      break;
    case Kind::Integer:
      out.vt = VT_I2;
      out.iVal = value.as_integer();
      break;
    case Kind::Long:
      out.vt = VT_I4;
      out.lVal = value.as_long();
      break;
    case Kind::Double:
      out.vt = VT_R8;
      out.dblVal = value.as_double();
      break;
    case Kind::Date:
      out.vt = VT_DATE;
      out.date = ole_date(value.as_date());
      break;
    case Kind::String:
      out.bstrVal = unique_bstr::of(value.as_string()).detach();
      out.vt = VT_BSTR;
      break;
    case Kind::Boolean:
      out.vt = VT_BOOL;
      out.boolVal = value.as_boolean() ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case Kind::Object:
      out.pdispVal = to_dispatch(value.as_object()).detach();
      out.vt = VT_DISPATCH;
      break;
    case Kind::Array:
      out.parray = array_to_com(value.as_array());
      out.vt = VT_ARRAY | VT_VARIANT;
      break;
  }
}

Variant from_com(const VARIANT& value) {
  if (value.vt == (VT_BYREF | VT_VARIANT)) {
    if (!value.pvarVal) return Variant();
    return from_com(*value.pvarVal);
  }
  if (value.vt & VT_BYREF) return from_com(dereferenced(value));
  if (value.vt & VT_ARRAY) return array_from_com(value.parray, value.vt & VT_TYPEMASK);
  switch (value.vt) {
    case VT_EMPTY:
      return Variant();
    case VT_NULL:
      return Variant(Null{});
    case VT_I2:
      return Variant(std::int16_t{value.iVal});
    case VT_I4:
      return Variant(std::int32_t{value.lVal});
    case VT_R8:
      return Variant(value.dblVal);
    case VT_DATE:
      return Variant(from_ole_date(value.date));
    case VT_BSTR:
      return Variant(utf8(value.bstrVal));
    case VT_BOOL:
      return Variant(value.boolVal != VARIANT_FALSE);
    case VT_DISPATCH:
      return Variant(from_dispatch(value.pdispVal));
    case VT_UNKNOWN: {
      if (!value.punkVal) return Variant(ObjectRef());
      com_ptr<IDispatch> dispatch;
      if (FAILED(value.punkVal->QueryInterface(IID_IDispatch, dispatch.put_void()))) {
        raise(RuntimeError::TypeMismatch, "the object cannot be called by member name");
      }
      return Variant(from_dispatch(dispatch.get()));
    }
    case VT_ERROR:
      // What a caller passes for an optional argument it leaves out.
      if (value.scode == DISP_E_PARAMNOTFOUND) return Variant();
      raise(RuntimeError::TypeMismatch);
    case VT_I1:
      return Variant(std::int16_t{value.cVal});
    case VT_UI1:
      return Variant(std::int16_t{value.bVal});
    case VT_UI2:
      return Variant(std::int32_t{value.uiVal});
    case VT_UI4:
      return from_number(value.ulVal);
    case VT_INT:
      return Variant(std::int32_t{value.intVal});
    case VT_UINT:
      return from_number(value.uintVal);
    case VT_I8:
      return from_number(value.llVal);
    case VT_UI8:
      if (value.ullVal > static_cast<ULONGLONG>(INT64_MAX)) return Variant(double(value.ullVal));
      return from_number(static_cast<std::int64_t>(value.ullVal));
    case VT_R4:
      return Variant(static_cast<double>(value.fltVal));
    case VT_CY:
    case VT_DECIMAL: {
      unique_variant number;
      if (FAILED(VariantChangeType(number.get(), const_cast<VARIANT*>(&value), 0, VT_R8))) {
        raise(RuntimeError::Overflow);
      }
      return Variant(number->dblVal);
    }
    default:
      raise(RuntimeError::TypeMismatch);
  }
}

void write_back(const Variant& value, VARIANT& target) {
  if (!(target.vt & VT_BYREF)) return;
  unique_variant given;
  to_com(value, *given.get());
  if (target.vt == (VT_BYREF | VT_VARIANT)) {
    VariantClear(target.pvarVal);
    *target.pvarVal = given.detach();
    return;
  }
  // In the type the caller's variable has.
  const VARTYPE type = target.vt & ~VT_BYREF;
  unique_variant typed;
  if (pointed_size(type) == 0 || FAILED(VariantChangeType(typed.get(), given.get(), 0, type))) {
    raise(RuntimeError::TypeMismatch);
  }
  VARIANT replaced = dereferenced(target);  // released once the new value is in place
  VARIANT moved = typed.detach();
  if (type == VT_DECIMAL) {
    *target.pdecVal = moved.decVal;
  } else {
    std::memcpy(target.byref, &moved.llVal, pointed_size(type));
  }
  VariantClear(&replaced);
}

}  // namespace tarvex::automation::com
