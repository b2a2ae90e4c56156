// WMI through COM, on the calling thread's own multithreaded apartment, and
// the inventory's questions as WQL.
#include "inspect/wmi_query_win.h"

#include <windows.h>
// After windows.h:
#include <oleauto.h>
#include <wbemidl.h>

#include <string>
#include <utility>

#include "support/com_holders_win.h"
#include "support/com_initializer.h"

namespace QuickKit {
namespace {

bool Stopped(const std::atomic<bool>* stop) { return stop != nullptr && stop->load(); }

// Text, bool and 32-bit values become text; anything else is left out, and
// so is a name or text that is not valid UTF-16 (it reads as absent).
bool ConvertRow(IWbemClassObject* object, WmiRow* row) {
  SafeArrayHolder names;
  if (FAILED(object->GetNames(nullptr, WBEM_FLAG_ALWAYS, nullptr, names.Out())) ||
      names.Get() == nullptr) {
    return false;
  }
  LONG lower = 0;
  LONG upper = -1;
  if (FAILED(SafeArrayGetLBound(names.Get(), 1, &lower)) ||
      FAILED(SafeArrayGetUBound(names.Get(), 1, &upper))) {
    return false;
  }
  for (LONG i = lower; i <= upper; ++i) {
    Bstr name;
    if (FAILED(SafeArrayGetElement(names.Get(), &i, name.Out()))) return false;
    VariantHolder value;
    if (FAILED(object->Get(name.Get(), 0, value.Out(), nullptr, nullptr))) return false;
    std::string key;
    if (!name.ToUtf8(&key)) continue;
    const VARIANT& v = value.Get();
    std::string text;
    if (v.vt == VT_BSTR && v.bstrVal != nullptr) {
      if (BstrToUtf8(v.bstrVal, &text)) row->Set(std::move(key), std::move(text));
    } else if (v.vt == VT_BOOL) {
      row->Set(std::move(key), v.boolVal == VARIANT_TRUE ? "true" : "false");
    } else if (v.vt == VT_I4) {
      row->Set(std::move(key), std::to_string(static_cast<long>(v.lVal)));
    }
  }
  return true;
}

}  // namespace

bool WmiQuery(std::string_view nameSpace, std::string_view query, std::vector<WmiRow>* rows,
              const WmiQueryOptions& options) {
  const auto deadline = std::chrono::steady_clock::now() + options.timeout;
  const ComInitializer com(ComInitializer::Model::Multithreaded);
  // Fails harmlessly after the first call in a process.
  CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                       RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  const Bstr ns = Bstr::FromUtf8(nameSpace);
  const Bstr language = Bstr::FromUtf8("WQL");
  const Bstr text = Bstr::FromUtf8(query);
  if (ns.Get() == nullptr || language.Get() == nullptr || text.Get() == nullptr) return false;
  ComPtr<IWbemLocator> locator;
  if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                              locator.OutVoid()))) {
    return false;
  }
  ComPtr<IWbemServices> services;
  if (FAILED(locator->ConnectServer(ns.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                    services.Out()))) {
    return false;
  }
  if (FAILED(CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                               RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                               EOAC_NONE))) {
    return false;
  }
  // Forward-only and returning at once: ExecQuery does not wait for the
  // provider, and the rows are waited for below in short slices.
  ComPtr<IEnumWbemClassObject> results;
  if (FAILED(services->ExecQuery(language.Get(), text.Get(),
                                 WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                 results.Out()))) {
    return false;
  }
  std::size_t read = 0;
  while (options.limit == 0 || read < options.limit) {
    if (Stopped(options.stop) || std::chrono::steady_clock::now() >= deadline) return false;
    ComPtr<IWbemClassObject> object;
    ULONG returned = 0;
    const HRESULT hr =
        results->Next(static_cast<LONG>(kWmiRowWait.count()), 1, object.Out(), &returned);
    if (hr == WBEM_S_TIMEDOUT) continue;  // nothing yet: look at the stop, wait again
    if (FAILED(hr)) return false;
    if (returned == 0 || object.Get() == nullptr) break;  // the end
    WmiRow row;
    if (!ConvertRow(object.Get(), &row)) return false;
    rows->push_back(std::move(row));
    ++read;
  }
  return true;
}

std::string EscapeWqlLikeLiteral(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\'':
        out += "\\'";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '%':
        out += "[%]";
        break;
      case '_':
        out += "[_]";
        break;
      case '[':
        out += "[[]";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

std::string InstalledProductQuery(const ProductNameMatch& match) {
  std::string query = "select Vendor, Version from WIN32_Product where Name like '";
  if (match.kind == ProductNameMatch::Kind::Contains) query += '%';
  query += EscapeWqlLikeLiteral(match.text);
  query += "%'";
  return query;
}

bool ReadSecurityCenter(SecurityCenterList list, std::vector<WmiRow>* rows,
                        const std::atomic<bool>* stop) {
  WmiQueryOptions options;
  options.stop = stop;
  switch (list) {
    case SecurityCenterList::AntiVirus:
      return WmiQuery("Root\\SecurityCenter2",
                      "select displayName, productState from AntiVirusProduct", rows, options);
    case SecurityCenterList::AntiSpyware:
      return WmiQuery("Root\\SecurityCenter2",
                      "select displayName, productState from AntiSpywareProduct", rows, options);
    case SecurityCenterList::OlderAntiVirus:
      return WmiQuery("Root\\SecurityCenter",
                      "select displayName, companyName, versionNumber, productUptoDate, "
                      "onAccessScanningEnabled from AntiVirusProduct",
                      rows, options);
  }
  return false;
}

bool FindInstalledProduct(const ProductNameMatch& match, InstalledProduct* product,
                          const std::atomic<bool>* stop) {
  WmiQueryOptions options;
  options.limit = 1;
  options.stop = stop;
  std::vector<WmiRow> rows;
  if (!WmiQuery("root\\cimv2", InstalledProductQuery(match), &rows, options) || rows.empty()) {
    return false;
  }
  product->vendor = rows.front().Get("Vendor");
  product->version = rows.front().Get("Version");
  return true;
}

}  // namespace QuickKit
