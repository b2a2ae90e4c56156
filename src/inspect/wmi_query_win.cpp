// WMI through COM, on the calling thread's own multithreaded apartment.
#include <windows.h>
// After windows.h:
#include <oleauto.h>
#include <wbemidl.h>

#include <string>

#include "inspect/wmi_query.h"
#include "support/com_initializer.h"
#include "support/text.h"

namespace QuickKit {
namespace {

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (m_p != nullptr) m_p->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T** Out() { return &m_p; }
  T* operator->() const { return m_p; }
  T* Get() const { return m_p; }

 private:
  T* m_p = nullptr;
};

class Bstr {
 public:
  explicit Bstr(std::string_view text) : m_b(SysAllocString(Utf8ToWide(text).c_str())) {}
  ~Bstr() { SysFreeString(m_b); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR Get() const { return m_b; }

 private:
  BSTR m_b;
};

// Text, bool and 32-bit values become text; anything else is left out.
bool ConvertRow(IWbemClassObject* object, WmiRow* row) {
  SAFEARRAY* names = nullptr;
  if (FAILED(object->GetNames(nullptr, 0, nullptr, &names)) || names == nullptr) return false;
  LONG lower = 0;
  LONG upper = -1;
  SafeArrayGetLBound(names, 1, &lower);
  SafeArrayGetUBound(names, 1, &upper);
  bool ok = true;
  for (LONG i = lower; ok && i <= upper; ++i) {
    BSTR name = nullptr;
    if (FAILED(SafeArrayGetElement(names, &i, &name))) {
      ok = false;
      break;
    }
    VARIANT value;
    VariantInit(&value);
    if (SUCCEEDED(object->Get(name, 0, &value, nullptr, nullptr))) {
      const std::string key = WideToUtf8(name);
      if (value.vt == VT_BSTR && value.bstrVal != nullptr) {
        row->Set(key, WideToUtf8(value.bstrVal));
      } else if (value.vt == VT_BOOL) {
        row->Set(key, value.boolVal == VARIANT_TRUE ? "true" : "false");
      } else if (value.vt == VT_I4) {
        row->Set(key, std::to_string(static_cast<long>(value.lVal)));
      }
    } else {
      ok = false;
    }
    VariantClear(&value);
    SysFreeString(name);
  }
  SafeArrayDestroy(names);
  return ok;
}

// Runs the query; reads at most `limit` objects (0: all). The number read
// goes to *count.
bool RunQuery(std::string_view nameSpace, std::string_view query, std::vector<WmiRow>* rows,
              std::size_t limit) {
  const ComInitializer com(ComInitializer::Model::Multithreaded);
  // Fails harmlessly after the first call in a process.
  CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                       RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  ComPtr<IWbemLocator> locator;
  if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                              reinterpret_cast<void**>(locator.Out())))) {
    return false;
  }
  ComPtr<IWbemServices> services;
  const Bstr ns(nameSpace);
  if (FAILED(locator->ConnectServer(ns.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                    services.Out()))) {
    return false;
  }
  if (FAILED(CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                               RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                               EOAC_NONE))) {
    return false;
  }
  ComPtr<IEnumWbemClassObject> results;
  const Bstr language("WQL");
  const Bstr text(query);
  if (FAILED(services->ExecQuery(language.Get(), text.Get(),
                                 WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                 results.Out()))) {
    return false;
  }
  std::size_t read = 0;
  while (limit == 0 || read < limit) {
    ComPtr<IWbemClassObject> object;
    ULONG returned = 0;
    const HRESULT hr = results->Next(static_cast<LONG>(WBEM_INFINITE), 1, object.Out(), &returned);
    if (FAILED(hr)) return false;
    if (returned == 0 || object.Get() == nullptr) break;
    WmiRow row;
    if (!ConvertRow(object.Get(), &row)) return false;
    rows->push_back(std::move(row));
    ++read;
  }
  return true;
}

}  // namespace

bool WmiQuery(std::string_view nameSpace, std::string_view query, std::vector<WmiRow>* rows,
              bool clearFirst) {
  if (clearFirst) rows->clear();
  return RunQuery(nameSpace, query, rows, 0);
}

bool WmiQueryFirst(std::string_view nameSpace, std::string_view query, WmiRow* row) {
  std::vector<WmiRow> rows;
  if (!RunQuery(nameSpace, query, &rows, 1) || rows.empty()) return false;
  *row = std::move(rows.front());
  return true;
}

}  // namespace QuickKit
