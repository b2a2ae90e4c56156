#include "catalogue/VerInfo/verinfo.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace bright_setup {
namespace {

using Strings = std::vector<std::string>;
using Version = std::vector<std::int32_t>;
using Kind = VerInfoTokenKind;

const Version kOneZeroZero{1, 0, 0};

std::vector<Kind> KindsOf(std::string_view text) {
  VerInfoLexer lexer(text);
  std::vector<Kind> kinds;
  for (lexer.NextToken(); lexer.Kind() != Kind::End; lexer.NextToken())
    kinds.push_back(lexer.Kind());
  return kinds;
}

TEST(VerInfoLexer, ClassifiesTokensByTheirFirstCharacter) {
  struct Case {
    const char* text;
    std::vector<Kind> kinds;
  };
  const Case cases[] = {
      {"SHIELD.URL-en", {Kind::Word}},
      {"https://x.example/a-b.exe", {Kind::Word}},
      {"12abc", {Kind::Number, Kind::Word}},
      {"1.0.0", {Kind::Number, Kind::Dot, Kind::Number, Kind::Dot, Kind::Number}},
      {"a;b", {Kind::Word, Kind::Semicolon, Kind::Word}},
      {"- * ; .", {Kind::Dash, Kind::Star, Kind::Semicolon, Kind::Dot}},
      {"a\r\n\n\r\nb", {Kind::Word, Kind::LineBreak, Kind::Word}},
      {"a \t\v\f b", {Kind::Word, Kind::Word}},
      // Characters above U+007F are neither digits nor blanks.
      {"\xD0\x9F\xD1\x80\xD0\xB8\xE2\x80\x83x", {Kind::Word}},
      {"", {}},
      {" \t ", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(KindsOf(c.text), c.kinds) << c.text;
}

TEST(VerInfoLexer, EndHasNoExtentAndStaysAtTheEnd) {
  VerInfoLexer lexer("ab  ");
  lexer.NextToken();
  EXPECT_EQ(lexer.TokenText(), "ab");
  lexer.NextToken();
  EXPECT_EQ(lexer.Kind(), Kind::End);
  EXPECT_EQ(lexer.Start(), 0u);
  EXPECT_EQ(lexer.Length(), 0u);
  lexer.NextToken();  // must not start over from the beginning
  EXPECT_EQ(lexer.Kind(), Kind::End);
  EXPECT_EQ(lexer.CurrentPos(), 4u);
}

TEST(VerInfoParse, ResultsOfWholeTexts) {
  struct Case {
    const char* text;
    HRESULT result;
    std::size_t entries;
  };
  const Case cases[] = {
      {"", S_FALSE, 0},
      {"; only a comment\n", S_FALSE, 0},
      {"; comment without a line break", E_INVALIDARG, 0},
      {"K 1 v\n; last comment", E_INVALIDARG, 1},
      {"K 1 v\n; last comment\n", S_OK, 1},
      {"K 1 v", S_OK, 1},
      {"K 1 v\n", S_OK, 1},
      {"K 1 v\n   ", S_OK, 1},
      {"K 1 v\n\n\r\nL 2 w", S_OK, 2},
      {"K 1 v\n   \nL 2 w", E_INVALIDARG, 1},
      {"K 1 v\n\t\nL 2 w", E_INVALIDARG, 1},
      {"\nK 1 v", E_INVALIDARG, 0},
      {"K 1.0.0 a;b c;d", S_OK, 1},
      {"K 1.0.0 a;", E_INVALIDARG, 0},
      {"K 1.0.0 a;\n", E_INVALIDARG, 0},
      // The entry is stored before the end of its line is checked.
      {"K 1.0.0 a b c", E_INVALIDARG, 1},
      {"K 1.0.0 a b *", E_INVALIDARG, 1},
      {"K 1.0.0 a 5", E_INVALIDARG, 1},
      {"K 1.", E_INVALIDARG, 0},
      {"K 1.x v", E_INVALIDARG, 0},
      {"K v", E_INVALIDARG, 0},
      {"K", E_INVALIDARG, 0},
      {"K 1", E_INVALIDARG, 0},
      {"K;x 1 v", E_INVALIDARG, 0},
      {"K-en; 1 v", E_INVALIDARG, 0},
      {"1 K v", E_INVALIDARG, 0},
      {". K 1 v", E_INVALIDARG, 0},
      {"- K 1 v", E_INVALIDARG, 0},
      {"* K 1 v", E_INVALIDARG, 0},
      {"K 1 v\nL 2 w\n3", E_INVALIDARG, 2},
  };
  for (const Case& c : cases) {
    VerInfo verInfo;
    EXPECT_EQ(verInfo.Load(c.text), c.result) << c.text;
    EXPECT_EQ(verInfo.Entries().size(), c.entries) << c.text;
  }
}

TEST(VerInfoParse, EntryFields) {
  struct Case {
    const char* text;
    VerInfoEntry entry;
  };
  const Case cases[] = {
      {"SHIELD.URL-ru 1.0 u", {"SHIELD.URL", {1, 0}, false, {"ru"}, {"u"}, {}}},
      {"K-a-b * v", {"K", {}, true, {"a-b"}, {"v"}, {}}},
      {"SHIELD.URL-ru;uk;be 1.0 u", {"SHIELD.URL", {1, 0}, false, {"ru", "uk", "be"}, {"u"}, {}}},
      {"K 1.0.0 a;b c;d", {"K", {1, 0, 0}, false, {}, {"a", "b"}, {"c", "d"}}},
      {"K 1.0.0abc", {"K", {1, 0, 0}, false, {}, {"abc"}, {}}},
      {"K 1 . 2 x", {"K", {1, 2}, false, {}, {"x"}, {}}},
      {"K 70000 v", {"K", {4464}, false, {}, {"v"}, {}}},
      {"K 65537.2147483647 v", {"K", {1, 65535}, false, {}, {"v"}, {}}},
      {"K 00000000000000000009 v", {"K", {9}, false, {}, {"v"}, {}}},
      {"K * Device,,Money", {"K", {}, true, {}, {"Device,,Money"}, {}}},
      {"K- * v", {"K", {}, true, {""}, {"v"}, {}}},
      {"K\xC3\xA9 * \xD0\xB4\xD0\xB0", {"K\xC3\xA9", {}, true, {}, {"\xD0\xB4\xD0\xB0"}, {}}},
  };
  for (const Case& c : cases) {
    VerInfo verInfo;
    ASSERT_EQ(verInfo.Load(c.text), S_OK) << c.text;
    ASSERT_EQ(verInfo.Entries().size(), 1u) << c.text;
    EXPECT_EQ(verInfo.Entries()[0], c.entry) << c.text;
  }
}

TEST(VerInfoParse, NumberBeyondInt32EndsTheParseByExceptionWithoutAnIndex) {
  VerInfo verInfo;
  try {
    verInfo.Load("A * a\nB 2147483648 b\nC * c");
    FAIL() << "no exception";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "stoi argument out of range");
  }
  ASSERT_EQ(verInfo.Entries().size(), 1u);
  VerInfoEntry entry;
  EXPECT_FALSE(verInfo.Find("A", {}, {}, entry));
}

TEST(VerInfoParse, FailedParseLeavesNoIndexEvenAfterAnEarlierSuccess) {
  VerInfo verInfo;
  ASSERT_EQ(verInfo.Load("A * a\nB * b\nC * c"), S_OK);
  VerInfoEntry entry;
  ASSERT_TRUE(verInfo.Find("C", {}, {}, entry));
  // Fails on the second line: one entry stored, and the old index (which
  // knew three) must not survive it.
  ASSERT_EQ(verInfo.Load("C * c\nB"), E_INVALIDARG);
  EXPECT_EQ(verInfo.Entries().size(), 1u);
  EXPECT_FALSE(verInfo.Find("C", {}, {}, entry));
  EXPECT_FALSE(verInfo.Find("B", {}, {}, entry));
}

TEST(VerInfoParse, HtmlIsRejectedWithinTheFirst1024CharactersOnly) {
  const std::string filler(1019, 'x');
  // Two-byte characters count as one character each.
  std::string wide;
  for (int i = 0; i < 1019; ++i) wide += "\xC3\xA9";
  struct Case {
    std::string text;
    bool html;
  };
  const Case cases[] = {
      {"<HTML><body>login</body>", true},
      {"<!DOCTYPE html>\n<Html lang=en>", true},
      {"K * <html", true},
      {"K * <htm", false},
      {filler + "<html", true},
      {filler + "x<html", false},
      {wide + "<html", true},
      {wide + "x<html", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VerInfo::LooksLikeHtml(c.text), c.html) << c.text.substr(0, 40);
  }
  VerInfo verInfo;
  ASSERT_EQ(verInfo.Load("K * v"), S_OK);
  EXPECT_EQ(verInfo.Load("<html>K * w"), E_INVALIDARG);
  VerInfoEntry entry;
  ASSERT_TRUE(verInfo.Find("K", {}, {}, entry)) << "an HTML page leaves the catalogue untouched";
  EXPECT_EQ(entry.values, Strings{"v"});
  EXPECT_EQ(verInfo.LastError().line, 0u);
}

TEST(VerInfoFind, LanguageAndVersionRules) {
  VerInfo verInfo;
  ASSERT_EQ(verInfo.Load("; areas\n"
                         "SHIELD.AREAS-en;de 1.0.0 Device,Privacy,Money\n"
                         "SHIELD.AREAS * Device\n"
                         "KEY-en;de * langs\n"
                         "TWO 2.0 second\n"
                         "TWO * star\n"
                         "SHORT 1.0 short\n"
                         "LONG 1.0.0.7 long\n"
                         "NEXT 1.0.1 next\n"
                         "SHIELD.URL * url\n"),
            S_OK);
  struct Case {
    const char* key;
    Strings languages;
    Version version;
    const char* value;  // nullptr: not found
  };
  const Case cases[] = {
      {"SHIELD.AREAS", {"de"}, kOneZeroZero, "Device,Privacy,Money"},
      {"SHIELD.AREAS", {"fr"}, kOneZeroZero, "Device"},
      {"SHIELD.AREAS", {"EN"}, kOneZeroZero, "Device,Privacy,Money"},
      {"SHIELD.AREAS", {"en", "de"}, kOneZeroZero, "Device,Privacy,Money"},
      {"SHIELD.AREAS", {"en", "de", "fr"}, kOneZeroZero, "Device"},
      {"KEY", {"DE"}, kOneZeroZero, "langs"},
      {"KEY", {"fr"}, kOneZeroZero, nullptr},
      {"KEY", {}, kOneZeroZero, "langs"},
      {"TWO", {}, kOneZeroZero, "star"},
      {"TWO", {}, {2, 0}, "second"},
      {"TWO", {}, {2}, "second"},
      {"TWO", {}, {}, "second"},
      {"SHORT", {}, kOneZeroZero, nullptr},
      {"LONG", {}, kOneZeroZero, "long"},
      {"NEXT", {}, kOneZeroZero, nullptr},
      {"shield.URL", {}, kOneZeroZero, nullptr},
      {"SHIELD.URL", {"xx"}, {-1}, "url"},
      {"MISSING", {}, {}, nullptr},
  };
  for (const Case& c : cases) {
    VerInfoEntry entry;
    const bool found = verInfo.Find(c.key, c.languages, c.version, entry);
    EXPECT_EQ(found, c.value != nullptr) << c.key;
    if (found && c.value != nullptr) {
      EXPECT_EQ(entry.values[0], c.value) << c.key;
    }
  }
}

TEST(VerInfoFind, EmptyCatalogueFindsNothing) {
  VerInfo verInfo;
  EXPECT_EQ(verInfo.Load(""), S_FALSE);
  VerInfoEntry entry;
  EXPECT_FALSE(verInfo.Find("", {}, {}, entry));
  EXPECT_FALSE(verInfo.Find("K", {}, {}, entry));
}

TEST(VerInfoEntry, VersionPartOutsideTheListBreaksTheInvariant) {
  const VerInfoEntry entry{"K", {3, 4}, false, {}, {"v"}, {}};
  EXPECT_EQ(entry.VersionPart(1), 4);
  for (int index : {-1, 2}) {
    try {
      entry.VersionPart(index);
      FAIL() << index;
    } catch (const std::logic_error& e) {
      EXPECT_STREQ(e.what(), "0 <= index && index < m_versionParts.size()");
    }
  }
}

TEST(VerInfoParse, FailureRemembersLineColumnAndReason) {
  struct Case {
    const char* text;
    std::size_t line;
    std::size_t column;
    const char* reason;
  };
  const Case cases[] = {
      {"K 1 v\r\nL 2 w\nM x y", 3, 3, "expected a version ('*' or dotted numbers), found a word"},
      {"K 1 v\n   \nL 2 w", 2, 4, "a line holds only blanks"},
      {"\nK 1 v", 1, 1, "the text starts with a line break"},
      {"K 1 v\n; note", 2, 7, "a comment on the last line needs a line break after it"},
      {"K 1.0.0 a;", 1, 11, "expected a value after ';', found the end of the text"},
      {"K 1.0.0 a b c", 1, 13, "expected the end of the line, found a word"},
      {"K 1.", 1, 5, "expected a number after '.', found the end of the text"},
      {"\xC3\xA9t\xC3\xA9 1 v\r\r* x", 3, 1, "expected a key or ';', found '*'"},
      {"K-en;5 1 v", 1, 6, "expected a language after ';', found a number"},
  };
  for (const Case& c : cases) {
    VerInfo verInfo;
    ASSERT_EQ(verInfo.Load(c.text), E_INVALIDARG) << c.text;
    EXPECT_EQ(verInfo.LastError().line, c.line) << c.text;
    EXPECT_EQ(verInfo.LastError().column, c.column) << c.text;
    EXPECT_EQ(verInfo.LastError().reason, c.reason) << c.text;
  }
}

TEST(VerInfoParse, ValuePositionsPointAtEachEntrysFirstValue) {
  using Positions = std::vector<VerInfoTextPosition>;
  VerInfo verInfo;
  // Every kind of line end, a comment, languages, blanks and characters of
  // several bytes before a value: columns count characters.
  ASSERT_EQ(verInfo.Load("A * a\r\n"
                         "; note\n"
                         "\xC3\xA9t\xC3\xA9-en;de  1.0\tv;w x\r"
                         "\r"
                         "B * \xE2\x82\xAC b\n"
                         "C 2 \xF0\x9F\x98\x80"),
            S_OK);
  ASSERT_EQ(verInfo.Entries().size(), 4u);
  EXPECT_EQ(verInfo.ValuePositions(), (Positions{{1, 5}, {3, 16}, {5, 5}, {6, 5}}));
  // A failed parse keeps the positions of the entries it stored.
  ASSERT_EQ(verInfo.Load("K * k\nL 1 l\nM x"), E_INVALIDARG);
  EXPECT_EQ(verInfo.ValuePositions(), (Positions{{1, 5}, {2, 5}}));
  EXPECT_EQ(verInfo.ValuePositions().size(), verInfo.Entries().size());
}

}  // namespace
}  // namespace bright_setup
