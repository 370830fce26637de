// Tests of the binding to the platform's component object model, run under wine by
// scripts/windows with Tarvex_83.dll registered: the plug-in is created and called as an
// Automation host does. Prints one line per failure; the exit status is the number of failures.
#include <Tarvex_83.h>
#include <dispex.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "automation/com/com.h"
#include "automation/com/unknown.h"

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

// Twice(x ByRef, y): doubles x and gives the old value, only reads y.
class Probe : public Object {
 public:
  Variant invoke(std::string_view member, CallKind, Args& args) override {
    if (member == "Twice") {
      Variant old = args[0];
      if (args.has(1)) (void)args[1];
      args.ref(0) = Variant(std::int32_t{old.as_long() * 2});
      return old;
    }
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

// One call as a host makes it: `args` in the order of the parameters (rgvarg takes them last
// first), `named` their DISPIDs when they are named.
struct Call {
  HRESULT hr = S_OK;
  com::unique_variant result;
  EXCEPINFO exception{};
  Call(IDispatch* object, const wchar_t* member, std::vector<VARIANT> args = {},
       std::vector<const wchar_t*> names = {},
       WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET) {
    names.insert(names.begin(), member);
    std::vector<DISPID> ids(names.size());
    hr = object->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(names.data()),
                               static_cast<UINT>(names.size()), 0x409, ids.data());
    if (FAILED(hr)) return;
    std::reverse(args.begin(), args.end());
    std::reverse(ids.begin() + 1, ids.end());
    DISPPARAMS params{args.data(), ids.size() > 1 ? &ids[1] : nullptr,
                      static_cast<UINT>(args.size()), static_cast<UINT>(ids.size() - 1)};
    hr = object->Invoke(ids[0], IID_NULL, 0x409, flags, &params, result.put(), &exception, nullptr);
  }
  ~Call() {
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
  }
  std::string description() const { return com::utf8(exception.bstrDescription); }
};

VARIANT arg(VARTYPE type, void* value) {
  VARIANT v;
  v.vt = type;
  v.byref = value;  // every pointer member of a VARIANT is this one
  return v;
}

void adapter_calls() {
  auto probe = std::make_shared<Probe>();
  com::com_ptr<IDispatch> dispatch = com::to_dispatch(probe);
  // A by-reference Long comes back doubled, in its own type; a by-reference Byte that the member
  // only reads is left as it was, not widened.
  LONG number = 21;
  VARIANT small;
  small.vt = VT_UI1;
  small.bVal = 7;
  Call twice(dispatch.get(), L"Twice",
             {arg(VT_BYREF | VT_I4, &number), arg(VT_BYREF | VT_VARIANT, &small)});
  check(twice.hr == S_OK && number == 42 && twice.result->vt == VT_I4 && twice.result->lVal == 21,
        "by reference");
  check(small.vt == VT_UI1 && small.bVal == 7, "a by-reference argument only read");
  // Errors keep their number (the refusal's travels whole: scripts/windows).
  Call other(dispatch.get(), L"Other");
  check(com::error_from_invoke(other.hr, other.exception, "Other").number() == 438,
        "unknown member: 438");
  // Our own object comes back as itself, not as a wrapper.
  check(com::from_dispatch(dispatch.get()) == probe, "own object unwrapped");
}

// A host's object as a script engine makes it: names only through IDispatchEx::GetDispID, calls
// only through InvokeEx. MethodName gives "otherstep" (by reference when asked) or fails with
// `failure` and an error object of the host's.
class ScriptObject final : public com::Unknown<IDispatchEx> {
 public:
  bool by_reference = false;
  HRESULT failure = S_OK;
  int calls = 0;

  HRESULT STDMETHODCALLTYPE GetDispID(BSTR name, DWORD, DISPID* id) override {
    *id = 1;
    return _wcsicmp(name, L"MethodName") == 0 ? S_OK : DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE InvokeEx(DISPID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                     IServiceProvider*) override {
    ++calls;
    if (failure != S_OK) return com::set_error_info(Error(failure, "Host", "the host said no"));
    VARIANT* value = by_reference ? held_.put() : result;
    value->vt = VT_BSTR;
    value->bstrVal = SysAllocString(L"otherstep");
    if (by_reference) *result = arg(VT_BYREF | VT_VARIANT, value);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeleteMemberByName(BSTR, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeleteMemberByDispID(DISPID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMemberProperties(DISPID, DWORD, DWORD*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetMemberName(DISPID, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNextDispID(DWORD, DISPID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNameSpaceParent(IUnknown**) override { return E_NOTIMPL; }

 private:
  com::unique_variant held_;  // what a by-reference result points to
};

com::com_ptr<IDispatch> create_plugin() {
  CLSID clsid{};
  com::com_ptr<IDispatch> plugin;
  if (SUCCEEDED(CLSIDFromProgID(L"Tarvex_83.Implementation", &clsid))) {
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, plugin.put_void());
  }
  return plugin;
}

constexpr HRESULT kRefused = static_cast<HRESULT>(0x800403C5u);
const std::string kRefusal = "'otherstep' is not handled by 'Tarvex_83.Implementation.Execute'";

// The plug-in's type library, read back from its registration: _Implementation dual, its members
// in their slots after IDispatch's seven.
void type_library() {
  const GUID libid = {0x3f6e2a44, 0x8c1d, 0x4b7a, {0x9e, 0x25, 0x61, 0x0d, 0x4c, 0x83, 0x7a, 0x10}};
  com::com_ptr<ITypeLib> library;
  com::com_ptr<ITypeInfo> info;
  com::com_ptr<ITypeInfo> table;
  TYPEATTR* attributes = nullptr;
  HREFTYPE operations = 0;
  if (FAILED(LoadRegTypeLib(libid, 1, 0, 0x409, library.put())) ||
      FAILED(library->GetTypeInfoOfGuid(__uuidof(_Implementation), info.put())) ||
      FAILED(info->GetTypeAttr(&attributes))) {
    return check(false, "type library registered with _Implementation");
  }
  check((attributes->wTypeFlags & TYPEFLAG_FDUAL) != 0, "_Implementation dual");
  info->ReleaseTypeAttr(attributes);
  info->GetRefTypeOfImplType(static_cast<UINT>(-1), &operations);
  info->GetRefTypeInfo(operations, table.put());
  std::wstring order;
  FUNCDESC* function = nullptr;
  for (UINT i = 0; table && SUCCEEDED(table->GetFuncDesc(i, &function)); ++i) {
    com::unique_bstr name;
    table->GetDocumentation(function->memid, name.put(), nullptr, nullptr, nullptr);
    order += std::to_wstring(function->oVft / static_cast<SHORT>(sizeof(void*))) + name.get();
    table->ReleaseFuncDesc(function);
  }
  check(order == L"7Execute8ValidateContent9ValidateStructure",
        "slot order: " + com::utf8(order.c_str(), order.size()));
}

// Execute and the validation calls as an Automation host makes them.
void plugin_calls() {
  com::com_ptr<IDispatch> plugin = create_plugin();
  if (!plugin) return check(false, "plug-in created by its ProgID");
  UINT count = 0;
  plugin->GetTypeInfoCount(&count);
  auto support = plugin.query<ISupportErrorInfo>();
  check(count == 1 && plugin.query<_Implementation>() && support &&
            support->InterfaceSupportsErrorInfo(__uuidof(_Implementation)) == S_OK,
        "type information, dual interface, error info");
  check(Call(plugin.get(), L"NoSuchMember").hr == DISP_E_UNKNOWNNAME, "unknown name refused");

  auto script = com::make<ScriptObject>();
  auto logger = com::make<ScriptObject>();
  VARIANT s = arg(VT_DISPATCH, script.get());
  VARIANT l = arg(VT_DISPATCH, logger.get());
  {
    // Names in any case; the host's object answers through IDispatchEx only; the refusal comes
    // back whole, in EXCEPINFO and as the thread's error object.
    Call call(plugin.get(), L"eXeCuTe", {s, l});
    com::com_ptr<IErrorInfo> error;
    com::unique_bstr text;
    if (GetErrorInfo(0, error.put()) == S_OK) error->GetDescription(text.put());
    check(call.hr == DISP_E_EXCEPTION && call.exception.scode == kRefused &&
              com::utf8(call.exception.bstrSource) == "Tarvex_83.Implementation.Execute" &&
              call.description() == kRefusal && com::utf8(text.get()) == kRefusal,
          "refusal: " + call.description());
    check(script->calls == 2 && logger->calls == 0, "MethodName read through InvokeEx");
  }
  // Named arguments in the other order reach the right parameters.
  check(Call(plugin.get(), L"Execute", {l, s}, {L"oMacroLogger", L"oMacroStepScript"})
                    .exception.scode == kRefused &&
            logger->calls == 0,
        "named arguments");
  {
    // By reference, as IUnknown too: taken as they are, and left as they were.
    IUnknown* unknown = script.get();
    IDispatch* dispatch = logger.get();
    VARIANT by_ref_unknown = arg(VT_BYREF | VT_UNKNOWN, &unknown);
    Call call(plugin.get(), L"Execute", {by_ref_unknown, arg(VT_BYREF | VT_DISPATCH, &dispatch)});
    check(call.exception.scode == kRefused && unknown == script.get() && dispatch == logger.get() &&
              by_ref_unknown.vt == (VT_BYREF | VT_UNKNOWN),
          "by-reference objects: " + call.description());
  }
  // Argument errors as the platform gives them. (Which argument failed goes to puArgErr where
  // the platform fills it in: wine 8 does not.)
  const HRESULT few = Call(plugin.get(), L"Execute", {s}).hr;
  check(few == DISP_E_BADPARAMCOUNT || few == DISP_E_PARAMNOTOPTIONAL, "too few arguments");
  auto text = com::unique_bstr::of("no object");
  check(Call(plugin.get(), L"Execute", {s, arg(VT_BSTR, text.get())}).hr == DISP_E_TYPEMISMATCH,
        "type mismatch");
  // The host's error given as a bare HRESULT keeps its text.
  script->failure = static_cast<HRESULT>(0x80040123u);
  Call failed(plugin.get(), L"Execute", {s, l});
  check(failed.exception.scode == script->failure && failed.description() == "the host said no",
        "host's error object read: " + failed.description());
  // A result handed back by reference is taken as its value.
  script->failure = S_OK;
  script->by_reference = true;
  Call by_ref(plugin.get(), L"Execute", {s, l});
  check(by_ref.description() == kRefusal, "by-reference result: " + by_ref.description());
  // The validation calls give a new collection each time, an interface of the library.
  Call first(plugin.get(), L"ValidateStructure", {s});
  Call second(plugin.get(), L"ValidateContent", {s});
  com::com_ptr<_Collection> collection;
  if (first.result->vt == VT_DISPATCH) {
    collection = com::com_ptr<IDispatch>::copy(first.result->pdispVal).query<_Collection>();
  }
  check(collection && second.result->vt == VT_DISPATCH &&
            first.result->pdispVal != second.result->pdispVal,
        "validation gives a new _Collection each time");
  // Its enumerator says where it ends: at once, for this empty one.
  com::com_ptr<IUnknown> items;
  com::unique_variant item;
  ULONG fetched = 9;
  if (collection) collection->_NewEnum(items.put());
  auto enumerator = items.query<IEnumVARIANT>();
  check(enumerator && enumerator->Next(1, item.put(), &fetched) == S_FALSE && fetched == 0,
        "the enumerator ends");
}

// Threads of the platform's own making that come and go, one at a time, each an apartment of
// its own creating and calling the plug-in: five single-threaded, then a multi-threaded one.
void threads() {
  struct Work {
    DWORD model;
    std::string failure;
  };
  auto step = [](void* data) -> DWORD {
    auto* work = static_cast<Work*>(data);
    CoInitializeEx(nullptr, work->model);
    {
      com::com_ptr<IDispatch> plugin = create_plugin();
      auto script = com::make<ScriptObject>();
      VARIANT s = arg(VT_DISPATCH, script.get());
      if (!plugin) {
        work->failure = "not created";
      } else if (Call(plugin.get(), L"ValidateStructure", {s}).hr != S_OK ||
                 Call(plugin.get(), L"Execute", {s, s}).exception.scode != kRefused) {
        work->failure = "calls failed";
      }
    }
    CoUninitialize();
    return 0;
  };
  for (DWORD model : {COINIT_APARTMENTTHREADED, COINIT_APARTMENTTHREADED, COINIT_APARTMENTTHREADED,
                      COINIT_APARTMENTTHREADED, COINIT_APARTMENTTHREADED, COINIT_MULTITHREADED}) {
    Work work{model, {}};
    HANDLE thread = CreateThread(nullptr, 0, step, &work, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    check(work.failure.empty(), "thread of model " + std::to_string(model) + ": " + work.failure);
  }
}

}  // namespace

int main() {
  // First, before the main thread has touched the plug-in: each thread's state is its own.
  threads();
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  variant_round_trips();
  adapter_calls();
  type_library();
  plugin_calls();
  CoUninitialize();
  std::printf("%s\n", failures == 0 ? "com tests passed" : "com tests FAILED");
  return failures;
}
