#include "catalogue/catalogue_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bright_setup {
namespace {

using Strings = std::vector<std::string>;

const std::string kBom = "\xEF\xBB\xBF";
const std::string kCatalogue = "; products\nSHIELD.URL * https://dl.example/shield.exe\n";

std::string FirstValue(const VerInfo& verInfo, const std::string& key) {
  VerInfoEntry entry;
  if (!verInfo.Find(key, {"en"}, {1, 0, 0}, entry)) return "<none>";
  return entry.values[0];
}

TEST(CatalogueText, ByteOrderMarkIsDroppedAndTheRestParsesAlike) {
  VerInfo plain;
  VerInfo marked;
  ASSERT_TRUE(LoadCatalogueText(kCatalogue, plain));
  ASSERT_TRUE(LoadCatalogueText(kBom + kCatalogue, marked));
  EXPECT_EQ(marked.Entries(), plain.Entries());
  EXPECT_EQ(FirstValue(marked, "SHIELD.URL"), "https://dl.example/shield.exe");
}

TEST(CatalogueText, FirstCharacterAboveLatin1IsDropped) {
  struct Case {
    std::string text;
    const char* key;  // the key the first line ends up with
  };
  const Case cases[] = {
      {"\xC4\x80K * v", "K"},                    // U+0100 is dropped
      {"\xC3\xBFK * v", "\xC3\xBFK"},            // U+00FF stays
      {"\xF0\x9F\x98\x80K * v", "K"},            // kept whole, then dropped as one character
      {"\xF0\x90\x81\x81K * v", "K"},            // U+10041: its low 16 bits would be 'A'
      {kBom + kBom + "K * v", "\xEF\xBB\xBFK"},  // only the first one goes
  };
  for (const Case& c : cases) {
    VerInfo verInfo;
    ASSERT_TRUE(LoadCatalogueText(c.text, verInfo)) << c.text;
    ASSERT_EQ(verInfo.Entries().size(), 1u);
    EXPECT_EQ(verInfo.Entries()[0].name, c.key);
  }
}

TEST(CatalogueText, CharactersOutsideTheBasicPlaneAreKeptWhole) {
  VerInfo verInfo;
  ASSERT_TRUE(LoadCatalogueText("K * \xF0\x9F\x98\x80;x\xF0\x90\x81\x81", verInfo));
  VerInfoEntry entry;
  ASSERT_TRUE(verInfo.Find("K", {}, {}, entry));
  EXPECT_EQ(entry.values, (Strings{"\xF0\x9F\x98\x80", "x\xF0\x90\x81\x81"}));
}

TEST(CatalogueText, FailuresReturnFalseAndFindNothing) {
  struct Case {
    std::string bytes;
    const char* reason;
  };
  const Case cases[] = {
      {"K * v\xFF", "the text is not valid UTF-8 (byte 6)"},
      {"K * \xC3", "the text is not valid UTF-8 (byte 5)"},
      {"K * \xC0\xAF", "the text is not valid UTF-8 (byte 5)"},          // overlong '/'
      {"K * \xED\xA0\x80", "the text is not valid UTF-8 (byte 5)"},      // a surrogate
      {"K * \xF4\x90\x80\x80", "the text is not valid UTF-8 (byte 5)"},  // above U+10FFFF
      {"SHIELD.URL * u\nK 99999999999 v",
       "a version number is out of range (stoi argument out of range)"},
      {kBom + "<html><body>Sign in</body></html>", "the text is an HTML page, not a catalogue"},
      {"K 1.0 a;", "expected a value after ';', found the end of the text"},
  };
  for (const Case& c : cases) {
    VerInfo verInfo;
    EXPECT_FALSE(LoadCatalogueText(c.bytes, verInfo)) << c.bytes;
    EXPECT_EQ(verInfo.LastError().reason, c.reason) << c.bytes;
    EXPECT_EQ(FirstValue(verInfo, "SHIELD.URL"), "<none>");
    EXPECT_EQ(FirstValue(verInfo, "K"), "<none>");
  }
}

TEST(CatalogueText, EmptyFileIsAnEmptyCatalogue) {
  for (const std::string& bytes : {std::string(), kBom}) {
    VerInfo verInfo;
    EXPECT_TRUE(LoadCatalogueText(bytes, verInfo));
    EXPECT_TRUE(verInfo.Entries().empty());
  }
}

TEST(CatalogueText, ColumnCountsAVisibleDroppedCharacterButNotTheMark) {
  VerInfo marked;
  ASSERT_FALSE(LoadCatalogueText(kBom + "K x", marked));
  EXPECT_EQ(marked.LastError().column, 3u);
  VerInfo visible;
  ASSERT_FALSE(LoadCatalogueText("\xC4\x80K x", visible));
  EXPECT_EQ(visible.LastError().column, 4u);
  // The same for the places of values, on the first line only.
  ASSERT_TRUE(LoadCatalogueText(kBom + "K * v\nL * w", marked));
  ASSERT_TRUE(LoadCatalogueText("\xC4\x80K * v\nL * w", visible));
  using Positions = std::vector<VerInfoTextPosition>;
  EXPECT_EQ(marked.ValuePositions(), (Positions{{1, 5}, {2, 5}}));
  EXPECT_EQ(visible.ValuePositions(), (Positions{{1, 6}, {2, 5}}));
  // An HTML page is not parsed: the catalogue keeps its entries and places.
  EXPECT_FALSE(LoadCatalogueText("\xC4\x80<html>", visible));
  EXPECT_EQ(visible.ValuePositions(), (Positions{{1, 6}, {2, 5}}));
}

}  // namespace
}  // namespace bright_setup
