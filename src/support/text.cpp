#include "support/text.h"

#include <stdexcept>
#include <utility>

namespace QuickKit {
namespace {

[[noreturn]] void ThrowBadConversion() { throw std::range_error("bad conversion"); }

bool IsContinuation(unsigned char byte) { return (byte & 0xC0u) == 0x80u; }

bool IsSurrogate(char32_t codePoint) { return codePoint >= 0xD800 && codePoint <= 0xDFFF; }

}  // namespace

bool NextCodePoint(std::string_view text, std::size_t& pos, char32_t& codePoint) {
  if (pos >= text.size()) return false;
  const auto lead = static_cast<unsigned char>(text[pos]);
  std::size_t length = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if (lead < 0x80u) {
    codePoint = lead;
    ++pos;
    return true;
  } else if ((lead & 0xE0u) == 0xC0u) {
    length = 2;
    value = lead & 0x1Fu;
    minimum = 0x80;
  } else if ((lead & 0xF0u) == 0xE0u) {
    length = 3;
    value = lead & 0x0Fu;
    minimum = 0x800;
  } else if ((lead & 0xF8u) == 0xF0u) {
    length = 4;
    value = lead & 0x07u;
    minimum = 0x10000;
  } else {
    return false;
  }
  if (text.size() - pos < length) return false;
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[pos + i]);
    if (!IsContinuation(byte)) return false;
    value = (value << 6) | (byte & 0x3Fu);
  }
  if (value < minimum || value > 0x10FFFF || IsSurrogate(value)) return false;
  codePoint = value;
  pos += length;
  return true;
}

bool IsValidUtf8(std::string_view text) {
  std::size_t pos = 0;
  char32_t codePoint = 0;
  while (pos < text.size()) {
    if (!NextCodePoint(text, pos, codePoint)) return false;
  }
  return true;
}

void AppendUtf8(std::string& out, char32_t codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  char32_t codePoint = 0;
  while (pos < text.size()) {
    if (!NextCodePoint(text, pos, codePoint)) ThrowBadConversion();
    if (codePoint < 0x10000) {
      out += static_cast<char16_t>(codePoint);
    } else {
      codePoint -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (codePoint >> 10));
      out += static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) {
        ThrowBadConversion();
      }
      unit = 0x10000 + ((unit - 0xD800) << 10) + (static_cast<char32_t>(text[++i]) - 0xDC00);
    } else if (IsSurrogate(unit)) {
      ThrowBadConversion();
    }
    AppendUtf8(out, unit);
  }
  return out;
}

bool TryUtf8ToWide(std::string_view text, std::wstring* out) {
  std::wstring wide;
  wide.reserve(text.size());
  std::size_t pos = 0;
  char32_t codePoint = 0;
  while (pos < text.size()) {
    if (!NextCodePoint(text, pos, codePoint)) return false;
    if constexpr (sizeof(wchar_t) == sizeof(char16_t)) {
      if (codePoint >= 0x10000) {
        codePoint -= 0x10000;
        wide += static_cast<wchar_t>(0xD800 + (codePoint >> 10));
        wide += static_cast<wchar_t>(0xDC00 + (codePoint & 0x3FF));
        continue;
      }
    }
    wide += static_cast<wchar_t>(codePoint);
  }
  *out = std::move(wide);
  return true;
}

bool TryWideToUtf8(std::wstring_view text, std::string* out) {
  std::string utf8;
  utf8.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto codePoint = static_cast<char32_t>(text[i]);
    if constexpr (sizeof(wchar_t) == sizeof(char16_t)) {
      if (codePoint >= 0xD800 && codePoint <= 0xDBFF && i + 1 < text.size()) {
        const auto low = static_cast<char32_t>(text[i + 1]);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (low - 0xDC00);
          ++i;
        }
      }
    }
    if (codePoint > 0x10FFFF || IsSurrogate(codePoint)) return false;
    AppendUtf8(utf8, codePoint);
  }
  *out = std::move(utf8);
  return true;
}

std::wstring Utf8ToWide(std::string_view text) {
  std::wstring out;
  if (!TryUtf8ToWide(text, &out)) ThrowBadConversion();
  return out;
}

std::string WideToUtf8(std::wstring_view text) {
  std::string out;
  if (!TryWideToUtf8(text, &out)) ThrowBadConversion();
  return out;
}

std::string IsoLanguageFromLocaleName(std::string_view localeName) {
  // language[_territory][.codeset][@modifier]
  std::size_t end = 0;
  while (end < localeName.size() && localeName[end] >= 'a' && localeName[end] <= 'z') ++end;
  const bool delimited = end == localeName.size() || localeName[end] == '_' ||
                         localeName[end] == '.' || localeName[end] == '@';
  if (end < 2 || end > 3 || !delimited) return "en";
  return std::string(localeName.substr(0, end));
}

}  // namespace QuickKit
