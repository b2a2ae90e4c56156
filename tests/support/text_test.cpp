#include "support/text.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace QuickKit {
namespace {

TEST(Utf8, ValidAndMalformedSequences) {
  const struct {
    std::string text;
    bool valid;
  } cases[] = {
      {"", true},
      {"plain ascii", true},
      {"caf\xC3\xA9", true},
      {"\xE2\x82\xAC", true},          // U+20AC
      {"\xF0\x9F\x98\x80", true},      // U+1F600
      {"\xF4\x8F\xBF\xBF", true},      // U+10FFFF, the last code point
      {std::string("a\0b", 3), true},  // an embedded NUL is a character
      {"\x80", false},                 // stray continuation byte
      {"\xC3", false},                 // cut short
      {"\xE2\x82", false},             // cut short
      {"\xC0\xAF", false},             // overlong '/'
      {"\xE0\x80\xAF", false},         // overlong '/'
      {"\xED\xA0\x80", false},         // encoded surrogate U+D800
      {"\xF4\x90\x80\x80", false},     // above U+10FFFF
      {"\xFE", false},
      {"\xC3\x28", false},  // lead byte followed by a non-continuation
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsValidUtf8(c.text), c.valid) << testing::PrintToString(c.text);
    // The non-throwing form agrees and leaves its output alone on failure.
    std::wstring wide = L"untouched";
    EXPECT_EQ(TryUtf8ToWide(c.text, &wide), c.valid) << testing::PrintToString(c.text);
    if (c.valid) {
      EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(c.text)), c.text);
      EXPECT_EQ(WideToUtf8(Utf8ToWide(c.text)), c.text);
      std::string back;
      EXPECT_TRUE(TryWideToUtf8(wide, &back));
      EXPECT_EQ(back, c.text);
    } else {
      EXPECT_EQ(wide, L"untouched");
      EXPECT_THROW(Utf8ToUtf16(c.text), std::range_error);
      EXPECT_THROW(Utf8ToWide(c.text), std::range_error);
    }
  }
}

TEST(Utf8, BadConversionMessage) {
  try {
    Utf8ToWide("\xFF");
    FAIL() << "no exception";
  } catch (const std::range_error& e) {
    EXPECT_STREQ(e.what(), "bad conversion");
  }
}

TEST(Utf8, CharactersOutsideTheBasicPlaneStayWhole) {
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80"), std::u16string(u"\xD83D\xDE00"));
  const std::wstring wide = Utf8ToWide("x\xF0\x9F\x98\x80");
  if constexpr (sizeof(wchar_t) == 2) {
    EXPECT_EQ(wide, std::wstring(L"x\xD83D\xDE00"));
  } else {
    EXPECT_EQ(wide.size(), 2u);
    EXPECT_EQ(static_cast<char32_t>(wide[1]), U'\x1F600');
  }
}

TEST(Utf8, UnpairedSurrogatesDoNotConvert) {
  for (const std::u16string& bad :
       {std::u16string(u"\xD83D"), std::u16string(u"\xDE00x"), std::u16string(u"\xD83Dx")}) {
    EXPECT_THROW(Utf16ToUtf8(bad), std::range_error);
    EXPECT_THROW(WideToUtf8(std::wstring(bad.begin(), bad.end())), std::range_error);
    std::string out = "untouched";
    EXPECT_FALSE(TryWideToUtf8(std::wstring(bad.begin(), bad.end()), &out));
    EXPECT_EQ(out, "untouched");
  }
}

TEST(Utf8, NextCodePointLeavesPositionOnError) {
  const std::string text = "a\xC3\xA9\xFF";
  std::size_t pos = 0;
  char32_t c = 0;
  ASSERT_TRUE(NextCodePoint(text, pos, c));
  EXPECT_EQ(c, U'a');
  ASSERT_TRUE(NextCodePoint(text, pos, c));
  EXPECT_EQ(c, U'\xE9');
  EXPECT_EQ(pos, 3u);
  EXPECT_FALSE(NextCodePoint(text, pos, c));
  EXPECT_EQ(pos, 3u);
  pos = 4;
  EXPECT_FALSE(NextCodePoint(text, pos, c));  // at the end
}

TEST(Locale, IsoLanguageFromLocaleName) {
  const struct {
    const char* name;
    const char* language;
  } cases[] = {
      {"de_AT.UTF-8", "de"}, {"pt_BR", "pt"},   {"fr", "fr"},      {"ru_RU.KOI8-R", "ru"},
      {"sr@latin", "sr"},    {"fil_PH", "fil"}, {"C", "en"},       {"C.UTF-8", "en"},
      {"POSIX", "en"},       {"", "en"},        {"english", "en"}, {"De_AT", "en"},
      {"x", "en"},
  };
  for (const auto& c : cases) EXPECT_EQ(IsoLanguageFromLocaleName(c.name), c.language) << c.name;
}

TEST(Locale, UserLanguageHasAName) {
  // Whatever the machine's locale, the program gets a usable name.
  EXPECT_FALSE(GetLocaleIsoLanguage(GetUserDefaultUiLanguage()).empty());
}

}  // namespace
}  // namespace QuickKit
