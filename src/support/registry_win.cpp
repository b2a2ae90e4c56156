#include <windows.h>

#include <stdexcept>
#include <utility>

#include "support/registry.h"
#include "support/text.h"

namespace QuickKit {
namespace {

HKEY RootOf(RegistryHive hive) {
  return hive == RegistryHive::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

REGSAM ViewFlag(RegistryView view) {
  return view == RegistryView::Wow32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

HKEY AsKey(void* handle) { return static_cast<HKEY>(handle); }

// Text from the caller that is not valid UTF-8 cannot name a key.
bool ToWide(std::string_view text, std::wstring* out) {
  try {
    *out = Utf8ToWide(text);
    return true;
  } catch (const std::range_error&) {
    return false;
  }
}

}  // namespace

RegistryKey::~RegistryKey() { Close(); }

RegistryKey::RegistryKey(RegistryKey&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)) {}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
  if (this != &other) {
    Close();
    m_handle = std::exchange(other.m_handle, nullptr);
  }
  return *this;
}

bool RegistryKey::IsOpen() const { return m_handle != nullptr; }

void RegistryKey::Close() {
  if (m_handle != nullptr) ::RegCloseKey(AsKey(std::exchange(m_handle, nullptr)));
}

HRESULT RegistryKey::Open(RegistryHive hive, std::string_view path, bool writable, RegistryKey* key,
                          RegistryView view) {
  key->Close();
  std::wstring widePath;
  if (!ToWide(path, &widePath)) return E_INVALIDARG;
  HKEY handle = nullptr;
  const REGSAM access = (writable ? KEY_READ | KEY_WRITE : KEY_READ) | ViewFlag(view);
  const LSTATUS status = ::RegOpenKeyExW(RootOf(hive), widePath.c_str(), 0, access, &handle);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(static_cast<DWORD>(status));
  key->m_handle = handle;
  return S_OK;
}

HRESULT RegistryKey::Create(RegistryHive hive, std::string_view path, RegistryKey* key) {
  key->Close();
  std::wstring widePath;
  if (!ToWide(path, &widePath)) return E_INVALIDARG;
  HKEY handle = nullptr;
  const LSTATUS status =
      ::RegCreateKeyExW(RootOf(hive), widePath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE | KEY_WOW64_64KEY, nullptr, &handle, nullptr);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(static_cast<DWORD>(status));
  key->m_handle = handle;
  return S_OK;
}

HRESULT RegistryKey::QueryValue(std::string_view name, RegistryValue* value) const {
  *value = RegistryValue{};
  std::wstring wideName;
  if (!ToWide(name, &wideName)) return E_INVALIDARG;
  DWORD type = 0;
  DWORD size = 0;
  LSTATUS status =
      ::RegQueryValueExW(AsKey(m_handle), wideName.c_str(), nullptr, &type, nullptr, &size);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(static_cast<DWORD>(status));
  std::wstring data;
  // The value may grow between the two calls: try again with the new size.
  for (int attempt = 0; attempt < 3; ++attempt) {
    data.assign(size / sizeof(wchar_t) + 1, L'\0');
    DWORD got = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    status = ::RegQueryValueExW(AsKey(m_handle), wideName.c_str(), nullptr, &type,
                                reinterpret_cast<BYTE*>(data.data()), &got);
    if (status == ERROR_MORE_DATA) {
      size = got;
      continue;
    }
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(static_cast<DWORD>(status));
    size = got;
    break;
  }
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(static_cast<DWORD>(status));
  switch (type) {
    case REG_DWORD:
      if (size != sizeof(DWORD)) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
      value->type = RegistryType::Dword;
      value->number = *reinterpret_cast<const DWORD*>(data.data());
      return S_OK;
    case REG_SZ:
    case REG_EXPAND_SZ: {
      std::wstring text(data.data(), size / sizeof(wchar_t));
      while (!text.empty() && text.back() == L'\0') text.pop_back();
      try {
        value->text = WideToUtf8(text);
      } catch (const std::range_error&) {
        return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
      }
      value->type = type == REG_SZ ? RegistryType::String : RegistryType::ExpandString;
      return S_OK;
    }
    default:
      value->type = RegistryType::Other;
      return S_OK;
  }
}

HRESULT RegistryKey::SetString(std::string_view name, std::string_view text) {
  std::wstring wideName, wideText;
  if (!ToWide(name, &wideName) || !ToWide(text, &wideText)) return E_INVALIDARG;
  // Stored with the terminating zero.
  const auto bytes = static_cast<DWORD>((wideText.size() + 1) * sizeof(wchar_t));
  const LSTATUS status = ::RegSetValueExW(AsKey(m_handle), wideName.c_str(), 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(wideText.c_str()), bytes);
  return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(status));
}

HRESULT RegistryKey::SetDword(std::string_view name, std::uint32_t number) {
  std::wstring wideName;
  if (!ToWide(name, &wideName)) return E_INVALIDARG;
  const DWORD data = number;
  const LSTATUS status = ::RegSetValueExW(AsKey(m_handle), wideName.c_str(), 0, REG_DWORD,
                                          reinterpret_cast<const BYTE*>(&data), sizeof data);
  return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(status));
}

HRESULT RegistryKey::DeleteValue(std::string_view name) {
  std::wstring wideName;
  if (!ToWide(name, &wideName)) return E_INVALIDARG;
  const LSTATUS status = ::RegDeleteValueW(AsKey(m_handle), wideName.c_str());
  if (status == ERROR_FILE_NOT_FOUND) return S_FALSE;
  return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(status));
}

HRESULT RegistryKey::EnumSubkeys(std::vector<std::string>* names) const {
  names->clear();
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];  // key names are at most 255 characters
    DWORD length = 256;
    const LSTATUS status =
        ::RegEnumKeyExW(AsKey(m_handle), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) return S_OK;
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(static_cast<DWORD>(status));
    try {
      names->push_back(WideToUtf8(std::wstring_view(name, length)));
    } catch (const std::range_error&) {
      // A name that is not valid UTF-16 cannot be opened again by name.
    }
  }
}

HRESULT DeleteRegistryTree(RegistryHive hive, std::string_view path) {
  std::wstring widePath;
  if (!ToWide(path, &widePath)) return E_INVALIDARG;
  const LSTATUS status = ::RegDeleteTreeW(RootOf(hive), widePath.c_str());
  if (status == ERROR_FILE_NOT_FOUND) return S_FALSE;
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(static_cast<DWORD>(status));
  // RegDeleteTreeW empties the key; the key itself goes with RegDeleteKeyW.
  const LSTATUS gone = ::RegDeleteKeyW(RootOf(hive), widePath.c_str());
  return gone == ERROR_SUCCESS || gone == ERROR_FILE_NOT_FOUND
             ? S_OK
             : HRESULT_FROM_WIN32(static_cast<DWORD>(gone));
}

}  // namespace QuickKit
