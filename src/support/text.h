// Text helpers. Inside the program text is UTF-8 in std::string; wide
// strings exist only where a Windows API or a BSTR needs them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace QuickKit {

// Reads the code point that starts at text[pos] and moves pos past it.
// Returns false, leaving pos unchanged, on a malformed, overlong or
// truncated sequence, an encoded surrogate or a value above U+10FFFF.
bool NextCodePoint(std::string_view text, std::size_t& pos, char32_t& codePoint);

bool IsValidUtf8(std::string_view text);

// Appends the UTF-8 form of a code point (U+0000..U+10FFFF, no surrogates).
void AppendUtf8(std::string& out, char32_t codePoint);

// Conversions between UTF-8 and UTF-16. Characters outside the basic plane
// become (or come from) surrogate pairs. Malformed input - bad UTF-8 or an
// unpaired surrogate - throws std::range_error("bad conversion").
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// The same at the wide-string boundary: UTF-16 where wchar_t has 16 bits
// (Windows), UTF-32 where it has 32. Same error contract as above.
std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

// The same without exceptions, for code that must not throw (while it holds
// a raw system resource, in a thread body or an OS callback): false on
// malformed input, leaving *out unchanged.
bool TryUtf8ToWide(std::string_view text, std::wstring* out);
bool TryWideToUtf8(std::wstring_view text, std::string* out);

// The ISO 639 language of a POSIX locale name: "de_AT.UTF-8" gives "de",
// "pt_BR" gives "pt"; "C", "POSIX", an empty or a malformed name gives "en".
std::string IsoLanguageFromLocaleName(std::string_view localeName);

#ifdef _WIN32
using LanguageId = std::uint16_t;  // a LANGID
#else
using LanguageId = std::string;  // the locale name in force for messages
#endif

// The language the user interface is shown in: GetUserDefaultUILanguage on
// Windows; on Linux the first of LC_ALL, LC_MESSAGES and LANG that is set.
LanguageId GetUserDefaultUiLanguage();

// The ISO 639 name of a language ("en", "de", ...); empty when the system
// cannot name it.
std::string GetLocaleIsoLanguage(const LanguageId& languageId);

#ifdef _WIN32
// %SystemDrive% expanded, e.g. "C:". Empty with the last error
// ERROR_NOT_FOUND when the variable is not defined.
std::string GetSystemDrive();
#endif

}  // namespace QuickKit
