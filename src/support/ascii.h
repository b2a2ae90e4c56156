// Small helpers for the ASCII parts of protocol text, keys and file
// formats: case folding and comparison that never depend on the locale,
// hex digits and percent-encoding. They work on bytes; every byte of a
// multi-byte UTF-8 sequence is above 0x7F, so such characters pass through
// the case helpers unchanged and never compare equal to an ASCII letter.
// Any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace QuickKit {

constexpr char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string AsciiLowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

inline std::string AsciiUppered(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

constexpr bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

constexpr bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

// The value of a hex digit of either case, or -1 for any other character.
constexpr int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

enum class HexCase { Lower, Upper };

// Appends the two hex digits of a byte, high digit first.
inline void AppendHexByte(std::string& out, unsigned char byte, HexCase letters) {
  const char* digits = letters == HexCase::Lower ? "0123456789abcdef" : "0123456789ABCDEF";
  out += digits[byte >> 4];
  out += digits[byte & 0x0F];
}

// Two hex digits for every byte.
inline std::string HexText(std::string_view bytes, HexCase letters) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) AppendHexByte(out, static_cast<unsigned char>(c), letters);
  return out;
}

// Appends text with every byte for which keep(byte) is false written as
// "%" and two upper-case hex digits. Callers choose which bytes are safe
// where the text goes.
template <typename KeepByte>
void AppendPercentEncoded(std::string& out, std::string_view text, KeepByte keep) {
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (keep(byte)) {
      out += c;
    } else {
      out += '%';
      AppendHexByte(out, byte, HexCase::Upper);
    }
  }
}

// Decodes every "%" and two hex digits (either case) into its byte; other
// bytes are copied. False, with *out cleared, when a "%" is not followed by
// two hex digits.
inline bool PercentDecode(std::string_view text, std::string* out) {
  out->clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      *out += text[i];
      continue;
    }
    const int high = i + 2 < text.size() ? HexDigitValue(text[i + 1]) : -1;
    const int low = high >= 0 ? HexDigitValue(text[i + 2]) : -1;
    if (low < 0) {
      out->clear();
      return false;
    }
    *out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return true;
}

}  // namespace QuickKit
