#include "bridge/js_dispatch_win.h"

#include <mutex>
#include <string>
#include <vector>

#include "support/com_holders_win.h"

namespace bright_setup {

// {48C9E96F-76B0-11D1-B293-0040053089AE}
const GUID LIBID_JsHandlerhLib = {
    0x48C9E96F, 0x76B0, 0x11D1, {0xB2, 0x93, 0x00, 0x40, 0x05, 0x30, 0x89, 0xAE}};
// {AFAA6DB4-EC77-4FBC-90E0-846EBA3C7D30}
const IID IID_IJsDispatch = {
    0xAFAA6DB4, 0xEC77, 0x4FBC, {0x90, 0xE0, 0x84, 0x6E, 0xBA, 0x3C, 0x7D, 0x30}};
// {A144CF61-B137-11D1-AB87-004005352C49}
const CLSID CLSID_JsHandler = {
    0xA144CF61, 0xB137, 0x11D1, {0xAB, 0x87, 0x00, 0x40, 0x05, 0x35, 0x2C, 0x49}};

namespace {

struct LoadedTypeInfo {
  HRESULT result = E_FAIL;
  // Kept for the life of the process and never released: static
  // destruction may run after COM has gone.
  ITypeInfo* typeInfo = nullptr;
};

LoadedTypeInfo LoadFromOwnFile() {
  LoadedTypeInfo loaded;
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      loaded.result = HRESULT_FROM_WIN32(::GetLastError());
      return loaded;
    }
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  QuickKit::ComPtr<ITypeLib> library;
  loaded.result = ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.Out());
  if (FAILED(loaded.result)) return loaded;
  loaded.result = library->GetTypeInfoOfGuid(IID_IJsDispatch, &loaded.typeInfo);
  return loaded;
}

// One argument of the call as the table's type: a BSTR or a 32-bit
// integer, converted by the automation rules (a by-reference variant is
// followed).
HRESULT ArgumentOf(VARIANT& argument, JsType type, JsValue* value) {
  QuickKit::VariantHolder converted;
  const VARTYPE wanted = type == JsType::kInt ? VT_I4 : VT_BSTR;
  const HRESULT changed = ::VariantChangeType(converted.Out(), &argument, 0, wanted);
  if (FAILED(changed)) return DISP_E_TYPEMISMATCH;
  if (type == JsType::kInt) {
    *value = static_cast<std::int32_t>(V_I4(&converted.Get()));
    return S_OK;
  }
  std::string text;
  if (!QuickKit::BstrToUtf8(V_BSTR(&converted.Get()), &text)) return DISP_E_TYPEMISMATCH;
  *value = std::move(text);
  return S_OK;
}

HRESULT StoreResult(const JsValue& value, VARIANT* result) {
  if (result == nullptr) return S_OK;
  ::VariantInit(result);
  if (const auto* number = std::get_if<std::int32_t>(&value)) {
    V_VT(result) = VT_I4;
    V_I4(result) = *number;
  } else if (const auto* text = std::get_if<std::string>(&value)) {
    QuickKit::Bstr bstr = QuickKit::Bstr::FromUtf8(*text);
    if (bstr.Get() == nullptr) return E_FAIL;
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = bstr.Detach();
  }
  return S_OK;
}

}  // namespace

HRESULT LoadJsDispatchTypeInfo(ITypeInfo** typeInfo) {
  if (typeInfo == nullptr) return E_POINTER;
  *typeInfo = nullptr;
  static std::once_flag once;
  static LoadedTypeInfo loaded;
  std::call_once(once, [] { loaded = LoadFromOwnFile(); });
  if (FAILED(loaded.result)) return loaded.result;
  loaded.typeInfo->AddRef();
  *typeInfo = loaded.typeInfo;
  return S_OK;
}

JsHandlerDispatch* JsHandlerDispatch::Create(IJsMethods* target) {
  return new JsHandlerDispatch(target);
}

// Only IUnknown and IDispatch are handed out: the object answers through
// Invoke alone, so it never claims the dual interface's vtable.
HRESULT JsHandlerDispatch::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG JsHandlerDispatch::AddRef() {
  return static_cast<ULONG>(::InterlockedIncrement(&m_references));
}

ULONG JsHandlerDispatch::Release() {
  const LONG left = ::InterlockedDecrement(&m_references);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT JsHandlerDispatch::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT JsHandlerDispatch::GetTypeInfo(UINT index, LCID, ITypeInfo** typeInfo) {
  if (index != 0) return DISP_E_BADINDEX;
  if (typeInfo == nullptr) return E_POINTER;
  return LoadJsDispatchTypeInfo(typeInfo);
}

HRESULT JsHandlerDispatch::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                                         DISPID* ids) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  QuickKit::ComPtr<ITypeInfo> typeInfo;
  const HRESULT loaded = LoadJsDispatchTypeInfo(typeInfo.Out());
  if (FAILED(loaded)) return loaded;
  return typeInfo->GetIDsOfNames(names, count, ids);
}

HRESULT JsHandlerDispatch::Invoke(DISPID member, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                  VARIANT* result, EXCEPINFO*, UINT* argumentError) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  // The interface's own members (negative DISPIDs) hold nothing here.
  if (member < 0) return DISP_E_MEMBERNOTFOUND;
  if (flags == DISPATCH_PROPERTYGET) {
    if (result == nullptr) return E_POINTER;
    ::VariantInit(result);
    AddRef();
    V_VT(result) = VT_DISPATCH;
    V_DISPATCH(result) = this;
    return S_OK;
  }
  if ((flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
  const JsMethod* method = FindJsMethodByDispid(member);
  if (method == nullptr) return DISP_E_MEMBERNOTFOUND;
  if (m_target == nullptr) return E_UNEXPECTED;
  if (params == nullptr) return E_INVALIDARG;
  if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  if (params->cArgs != method->paramCount) return DISP_E_BADPARAMCOUNT;

  // The arguments arrive last first.
  std::vector<JsValue> args(method->paramCount);
  for (std::size_t i = 0; i < method->paramCount; ++i) {
    const UINT position = static_cast<UINT>(method->paramCount - 1 - i);
    const HRESULT converted =
        ArgumentOf(params->rgvarg[position], method->params[i].type, &args[i]);
    if (FAILED(converted)) {
      if (argumentError != nullptr) *argumentError = position;
      return converted;
    }
  }
  const JsOutcome outcome = InvokeJsMethod(*m_target, *method, args);
  if (!outcome.ok) return E_FAIL;
  if (method->result.type == JsType::kNone) {
    if (result != nullptr) ::VariantInit(result);
    return S_OK;
  }
  return StoreResult(outcome.result, result);
}

}  // namespace bright_setup
