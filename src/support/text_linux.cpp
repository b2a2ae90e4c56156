#include <cstdlib>

#include "support/text.h"

namespace QuickKit {

LanguageId GetUserDefaultUiLanguage() {
  // The same precedence the C library uses for LC_MESSAGES.
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return {};
}

std::string GetLocaleIsoLanguage(const LanguageId& languageId) {
  return IsoLanguageFromLocaleName(languageId);
}

}  // namespace QuickKit
