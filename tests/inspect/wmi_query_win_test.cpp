// WMI under Wine: the query runner's ends (rows, failure, stop, time-out)
// and the installed-product WQL.
#include "inspect/wmi_query_win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

namespace QuickKit {
namespace {

constexpr char kBoardQuery[] = "SELECT Product, SerialNumber FROM Win32_BaseBoard";

TEST(WmiQueryWin, ReadsRowsAndFailsOnWhatCannotBeRead) {
  std::vector<WmiRow> rows;
  WmiQueryOptions options;
  options.limit = 1;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(WmiQuery("ROOT\\CIMV2", kBoardQuery, &rows, options));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_FALSE(rows[0].Empty());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));

  rows.clear();
  EXPECT_FALSE(WmiQuery("ROOT\\NoSuchNamespace", kBoardQuery, &rows));
  EXPECT_FALSE(WmiQuery("ROOT\\CIMV2", "SELECT nothing FROM", &rows));
  // Text that is not UTF-8 fails without an exception.
  EXPECT_FALSE(
      WmiQuery("ROOT\\CIMV2", "SELECT * FROM Win32_BaseBoard WHERE Product = '\xFF'", &rows));
  EXPECT_TRUE(rows.empty());
}

TEST(WmiQueryWin, AStopOrAnElapsedTimeOutEndsTheQueryAsFailed) {
  std::vector<WmiRow> rows;
  std::atomic<bool> stop{true};
  WmiQueryOptions stopped;
  stopped.stop = &stop;
  EXPECT_FALSE(WmiQuery("ROOT\\CIMV2", kBoardQuery, &rows, stopped));
  WmiQueryOptions noTime;
  noTime.timeout = std::chrono::milliseconds(0);
  EXPECT_FALSE(WmiQuery("ROOT\\CIMV2", kBoardQuery, &rows, noTime));
  EXPECT_TRUE(rows.empty());
}

TEST(WmiQueryWin, InstalledProductQueriesMatchTheNameLiterally) {
  EXPECT_EQ(EscapeWqlLikeLiteral("plain name 2013"), "plain name 2013");
  EXPECT_EQ(EscapeWqlLikeLiteral("a'b\\c%d_e[f]"), "a\\'b\\\\c[%]d[_]e[[]f]");
  using Kind = ProductNameMatch::Kind;
  EXPECT_EQ(InstalledProductQuery({Kind::Contains, "Norvane' or Name like '%"}),
            "select Vendor, Version from WIN32_Product where Name like "
            "'%Norvane\\' or Name like \\'[%]%'");
  EXPECT_EQ(InstalledProductQuery({Kind::StartsWith, "Trend Micro Internet Security"}),
            "select Vendor, Version from WIN32_Product where Name like "
            "'Trend Micro Internet Security%'");
}

}  // namespace
}  // namespace QuickKit
