// Owners of the COM values the Windows code holds: interface pointers,
// BSTRs, VARIANTs and SAFEARRAYs. Each frees its value on every path out of
// a scope, so an early return never leaks one. Windows only.
//
// Nothing here throws: Bstr::FromUtf8 converts with TryUtf8ToWide and
// gives an empty holder for text that is not UTF-8. Code that holds these
// values converts with the Try* text helpers too, so that no exception
// leaves a WMI or automation call half done.
#pragma once

#include <windows.h>
// After windows.h:
#include <oleauto.h>

#include <string>
#include <string_view>

#include "support/text.h"

namespace QuickKit {

// One reference to an interface; released on destruction or Reset.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  // For an out-parameter that hands over a reference; drops the one held.
  T** Out() {
    Reset();
    return &m_p;
  }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }
  T* Get() const { return m_p; }
  // Hands the reference over: the caller releases it from now on.
  T* Detach() {
    T* handed = m_p;
    m_p = nullptr;
    return handed;
  }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }

  void Reset() {
    if (m_p != nullptr) m_p->Release();
    m_p = nullptr;
  }

 private:
  T* m_p = nullptr;
};

// The text of a BSTR held elsewhere as UTF-8: false, leaving *text alone,
// when it is not valid UTF-16. A null BSTR is the empty text.
inline bool BstrToUtf8(BSTR text, std::string* utf8) {
  return TryWideToUtf8(std::wstring_view(text, text == nullptr ? 0 : ::SysStringLen(text)), utf8);
}

// One BSTR; freed with SysFreeString.
class Bstr {
 public:
  Bstr() = default;
  ~Bstr() { Reset(); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  Bstr(Bstr&& other) noexcept : m_b(other.m_b) { other.m_b = nullptr; }
  Bstr& operator=(Bstr&& other) noexcept {
    if (this != &other) {
      Reset();
      m_b = other.m_b;
      other.m_b = nullptr;
    }
    return *this;
  }

  // The BSTR of a UTF-8 text; empty (Get() null) when the text is not
  // UTF-8 or the allocation fails.
  static Bstr FromUtf8(std::string_view text) {
    Bstr result;
    std::wstring wide;
    if (!TryUtf8ToWide(text, &wide)) return result;
    result.m_b = ::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    return result;
  }

  BSTR Get() const { return m_b; }
  // For an out-parameter that hands over a BSTR; frees the one held.
  BSTR* Out() {
    Reset();
    return &m_b;
  }
  bool ToUtf8(std::string* text) const { return BstrToUtf8(m_b, text); }
  // Hands the BSTR over (into a VARIANT or an out-parameter): the caller
  // frees it from now on.
  BSTR Detach() {
    BSTR handed = m_b;
    m_b = nullptr;
    return handed;
  }

  void Reset() {
    ::SysFreeString(m_b);  // accepts null
    m_b = nullptr;
  }

 private:
  BSTR m_b = nullptr;
};

// One VARIANT; initialised empty, cleared with VariantClear (which releases
// an interface or frees a BSTR or array it carries).
class VariantHolder {
 public:
  VariantHolder() { ::VariantInit(&m_v); }
  ~VariantHolder() { ::VariantClear(&m_v); }
  VariantHolder(const VariantHolder&) = delete;
  VariantHolder& operator=(const VariantHolder&) = delete;

  // For an out-parameter; clears what is held first.
  VARIANT* Out() {
    ::VariantClear(&m_v);
    return &m_v;
  }
  const VARIANT& Get() const { return m_v; }
  // For a call that changes the value in place.
  VARIANT* Mutable() { return &m_v; }

 private:
  VARIANT m_v;
};

// One SAFEARRAY; destroyed with SafeArrayDestroy (which frees or releases
// its elements).
class SafeArrayHolder {
 public:
  SafeArrayHolder() = default;
  explicit SafeArrayHolder(SAFEARRAY* owned) : m_p(owned) {}
  ~SafeArrayHolder() { Reset(); }
  SafeArrayHolder(const SafeArrayHolder&) = delete;
  SafeArrayHolder& operator=(const SafeArrayHolder&) = delete;

  SAFEARRAY** Out() {
    Reset();
    return &m_p;
  }
  SAFEARRAY* Get() const { return m_p; }

  void Reset() {
    if (m_p != nullptr) ::SafeArrayDestroy(m_p);
    m_p = nullptr;
  }

 private:
  SAFEARRAY* m_p = nullptr;
};

}  // namespace QuickKit
