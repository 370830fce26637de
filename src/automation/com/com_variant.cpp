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
  if (SafeArrayLock(array) != S_OK) raise(RuntimeError::TypeMismatch);
  try {
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
  } catch (...) {
    SafeArrayUnlock(array);
    throw;
  }
  SafeArrayUnlock(array);
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

// The value a by-reference VARIANT points to, as a VARIANT that shares it.
VARIANT dereferenced(const VARIANT& value) {
  VARIANT out;
  VariantInit(&out);
  const VARTYPE type = value.vt & ~VT_BYREF;
  if (type & VT_ARRAY) {
    out.vt = type;
    out.parray = value.pparray ? *value.pparray : nullptr;
    return out;
  }
  out.vt = type;
  switch (type) {
    case VT_I1:
      out.cVal = *value.pcVal;
      break;
    case VT_UI1:
      out.bVal = *value.pbVal;
      break;
    case VT_I2:
      out.iVal = *value.piVal;
      break;
    case VT_UI2:
      out.uiVal = *value.puiVal;
      break;
    case VT_I4:
      out.lVal = *value.plVal;
      break;
    case VT_UI4:
      out.ulVal = *value.pulVal;
      break;
    case VT_INT:
      out.intVal = *value.pintVal;
      break;
    case VT_UINT:
      out.uintVal = *value.puintVal;
      break;
    case VT_I8:
      out.llVal = *value.pllVal;
      break;
    case VT_UI8:
      out.ullVal = *value.pullVal;
      break;
    case VT_R4:
      out.fltVal = *value.pfltVal;
      break;
    case VT_R8:
      out.dblVal = *value.pdblVal;
      break;
    case VT_CY:
      out.cyVal = *value.pcyVal;
      break;
    case VT_DATE:
      out.date = *value.pdate;
      break;
    case VT_BSTR:
      out.bstrVal = *value.pbstrVal;
      break;
    case VT_BOOL:
      out.boolVal = *value.pboolVal;
      break;
    case VT_ERROR:
      out.scode = *value.pscode;
      break;
    case VT_DISPATCH:
      out.pdispVal = *value.ppdispVal;
      break;
    case VT_UNKNOWN:
      out.punkVal = *value.ppunkVal;
      break;
    case VT_DECIMAL:
      out.decVal = *value.pdecVal;
      break;
    default:
      raise(RuntimeError::TypeMismatch);
  }
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
    case Kind::String: {
      const std::wstring text = wide(value.as_string());
      BSTR bstr = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
      if (!bstr) raise(RuntimeError::OutOfMemory);
      out.vt = VT_BSTR;
      out.bstrVal = bstr;
      break;
    }
    case Kind::Boolean:
      out.vt = VT_BOOL;
      out.boolVal = value.as_boolean() ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case Kind::Object:
      out.pdispVal = to_dispatch(value.as_object());
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
      IDispatch* dispatch = nullptr;
      if (FAILED(
              value.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
        raise(RuntimeError::TypeMismatch, "the object cannot be called by member name");
      }
      ObjectRef object = from_dispatch(dispatch);
      dispatch->Release();
      return Variant(std::move(object));
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
      VARIANT number;
      VariantInit(&number);
      if (FAILED(VariantChangeType(&number, const_cast<VARIANT*>(&value), 0, VT_R8))) {
        raise(RuntimeError::Overflow);
      }
      return Variant(number.dblVal);
    }
    default:
      raise(RuntimeError::TypeMismatch);
  }
}

void write_back(const Variant& value, VARIANT& target) {
  if (!(target.vt & VT_BYREF)) return;
  if (target.vt == (VT_BYREF | VT_VARIANT)) {
    VARIANT fresh;
    VariantInit(&fresh);
    to_com(value, fresh);
    VariantClear(target.pvarVal);
    *target.pvarVal = fresh;
    return;
  }
  VARIANT given;
  VariantInit(&given);
  to_com(value, given);
  VARIANT typed;
  VariantInit(&typed);
  const VARTYPE type = target.vt & ~VT_BYREF;
  const HRESULT changed = VariantChangeType(&typed, &given, 0, type);
  VariantClear(&given);
  if (FAILED(changed)) raise(RuntimeError::TypeMismatch);
  switch (type) {
    case VT_I2:
      *target.piVal = typed.iVal;
      break;
    case VT_I4:
      *target.plVal = typed.lVal;
      break;
    case VT_R8:
      *target.pdblVal = typed.dblVal;
      break;
    case VT_R4:
      *target.pfltVal = typed.fltVal;
      break;
    case VT_UI1:
      *target.pbVal = typed.bVal;
      break;
    case VT_DATE:
      *target.pdate = typed.date;
      break;
    case VT_BOOL:
      *target.pboolVal = typed.boolVal;
      break;
    case VT_BSTR:
      SysFreeString(*target.pbstrVal);
      *target.pbstrVal = typed.bstrVal;
      break;
    case VT_DISPATCH:
      if (*target.ppdispVal) (*target.ppdispVal)->Release();
      *target.ppdispVal = typed.pdispVal;
      break;
    default:
      VariantClear(&typed);
      raise(RuntimeError::TypeMismatch);
  }
}

}  // namespace tarvex::automation::com
