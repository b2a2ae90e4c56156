#include "app/zip_reader.h"

#include <gtest/gtest.h>

#include "zip_fixture.h"

namespace QuickKit {
namespace {

using testing_zip::MakeZip;

std::string BigText() {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "line " + std::to_string(i) + "\n";
  return text;
}

TEST(ZipArchive, ListsEntriesInOrderAndExtractsBothMethods) {
  const std::string big = BigText();
  ZipArchive archive;
  ASSERT_EQ(archive.OpenBytes(MakeZip({{"layout/", ""},
                                       {"layout/a.txt", "stored bytes", false},
                                       {"layout/b.txt", big, true},
                                       {"layout/empty", "", true}})),
            S_OK);
  const auto& entries = archive.Entries();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_TRUE(entries[0].isFolder);
  EXPECT_EQ(entries[1].name, "layout/a.txt");
  EXPECT_EQ(entries[2].method, 8);
  for (std::size_t i = 1; i < 4; ++i) {
    std::string out;
    StringAsSeqStreamA target(&out);
    EXPECT_EQ(archive.Extract(entries[i], &target), S_OK) << entries[i].name;
    EXPECT_EQ(out, i == 1 ? "stored bytes" : i == 2 ? big : "");
  }
}

TEST(ZipArchive, DamageIsReportedNotGuessedAt) {
  ZipArchive archive;
  const HRESULT badFormat = HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);
  EXPECT_EQ(archive.OpenBytes(""), badFormat);
  EXPECT_EQ(archive.OpenBytes("this is not an archive at all, only text"), badFormat);
  std::string zip = MakeZip({{"a.txt", BigText()}});
  EXPECT_EQ(archive.OpenBytes(zip.substr(0, zip.size() - 5)), badFormat);  // end record cut

  ASSERT_EQ(archive.OpenBytes(MakeZip({{"a.txt", "content"}}, 0x12345678)), S_OK);
  std::string out;
  StringAsSeqStreamA target(&out);
  EXPECT_EQ(archive.Extract(archive.Entries()[0], &target), badFormat);  // CRC mismatch

  // Deflated data overwritten in the middle.
  zip = MakeZip({{"a.txt", BigText()}});
  for (std::size_t i = 60; i < 200; ++i) zip[i] = '\xFF';
  ASSERT_EQ(archive.OpenBytes(zip), S_OK);
  out.clear();
  EXPECT_EQ(archive.Extract(archive.Entries()[0], &target), badFormat);
}

}  // namespace
}  // namespace QuickKit
