// The analytics client's rules that need no collector, and its drain with
// the collector out of reach. Both ports.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "net/internet_errors.h"
#include "process_flags.h"
#include "stats/google_analytics_stat.h"
#include "stats/usage_statistics.h"
#include "test_server.h"

namespace QuickKit {
namespace {

void SetEnv(const char* name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name, value.c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

TEST(EscapeEventField, EscapesUnsafeCharactersAndUtf8ButNotPercent) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"a", "a"},
      {" ", "%20"},  // one character is escaped like any other text
      {"AcceptEULA", "AcceptEULA"},
      {"ExternalLink:abc-def", "ExternalLink:abc-def"},
      {"a b&c=d#e?f/g", "a%20b%26c=d%23e%3Ff%2Fg"},
      {"<\"{|}\\^[]`>", "%3C%22%7B%7C%7D%5C%5E%5B%5D%60%3E"},
      {"100%", "100%"},
      {"Checked:true", "Checked:true"},
      {"~!*'();,+$@.-_", "~!*'();,+$@.-_"},
      {"\t\x7f", "%09%7F"},
      {"\xc3\xa4", "%C3%A4"},                // U+00E4
      {"\xe2\x82\xac", "%E2%82%AC"},         // U+20AC
      {"\xf0\x9f\x98\x80", "%F0%9F%98%80"},  // U+1F600
  };
  for (const auto& [text, escaped] : cases) {
    EXPECT_EQ(EscapeEventField(text), escaped) << text;
  }
}

TEST(ElapsedTicks, CountsAcrossTheWrapWithOneLess) {
  EXPECT_EQ(ElapsedTicks(1000, 400), 600u);
  EXPECT_EQ(ElapsedTicks(5, 5), 0u);
  // The counter wrapped: 0xFFFFFFF0 to 0x10 is 0x20 ticks, counted as 0x1F.
  EXPECT_EQ(ElapsedTicks(0x10u, 0xFFFFFFF0u), 0x1Fu);
  EXPECT_EQ(ElapsedTicks(0u, 0xFFFFFFFFu), 0u);
}

TEST(CGoogleAnalyticsStat, EventNeedsCategoryAndActionAndSessionNeedsAnOpenSession) {
  CGoogleAnalyticsStat stat(nullptr);
  EXPECT_EQ(stat.SendEvent(std::nullopt, "a"), E_INVALIDARG);
  EXPECT_EQ(stat.SendEvent("a", std::nullopt, "l"), E_INVALIDARG);
  EXPECT_EQ(stat.SendEvent("a", "b"), HRESULT_FROM_WIN32(ERROR_INVALID_STATE));
  EXPECT_EQ(stat.BaseQuery(), "collect?v=1");
  EXPECT_EQ(stat.SetApplicationInfo(""), S_OK);
  EXPECT_EQ(stat.BaseQuery(), "collect?v=1&ds=app&an=BrightSetupWindows&aid=VUV");
}

// Destroying the client keeps its 10 s drain and then returns, whatever
// the collector does: a hit still on its way to a collector that accepts
// and never answers is cancelled rather than waited for (its connect
// time-out alone is a minute). The queued hits are dropped.
TEST(UsageStatistics, DestructionReturnsAfterTheDrainEvenWithAHitOnItsWay) {
  using namespace std::chrono_literals;
  auto silent = test::StartSilentListener();
  ASSERT_NE(silent, nullptr);
  const std::pair<const char*, std::uint16_t> collectors[] = {
      {"collector unreachable", test::UnusedPort()},
      {"collector accepts and never answers", silent->Port()},
  };
  const ScopedProcessFlags flags{&StatisticsEnabled};
  StatisticsEnabled = true;
  for (const auto& [what, port] : collectors) {
    SCOPED_TRACE(what);
    ASSERT_NE(port, 0);
    SetEnv("NORVANE_COLLECTOR_URL", "https://127.0.0.1:" + std::to_string(port) + "/");
    auto statistics = std::make_unique<UsageStatistics>();
    statistics->StartSession("CLIENT");
    for (int i = 0; i < 20; ++i) statistics->ReportClick("Click" + std::to_string(i));
    // Nothing can leave: every hit stays queued.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(statistics->Client().QueueSize(), 21u);
    const auto start = std::chrono::steady_clock::now();
    statistics.reset();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 9900ms);
    EXPECT_LE(took, 10500ms);
    std::cout << "[ figure   ] " << what << ": destruction took "
              << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms\n";
  }
  // The second collector really held a hit on its way.
  EXPECT_GE(silent->Accepted(), 1);
  SetEnv("NORVANE_COLLECTOR_URL", "");
}

}  // namespace
}  // namespace QuickKit
