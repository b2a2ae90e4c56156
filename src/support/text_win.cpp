#include <windows.h>

#include <new>
#include <stdexcept>
#include <vector>

#include "support/text.h"

namespace QuickKit {

LanguageId GetUserDefaultUiLanguage() { return ::GetUserDefaultUILanguage(); }

std::string GetLocaleIsoLanguage(const LanguageId& languageId) {
  const LCID locale = MAKELCID(languageId, SORT_DEFAULT);
  const int length = ::GetLocaleInfoW(locale, LOCALE_SISO639LANGNAME, nullptr, 0);
  if (length <= 0) return {};
  std::wstring name(static_cast<std::size_t>(length), L'\0');
  if (::GetLocaleInfoW(locale, LOCALE_SISO639LANGNAME, name.data(), length) <= 0) return {};
  name.resize(static_cast<std::size_t>(length) - 1);
  try {
    return WideToUtf8(name);
  } catch (const std::range_error&) {
    return {};
  }
}

std::string GetSystemDrive() {
  static const wchar_t kVariable[] = L"%SystemDrive%";
  try {
    std::vector<wchar_t> buffer(512);
    DWORD needed =
        ::ExpandEnvironmentStringsW(kVariable, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (needed > buffer.size()) {
      buffer.resize(needed);
      needed =
          ::ExpandEnvironmentStringsW(kVariable, buffer.data(), static_cast<DWORD>(buffer.size()));
    }
    if (needed == 0 || needed > buffer.size()) return {};
    const DWORD lastError = ::GetLastError();
    std::wstring drive(buffer.data(), needed - 1);
    if (drive == kVariable) {
      ::SetLastError(ERROR_NOT_FOUND);
      return {};
    }
    std::string result = WideToUtf8(drive);
    ::SetLastError(lastError);
    return result;
  } catch (const std::bad_alloc&) {
    ::SetLastError(ERROR_OUTOFMEMORY);
  } catch (const std::exception&) {
    ::SetLastError(ERROR_INTERNAL_ERROR);
  }
  return {};
}

}  // namespace QuickKit
