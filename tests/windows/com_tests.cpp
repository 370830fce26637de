// Tests of the binding to the platform's component object model, run under wine by
// scripts/windows. Prints one line per failure; the exit status is the number of failures.
#include <cstdio>
#include <string>
#include <vector>

#include "automation/com/com.h"

using namespace tarvex::automation;

namespace {

int failures = 0;

void check(bool ok, const std::string& what) {
  if (!ok) {
    ++failures;
    std::printf("FAIL %s\n", what.c_str());
  }
}

bool same(const Variant& a, const Variant& b) {
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case Kind::Empty:
    case Kind::Null:
      return true;
    case Kind::Integer:
      return a.as_integer() == b.as_integer();
    case Kind::Long:
      return a.as_long() == b.as_long();
    case Kind::Double:
      return a.as_double() == b.as_double();
    case Kind::Date:
      return a.as_date() == b.as_date();
    case Kind::String:
      return a.as_string() == b.as_string();
    case Kind::Boolean:
      return a.as_boolean() == b.as_boolean();
    case Kind::Object:
      return a.as_object() == b.as_object();
    case Kind::Array: {
      const Array& x = a.as_array();
      const Array& y = b.as_array();
      if (x.dimensions() != y.dimensions()) return false;
      for (int d = 1; d <= x.dimensions(); ++d) {
        if (x.bounds(d).lower != y.bounds(d).lower || x.bounds(d).upper != y.bounds(d).upper)
          return false;
      }
      if (x.dimensions() == 1) {
        for (auto i = x.bounds(1).lower; i <= x.bounds(1).upper; ++i)
          if (!same(x.at(i), y.at(i))) return false;
        return true;
      }
      for (auto r = x.bounds(2).lower; r <= x.bounds(2).upper; ++r)
        for (auto c = x.bounds(1).lower; c <= x.bounds(1).upper; ++c)
          if (!same(x.at(c, r), y.at(c, r))) return false;
      return true;
    }
  }
  return false;
}

// Twice(x ByRef): doubles x and gives the old value; Fail: raises an object-defined error.
class Probe : public Object {
 public:
  Variant invoke(std::string_view member, CallKind, Args& args) override {
    if (member == "Twice") {
      Variant old = args[0];
      args.ref(0) = Variant(std::int32_t{old.as_long() * 2});
      return old;
    }
    if (member == "Fail") throw Error(kObjectErrorBase + 965, "Probe.Source", "refused");
    raise_unknown_member(member);
  }
};

void variant_round_trips() {
  Array table(std::vector<Array::Bounds>{{0, 1}, {5, 7}});
  for (std::int32_t r = 5; r <= 7; ++r)
    for (std::int32_t c = 0; c <= 1; ++c) table.at(c, r) = Variant(std::int32_t{c * 10 + r});
  Array list(std::vector<Array::Bounds>{{1, 3}});
  list.at(1) = Variant("x");
  list.at(2) = Variant(Null{});
  list.at(3) = Variant(Array::of({Variant(true)}));
  auto object = std::make_shared<Probe>();
  struct Case {
    const char* name;
    Variant value;
    VARTYPE type;
    double ole;  // the VARIANT's double value where it has one
  } cases[] = {
      {"empty", Variant(), VT_EMPTY, 0},
      {"null", Variant(Null{}), VT_NULL, 0},
      {"integer", Variant(std::int16_t{-32768}), VT_I2, 0},
      {"long", Variant(std::int32_t{2147483647}), VT_I4, 0},
      {"double", Variant(-0.1), VT_R8, -0.1},
      {"date 1970", Variant(DateTime{0}), VT_DATE, 25569.0},
      {"date before 1899-12-30", Variant(DateTime{std::int64_t{-25570} * 86400 + 6 * 3600}),
       VT_DATE, -1.25},
      {"text",
       Variant("Gr\xC3\xBC\xC3\x9F"
               "e \xE2\x82\xAC \xF0\x9F\x98\x80"),
       VT_BSTR, 0},
      {"empty text", Variant(""), VT_BSTR, 0},
      {"true", Variant(true), VT_BOOL, 0},
      {"object", Variant(object), VT_DISPATCH, 0},
      {"nothing", Variant(ObjectRef()), VT_DISPATCH, 0},
      {"list", Variant(list), VT_ARRAY | VT_VARIANT, 0},
      {"table", Variant(table), VT_ARRAY | VT_VARIANT, 0},
      {"no elements", Variant(Array(std::vector<Array::Bounds>{{0, -1}})), VT_ARRAY | VT_VARIANT,
       0},
  };
  for (const Case& c : cases) {
    VARIANT v;
    VariantInit(&v);
    com::to_com(c.value, v);
    check(v.vt == c.type, std::string(c.name) + ": type");
    if (c.type == VT_DATE) check(v.date == c.ole, std::string(c.name) + ": date number");
    check(same(com::from_com(v), c.value), std::string(c.name) + ": round trip");
    // By reference it reads the same.
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BYREF | VT_VARIANT;
    ref.pvarVal = &v;
    check(same(com::from_com(ref), c.value), std::string(c.name) + ": by reference");
    VariantClear(&v);
  }
  // The first index is the platform's first dimension.
  VARIANT v;
  VariantInit(&v);
  com::to_com(Variant(table), v);
  LONG lower = -1;
  SafeArrayGetLBound(v.parray, 2, &lower);
  LONG at[2] = {1, 6};
  VARIANT cell;
  VariantInit(&cell);
  SafeArrayGetElement(v.parray, at, &cell);
  check(lower == 5 && cell.vt == VT_I4 && cell.lVal == 16, "table: dimensions in order");
  VariantClear(&v);
}

void adapter_calls() {
  IDispatch* dispatch = com::to_dispatch(std::make_shared<Probe>());
  auto id_of = [&](const wchar_t* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
    return id;
  };
  // A by-reference Long comes back doubled, in its own type.
  LONG number = 21;
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_BYREF | VT_I4;
  arg.plVal = &number;
  DISPPARAMS params{&arg, nullptr, 1, 0};
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO info{};
  HRESULT hr = dispatch->Invoke(id_of(L"Twice"), IID_NULL, 0, DISPATCH_METHOD, &params, &result,
                                &info, nullptr);
  check(hr == S_OK && number == 42 && result.vt == VT_I4 && result.lVal == 21, "by reference");
  // Errors keep number, source and description both ways.
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  hr = dispatch->Invoke(id_of(L"Fail"), IID_NULL, 0, DISPATCH_METHOD, &none, &result, &info,
                        nullptr);
  check(hr == DISP_E_EXCEPTION && info.scode == static_cast<HRESULT>(0x800403C5u), "error code");
  Error back = com::error_from_invoke(hr, info, "Fail");
  check(back.number() == kObjectErrorBase + 965 && back.source() == "Probe.Source" &&
            back.description() == "refused",
        "error back");
  // A class factory's failure: the HRESULT and the thread's error object.
  const Error failed(kObjectErrorBase + 7, "Probe.Start", "no resources");
  back = com::take_error_info(com::set_error_info(failed), "creation");
  check(back.number() == failed.number() && back.source() == failed.source() &&
            back.description() == failed.description(),
        "error through the error object");
  back = com::take_error_info(E_FAIL, "creation");
  check(back.description() == "creation (0x80004005)", "error object cleared after use");
  hr = dispatch->Invoke(id_of(L"Other"), IID_NULL, 0, DISPATCH_METHOD, &none, &result, &info,
                        nullptr);
  back = com::error_from_invoke(hr, info, "Other");
  check(back.number() == 438 && !back.description().empty(), "unknown member: 438");
  // Our own object comes back as itself, not as a wrapper.
  auto probe = std::make_shared<Probe>();
  IDispatch* own = com::to_dispatch(probe);
  check(com::from_dispatch(own) == probe, "own object unwrapped");
  own->Release();
  dispatch->Release();
}

}  // namespace

int main() {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  variant_round_trips();
  adapter_calls();
  CoUninitialize();
  std::printf("%s\n", failures == 0 ? "com tests passed" : "com tests FAILED");
  return failures;
}
