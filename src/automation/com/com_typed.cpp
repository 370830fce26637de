// The component's type library, the platform's dispatch over it, and the thread's error object.
#include <string>

#include "automation/com/com.h"
#include "automation/com/unknown.h"

namespace tarvex::automation::com {

namespace {

ITypeLib* component_library() {
  // Loaded once and never released: at unload the platform's libraries may be gone already.
  static ITypeLib* const library = []() -> ITypeLib* {
    ITypeLib* loaded = nullptr;
    const std::wstring path = module_path(code_module());
    if (path.empty() || FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &loaded))) return nullptr;
    return loaded;
  }();
  return library;
}

// A dual interface is described twice: as a dispatch interface (what hosts are shown) and as a
// table of operations (what the platform's dispatch calls through).
com_ptr<ITypeInfo> operations_info(REFIID dual) {
  com_ptr<ITypeInfo> info = component_type_info(dual);
  if (!info) return info;
  TYPEATTR* attributes = nullptr;
  if (FAILED(info->GetTypeAttr(&attributes))) return {};
  const bool dispatch = attributes->typekind == TKIND_DISPATCH;
  info->ReleaseTypeAttr(attributes);
  if (!dispatch) return info;
  HREFTYPE operations = 0;
  com_ptr<ITypeInfo> out;
  if (SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &operations))) {
    info->GetRefTypeInfo(operations, out.put());
  }
  return out;
}

void set_thread_error(const wchar_t* source, const wchar_t* description) {
  com_ptr<ICreateErrorInfo> create;
  if (FAILED(CreateErrorInfo(create.put()))) return;
  create->SetSource(const_cast<wchar_t*>(source));
  create->SetDescription(const_cast<wchar_t*>(description));
  if (auto info = create.query<IErrorInfo>()) SetErrorInfo(0, info.get());
}

}  // namespace

HMODULE code_module() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&code_module), &module);
  return module;
}

std::wstring module_path(HMODULE module) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

com_ptr<ITypeInfo> component_type_info(REFIID iid) {
  com_ptr<ITypeInfo> info;
  if (ITypeLib* library = component_library()) library->GetTypeInfoOfGuid(iid, info.put());
  return info;
}

HRESULT set_error_info(const Error& error) noexcept {
  try {
    set_thread_error(wide(error.source()).c_str(), wide(error.description()).c_str());
  } catch (...) {
    // No memory for the texts: the number still travels.
  }
  return scode_of(error.number());
}

namespace detail {

HRESULT typed_type_info(REFIID dual, UINT index, ITypeInfo** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  com_ptr<ITypeInfo> info = component_type_info(dual);
  if (!info) return TYPE_E_ELEMENTNOTFOUND;
  *out = info.detach();
  return S_OK;
}

HRESULT typed_ids_of_names(REFIID dual, REFIID riid, LPOLESTR* names, UINT count, DISPID* ids) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  com_ptr<ITypeInfo> info = component_type_info(dual);
  if (!info) return TYPE_E_ELEMENTNOTFOUND;
  return info->GetIDsOfNames(names, count, ids);
}

HRESULT typed_invoke(REFIID dual, void* instance, DISPID id, REFIID riid, WORD flags,
                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                     UINT* bad_argument) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  com_ptr<ITypeInfo> info = operations_info(dual);
  if (!info) return TYPE_E_ELEMENTNOTFOUND;
  EXCEPINFO raised{};
  SetErrorInfo(0, nullptr);
  const HRESULT hr = info->Invoke(instance, id, flags, params, result, &raised, bad_argument);
  if (hr != DISP_E_EXCEPTION) return hr;
  if (raised.pfnDeferredFillIn) raised.pfnDeferredFillIn(&raised);
  // The member left its error as the thread's error object; the platform may have taken it
  // from there into EXCEPINFO. Either way both describe the error afterwards.
  com_ptr<IErrorInfo> left;
  if (GetErrorInfo(0, left.put()) == S_OK && left) {
    if (!raised.bstrSource) left->GetSource(&raised.bstrSource);
    if (!raised.bstrDescription) left->GetDescription(&raised.bstrDescription);
  }
  set_thread_error(raised.bstrSource, raised.bstrDescription);
  if (exception) {
    *exception = raised;
  } else {
    SysFreeString(raised.bstrSource);
    SysFreeString(raised.bstrDescription);
    SysFreeString(raised.bstrHelpFile);
  }
  return hr;
}

}  // namespace detail

}  // namespace tarvex::automation::com
