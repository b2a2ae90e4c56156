#include <windows.h>

#include "support/config.h"
#include "support/text.h"

namespace QuickKit {

namespace {
// The string table entry of the address (resources/norvane.rc.in).
constexpr UINT kCatalogueUrlStringId = 104;
}  // namespace

std::string BuiltInCatalogueUrl() {
  const wchar_t* text = nullptr;
  // A buffer size of 0 hands out a pointer into the resource itself.
  const int length = ::LoadStringW(::GetModuleHandleW(nullptr), kCatalogueUrlStringId,
                                   reinterpret_cast<wchar_t*>(&text), 0);
  std::string url;
  if (length <= 0 ||
      !TryWideToUtf8(std::wstring_view(text, static_cast<std::size_t>(length)), &url))
    return {};
  return url;
}

}  // namespace QuickKit
