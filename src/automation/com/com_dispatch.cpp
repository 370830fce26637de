// Objects across IDispatch both ways, errors through EXCEPINFO and the thread's error object,
// and creation by ProgID.
#include <dispex.h>

#include <cstdio>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "automation/collection.h"
#include "automation/com/com.h"
#include "automation/com/unknown.h"
#include "automation/text.h"

namespace tarvex::automation::com {

namespace {

// Asked of an IDispatch to learn whether it is one of our objects. Only objects of this module
// are unwrapped (see live_objects): another module's are laid out by another runtime.
constexpr GUID kWrappedIid = {
    0x6b1f0c3e, 0x52a4, 0x4d0e, {0x9a, 0x61, 0x3c, 0x5e, 0x21, 0x7b, 0x88, 0x0d}};

struct LiveObjects {
  std::mutex mutex;
  std::unordered_set<const Wrapped*> set;
};
LiveObjects& live_objects() {
  static LiveObjects live;
  return live;
}

// Member names to DISPIDs for objects without type information: they answer any name and
// refuse an unknown one when it is called, so one table for the process serves them all.
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

// Clears VARIANTs however the call ends.
class VariantList {
 public:
  explicit VariantList(std::size_t count) : items_(count) {
    for (VARIANT& v : items_) VariantInit(&v);
  }
  ~VariantList() {
    for (VARIANT& v : items_) VariantClear(&v);
  }
  VariantList(const VariantList&) = delete;
  VariantList& operator=(const VariantList&) = delete;
  VARIANT& operator[](std::size_t i) { return items_[i]; }
  VARIANT* data() { return items_.data(); }

 private:
  std::vector<VARIANT> items_;
};

// An object of ours without type information behind IDispatch.
class Adapter final : public Unknown<IDispatch, ISupportErrorInfo>, public Wrapped {
 public:
  explicit Adapter(ObjectRef object) : Wrapped(std::move(object)) {}

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
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
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
    return iid == IID_IDispatch ? S_OK : S_FALSE;
  }

 private:
  void* other_interface(REFIID iid) override { return wrapped_interface(iid); }
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
    Variant answer = object()->invoke(member, kind, args);
    // Only what the member wrote goes back: a parameter it only read is a by-value one.
    for (UINT i = 0; i < count && i < 64; ++i) {
      if (args.written(i)) write_back(values[i], params->rgvarg[count - 1 - i]);
    }
    if (result) to_com(answer, *result);
    return S_OK;
  } catch (...) {
    if (result) VariantClear(result);
    const Error error = error_from_current_exception();
    if (exception) fill_excepinfo(error, *exception);
    set_error_info(error);
    return DISP_E_EXCEPTION;
  }
}

// An object of another component, called by name through IDispatchEx where it offers that
// (script engines' objects answer names only there) and IDispatch otherwise.
class Dispatched final : public Object {
 public:
  explicit Dispatched(IDispatch* dispatch)
      : dispatch_(com_ptr<IDispatch>::copy(dispatch)), extended_(dispatch_.query<IDispatchEx>()) {}

  IDispatch* dispatch() const { return dispatch_.get(); }
  Variant invoke(std::string_view member, CallKind kind, Args& args) override;

 private:
  DISPID id_of(std::string_view member);

  com_ptr<IDispatch> dispatch_;
  com_ptr<IDispatchEx> extended_;
  std::unordered_map<std::string, DISPID> ids_;  // key: lower-case name
};

DISPID Dispatched::id_of(std::string_view member) {
  std::string key = ascii_lower(member);
  if (auto it = ids_.find(key); it != ids_.end()) return it->second;
  unique_bstr name = unique_bstr::of(member);
  DISPID id = DISPID_UNKNOWN;
  BSTR names[] = {name.get()};
  const HRESULT hr = extended_
                         ? extended_->GetDispID(name.get(), fdexNameCaseInsensitive, &id)
                         : dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) raise(RuntimeError::MemberNotSupported);
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
  unique_variant result;
  EXCEPINFO exception{};
  // An error object left by an earlier call must not describe this one.
  SetErrorInfo(0, nullptr);
  const HRESULT hr = extended_ ? extended_->InvokeEx(id, LOCALE_USER_DEFAULT, flags, &params,
                                                     result.get(), &exception, nullptr)
                               : dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags,
                                                   &params, result.get(), &exception, nullptr);
  if (FAILED(hr)) throw error_from_invoke(hr, exception, "calling '" + std::string(member) + "'");
  for (std::size_t i = 0; i < count; ++i) {
    if (args.by_reference(i)) args.ref(i) = from_com(pointed[i]);
  }
  return from_com(*result);
}

std::string hex(HRESULT value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
  return text;
}

// The runtime failure that a dispatch result stands for; 0 for any other result.
std::int32_t runtime_number(HRESULT result) {
  switch (result) {
    case DISP_E_MEMBERNOTFOUND:
    case DISP_E_UNKNOWNNAME:
      return static_cast<std::int32_t>(RuntimeError::MemberNotSupported);
    case DISP_E_BADPARAMCOUNT:
    case DISP_E_PARAMNOTOPTIONAL:
      return static_cast<std::int32_t>(RuntimeError::WrongArgumentCount);
    case DISP_E_TYPEMISMATCH:
      return static_cast<std::int32_t>(RuntimeError::TypeMismatch);
    case DISP_E_OVERFLOW:
      return static_cast<std::int32_t>(RuntimeError::Overflow);
    case E_OUTOFMEMORY:
      return static_cast<std::int32_t>(RuntimeError::OutOfMemory);
    default:
      return 0;
  }
}

}  // namespace

Wrapped::Wrapped(ObjectRef object) : object_(std::move(object)) {
  std::lock_guard lock(live_objects().mutex);
  live_objects().set.insert(this);
}

Wrapped::~Wrapped() {
  std::lock_guard lock(live_objects().mutex);
  live_objects().set.erase(this);
}

void* Wrapped::wrapped_interface(REFIID iid) {
  return iid == kWrappedIid ? this : nullptr;
}

com_ptr<IDispatch> to_dispatch(const ObjectRef& object) {
  if (!object) return {};
  if (auto* dispatched = dynamic_cast<Dispatched*>(object.get())) {
    return com_ptr<IDispatch>::copy(dispatched->dispatch());
  }
  if (auto collection = std::dynamic_pointer_cast<Collection>(object)) {
    return collection_object(collection);
  }
  return make<Adapter>(object);
}

ObjectRef from_dispatch(IDispatch* dispatch) {
  if (!dispatch) return ObjectRef();
  void* found = nullptr;
  if (SUCCEEDED(dispatch->QueryInterface(kWrappedIid, &found)) && found) {
    ObjectRef own;
    {
      std::lock_guard lock(live_objects().mutex);
      auto* candidate = static_cast<const Wrapped*>(found);
      if (live_objects().set.count(candidate)) own = candidate->object();
    }
    dispatch->Release();  // the reference that QueryInterface added
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
  info.bstrSource = unique_bstr::of(error.source()).detach();
  info.bstrDescription = unique_bstr::of(error.description()).detach();
  info.scode = scode_of(error.number());
}

Error error_from_invoke(HRESULT result, EXCEPINFO& info, std::string_view what) {
  unique_bstr source(std::exchange(info.bstrSource, nullptr));
  unique_bstr description(std::exchange(info.bstrDescription, nullptr));
  unique_bstr help(std::exchange(info.bstrHelpFile, nullptr));
  std::int32_t number = 0;
  if (result == DISP_E_EXCEPTION) {
    if (info.pfnDeferredFillIn) {
      info.pfnDeferredFillIn(&info);
      *source.put() = std::exchange(info.bstrSource, nullptr);
      *description.put() = std::exchange(info.bstrDescription, nullptr);
      *help.put() = std::exchange(info.bstrHelpFile, nullptr);
    }
    number = info.scode != 0 ? number_of(info.scode) : info.wCode;
  } else {
    number = runtime_number(result);
    if (number == 0) number = number_of(result);
  }
  info = EXCEPINFO{};
  // A failure reported by its HRESULT alone may have left its texts in the thread's error
  // object: read them before it is cleared.
  com_ptr<IErrorInfo> thread_error;
  if (GetErrorInfo(0, thread_error.put()) == S_OK && thread_error) {
    if (!source.get() || SysStringLen(source.get()) == 0) thread_error->GetSource(source.put());
    if (!description.get() || SysStringLen(description.get()) == 0) {
      thread_error->GetDescription(description.put());
    }
  }
  std::string source_text = utf8(source.get());
  std::string description_text = utf8(description.get());
  if (source_text.empty()) source_text = std::string(runtime_source());
  if (description_text.empty()) description_text = std::string(runtime_description(number));
  if (description_text.empty()) {
    description_text = "Automation error " + hex(result) + " " + std::string(what);
  }
  return Error(number, std::move(source_text), std::move(description_text));
}

ObjectRef create_by_progid(std::string_view progid) {
  const std::wstring name = wide(progid);
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(name.c_str(), &clsid))) {
    raise(RuntimeError::CannotCreateObject,
          "no class is registered as '" + std::string(progid) + "'");
  }
  com_ptr<IDispatch> dispatch;
  SetErrorInfo(0, nullptr);
  const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                      IID_IDispatch, dispatch.put_void());
  if (FAILED(hr)) {
    EXCEPINFO none{};
    throw error_from_invoke(hr, none, "creating '" + std::string(progid) + "'");
  }
  if (!dispatch) raise(RuntimeError::CannotCreateObject, std::string(progid));
  return from_dispatch(dispatch.get());
}

}  // namespace tarvex::automation::com
