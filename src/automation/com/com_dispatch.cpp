// Objects across IDispatch both ways, errors through EXCEPINFO, and creation by ProgID.
#include <atomic>
#include <cstdio>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "automation/com/com.h"
#include "automation/text.h"

namespace tarvex::automation::com {

namespace {

// Asked of an IDispatch to learn whether it is one of our adapters. Only adapters of this module
// are unwrapped (see live_adapters): another module's objects are laid out by another runtime.
constexpr GUID kAdapterIid = {
    0x6b1f0c3e, 0x52a4, 0x4d0e, {0x9a, 0x61, 0x3c, 0x5e, 0x21, 0x7b, 0x88, 0x0d}};

// Member names to DISPIDs for all adapters: our objects answer any name and refuse an unknown
// one when it is called, so one table for the process serves them all.
class NameTable {
 public:
  DISPID id(std::string_view name) {
    std::string key = ascii_lower(name);
    std::lock_guard lock(mutex_);
    auto [it, added] = ids_.try_emplace(key, static_cast<DISPID>(names_.size() + 1));
    if (added) names_.emplace_back(name);
    return it->second;
  }
  bool name(DISPID id, std::string& out) {
    std::lock_guard lock(mutex_);
    if (id < 1 || static_cast<std::size_t>(id) > names_.size()) return false;
    out = names_[static_cast<std::size_t>(id) - 1];
    return true;
  }

 private:
  std::mutex mutex_;
  std::unordered_map<std::string, DISPID> ids_;
  std::vector<std::string> names_;
};

NameTable& names() {
  static NameTable table;
  return table;
}

class Adapter;

struct LiveAdapters {
  std::mutex mutex;
  std::unordered_set<const Adapter*> set;
};
LiveAdapters& live_adapters() {
  static LiveAdapters live;
  return live;
}

// Clears VARIANTs however the call ends.
class VariantList {
 public:
  explicit VariantList(std::size_t count) : items_(count) {
    for (VARIANT& v : items_) VariantInit(&v);
  }
  ~VariantList() {
    for (VARIANT& v : items_) VariantClear(&v);
  }
  VARIANT& operator[](std::size_t i) { return items_[i]; }
  VARIANT* data() { return items_.data(); }

 private:
  std::vector<VARIANT> items_;
};

class Adapter final : public IDispatch {
 public:
  explicit Adapter(ObjectRef object) : object_(std::move(object)) {
    std::lock_guard lock(live_adapters().mutex);
    live_adapters().set.insert(this);
  }
  const ObjectRef& object() const { return object_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == kAdapterIid) {
      AddRef();
      *out = static_cast<IDispatch*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* member_names, UINT count, LCID,
                                          DISPID* ids) override {
    if (!member_names || !ids || count == 0) return E_INVALIDARG;
    try {
      ids[0] = names().id(utf8(member_names[0], wcslen(member_names[0])));
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    // Our members take no named arguments.
    for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT*) override;

 private:
  ~Adapter() {
    std::lock_guard lock(live_adapters().mutex);
    live_adapters().set.erase(this);
  }

  std::atomic<ULONG> references_{1};
  ObjectRef object_;
};

HRESULT Adapter::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT*) {
  std::string member;
  if (!names().name(id, member)) return DISP_E_MEMBERNOTFOUND;
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  const CallKind kind = put                       ? CallKind::Put
                        : flags & DISPATCH_METHOD ? CallKind::Method
                                                  : CallKind::Get;
  const UINT count = params ? params->cArgs : 0;
  const UINT named = params ? params->cNamedArgs : 0;
  if (named > 1 || (named == 1 && !(put && params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT))) {
    return DISP_E_NONAMEDARGS;
  }
  if (result) VariantInit(result);
  try {
    // rgvarg holds the arguments last first.
    std::vector<Variant> values(count);
    std::vector<Variant*> refs(count);
    std::uint64_t by_reference = 0;
    for (UINT i = 0; i < count; ++i) {
      const VARIANT& given = params->rgvarg[count - 1 - i];
      values[i] = from_com(given);
      refs[i] = &values[i];
      if ((given.vt & VT_BYREF) && i < 64) by_reference |= std::uint64_t{1} << i;
    }
    Args args(refs, by_reference);
    Variant answer = object_->invoke(member, kind, args);
    for (UINT i = 0; i < count && i < 64; ++i) {
      if (by_reference >> i & 1) write_back(values[i], params->rgvarg[count - 1 - i]);
    }
    if (result) to_com(answer, *result);
    return S_OK;
  } catch (...) {
    if (result) VariantClear(result);
    const Error error = error_from_current_exception();
    if (exception) fill_excepinfo(error, *exception);
    return DISP_E_EXCEPTION;
  }
}

// An object of another component, called through its IDispatch.
class Dispatched final : public Object {
 public:
  explicit Dispatched(IDispatch* dispatch) : dispatch_(dispatch) { dispatch_->AddRef(); }
  ~Dispatched() override { dispatch_->Release(); }
  Dispatched(const Dispatched&) = delete;
  Dispatched& operator=(const Dispatched&) = delete;

  IDispatch* dispatch() const { return dispatch_; }
  Variant invoke(std::string_view member, CallKind kind, Args& args) override;

 private:
  DISPID id_of(std::string_view member);

  IDispatch* dispatch_;
  std::unordered_map<std::string, DISPID> ids_;  // key: lower-case name
};

DISPID Dispatched::id_of(std::string_view member) {
  std::string key = ascii_lower(member);
  if (auto it = ids_.find(key); it != ids_.end()) return it->second;
  std::wstring name = wide(member);
  LPOLESTR names[] = {name.data()};
  DISPID id = DISPID_UNKNOWN;
  if (FAILED(dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) {
    raise(RuntimeError::MemberNotSupported);
  }
  ids_.emplace(std::move(key), id);
  return id;
}

Variant Dispatched::invoke(std::string_view member, CallKind kind, Args& args) {
  const DISPID id = id_of(member);
  const std::size_t count = args.size();
  VariantList slots(count);    // last argument first, as Invoke takes them
  VariantList pointed(count);  // what the by-reference slots refer to
  for (std::size_t i = 0; i < count; ++i) {
    VARIANT& slot = slots[count - 1 - i];
    if (args.by_reference(i)) {
      to_com(args[i], pointed[i]);
      slot.vt = VT_BYREF | VT_VARIANT;
      slot.pvarVal = &pointed[i];
    } else {
      to_com(args[i], slot);
    }
  }
  DISPID put_id = DISPID_PROPERTYPUT;
  DISPPARAMS params{slots.data(), nullptr, static_cast<UINT>(count), 0};
  WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
  if (kind == CallKind::Put) {
    flags = DISPATCH_PROPERTYPUT;
    params.rgdispidNamedArgs = &put_id;
    params.cNamedArgs = 1;
  }
  VariantList result(1);
  EXCEPINFO exception{};
  // An error object left by an earlier call must not describe this one.
  SetErrorInfo(0, nullptr);
  const HRESULT hr = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                       &result[0], &exception, nullptr);
  if (FAILED(hr)) {
    SetErrorInfo(0, nullptr);
    throw error_from_invoke(hr, exception, member);
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (args.by_reference(i)) args.ref(i) = from_com(pointed[i]);
  }
  return from_com(result[0]);
}

std::string hex(HRESULT value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
  return text;
}

}  // namespace

IDispatch* to_dispatch(const ObjectRef& object) {
  if (!object) return nullptr;
  if (auto* dispatched = dynamic_cast<Dispatched*>(object.get())) {
    dispatched->dispatch()->AddRef();
    return dispatched->dispatch();
  }
  return new Adapter(object);
}

ObjectRef from_dispatch(IDispatch* dispatch) {
  if (!dispatch) return ObjectRef();
  void* found = nullptr;
  if (SUCCEEDED(dispatch->QueryInterface(kAdapterIid, &found)) && found) {
    auto* candidate = static_cast<Adapter*>(static_cast<IDispatch*>(found));
    ObjectRef own;
    {
      std::lock_guard lock(live_adapters().mutex);
      if (live_adapters().set.count(candidate)) own = candidate->object();
    }
    static_cast<IUnknown*>(found)->Release();
    if (own) return own;
  }
  return std::make_shared<Dispatched>(dispatch);
}

HRESULT scode_of(std::int32_t number) {
  if (number > 0 && number <= 0xFFFF) return static_cast<HRESULT>(0x800A0000u | number);
  if (number == 0) return E_FAIL;
  return static_cast<HRESULT>(number);
}

std::int32_t number_of(HRESULT scode) {
  const auto bits = static_cast<std::uint32_t>(scode);
  if ((bits & 0xFFFF0000u) == 0x800A0000u) return static_cast<std::int32_t>(bits & 0xFFFFu);
  return static_cast<std::int32_t>(bits);
}

void fill_excepinfo(const Error& error, EXCEPINFO& info) {
  info = EXCEPINFO{};
  const std::wstring source = wide(error.source());
  const std::wstring description = wide(error.description());
  info.bstrSource = SysAllocStringLen(source.data(), static_cast<UINT>(source.size()));
  info.bstrDescription =
      SysAllocStringLen(description.data(), static_cast<UINT>(description.size()));
  info.scode = scode_of(error.number());
}

Error error_from_invoke(HRESULT result, EXCEPINFO& info, std::string_view member) {
  if (result == DISP_E_EXCEPTION) {
    if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
    const std::int32_t number = info.scode != 0 ? number_of(info.scode) : info.wCode;
    std::string source = utf8(info.bstrSource);
    std::string description = utf8(info.bstrDescription);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    info = EXCEPINFO{};
    if (description.empty()) description = std::string(runtime_description(number));
    return Error(number, std::move(source), std::move(description));
  }
  auto runtime = [](RuntimeError code) {
    const auto number = static_cast<std::int32_t>(code);
    return Error(number, std::string(runtime_source()), std::string(runtime_description(number)));
  };
  switch (result) {
    case DISP_E_MEMBERNOTFOUND:
    case DISP_E_UNKNOWNNAME:
      return runtime(RuntimeError::MemberNotSupported);
    case DISP_E_BADPARAMCOUNT:
    case DISP_E_PARAMNOTOPTIONAL:
      return runtime(RuntimeError::WrongArgumentCount);
    case DISP_E_TYPEMISMATCH:
      return runtime(RuntimeError::TypeMismatch);
    case DISP_E_OVERFLOW:
      return runtime(RuntimeError::Overflow);
    case E_OUTOFMEMORY:
      return runtime(RuntimeError::OutOfMemory);
    default:
      return Error(static_cast<std::int32_t>(result), std::string(runtime_source()),
                   "Automation error " + hex(result) + " calling '" + std::string(member) + "'");
  }
}

HRESULT set_error_info(const Error& error) {
  ICreateErrorInfo* create = nullptr;
  if (SUCCEEDED(CreateErrorInfo(&create))) {
    std::wstring source = wide(error.source());
    std::wstring description = wide(error.description());
    create->SetSource(source.data());
    create->SetDescription(description.data());
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
      SetErrorInfo(0, info);
      info->Release();
    }
    create->Release();
  }
  return scode_of(error.number());
}

Error take_error_info(HRESULT result, std::string_view what) {
  IErrorInfo* info = nullptr;
  std::string source(runtime_source());
  std::string description = std::string(what) + " (" + hex(result) + ")";
  if (GetErrorInfo(0, &info) == S_OK && info) {
    BSTR text = nullptr;
    if (SUCCEEDED(info->GetDescription(&text)) && text && SysStringLen(text) > 0) {
      description = utf8(text);
    }
    SysFreeString(text);
    text = nullptr;
    if (SUCCEEDED(info->GetSource(&text)) && text && SysStringLen(text) > 0) source = utf8(text);
    SysFreeString(text);
    info->Release();
  }
  return Error(number_of(result), std::move(source), std::move(description));
}

ObjectRef create_by_progid(std::string_view progid) {
  const std::wstring name = wide(progid);
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(name.c_str(), &clsid))) {
    raise(RuntimeError::CannotCreateObject,
          "no class is registered as '" + std::string(progid) + "'");
  }
  IDispatch* dispatch = nullptr;
  SetErrorInfo(0, nullptr);
  const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                      IID_IDispatch, reinterpret_cast<void**>(&dispatch));
  if (FAILED(hr)) throw take_error_info(hr, "'" + std::string(progid) + "' could not be created");
  if (!dispatch) raise(RuntimeError::CannotCreateObject, std::string(progid));
  ObjectRef object = from_dispatch(dispatch);
  dispatch->Release();
  return object;
}

}  // namespace tarvex::automation::com
