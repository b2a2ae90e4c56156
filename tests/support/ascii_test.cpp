#include "support/ascii.h"

#include <gtest/gtest.h>

#include <string>

namespace QuickKit {
namespace {

TEST(Ascii, CaseFoldingTouchesOnlyAsciiLetters) {
  // "Ä" (C3 84) and "é" (C3 A9): no byte of theirs is folded, so UTF-8
  // stays valid and distinct characters stay distinct.
  const std::string mixed = "Key-\xC3\x84\xC3\xA9-Zz09@[`{";
  EXPECT_EQ(AsciiLowered(mixed), "key-\xC3\x84\xC3\xA9-zz09@[`{");
  EXPECT_EQ(AsciiUppered(mixed), "KEY-\xC3\x84\xC3\xA9-ZZ09@[`{");
  EXPECT_TRUE(EqualsIgnoringAsciiCase("Content-Length", "content-LENGTH"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("\xC3\x84", "\xC3\xA4"));  // Ä and ä: not ASCII
  EXPECT_FALSE(EqualsIgnoringAsciiCase("@", "`"));                // 0x40 and 0x60
  EXPECT_FALSE(EqualsIgnoringAsciiCase("ab", "abc"));
  EXPECT_TRUE(StartsWithIgnoringAsciiCase("SHA256:abc", "sha256:"));
  EXPECT_FALSE(StartsWithIgnoringAsciiCase("sha2", "sha256:"));
}

TEST(Ascii, HexDigitsBothWays) {
  const struct {
    char c;
    int value;
  } digits[] = {{'0', 0},  {'9', 9},  {'a', 10}, {'F', 15}, {'g', -1}, {'G', -1},
                {'/', -1}, {':', -1}, {'@', -1}, {'`', -1}, {' ', -1}, {'\xC3', -1}};
  for (const auto& d : digits) EXPECT_EQ(HexDigitValue(d.c), d.value) << d.c;
  const std::string bytes("\x00\x0F\xA5\xFF", 4);
  EXPECT_EQ(HexText(bytes, HexCase::Lower), "000fa5ff");
  EXPECT_EQ(HexText(bytes, HexCase::Upper), "000FA5FF");
}

TEST(Ascii, PercentEncodingRoundTripsAndRefusesBrokenEscapes) {
  std::string encoded = "x=";
  AppendPercentEncoded(encoded, std::string("a b%\n\xC3\xA9\x00", 8),
                       [](unsigned char c) { return c > 0x20 && c < 0x7F && c != '%'; });
  EXPECT_EQ(encoded, "x=a%20b%25%0A%C3%A9%00");
  std::string decoded;
  ASSERT_TRUE(PercentDecode(encoded, &decoded));
  EXPECT_EQ(decoded, std::string("x=a b%\n\xC3\xA9\x00", 10));
  EXPECT_TRUE(PercentDecode("%c3%A9", &decoded));
  EXPECT_EQ(decoded, "\xC3\xA9");
  for (const char* broken : {"%", "a%4", "%4g", "%g4", "50%", "%%41"}) {
    decoded = "stale";
    EXPECT_FALSE(PercentDecode(broken, &decoded)) << broken;
    EXPECT_TRUE(decoded.empty()) << broken;
  }
}

}  // namespace
}  // namespace QuickKit
