// The hits as they reach a real HTTPS collector on loopback (the test CA,
// a localhost certificate). Only the Linux port's test server speaks TLS.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "process_flags.h"
#include "stats/google_analytics_stat.h"
#include "stats/usage_statistics.h"
#include "support/config.h"
#include "test_server.h"

namespace QuickKit {
namespace {

const std::string kTlsData = std::string(NORVANE_TEST_DATA) + "/tls/";

std::string BaseText() { return "collect?v=1&ds=app&an=BrightSetupWindows&aid=VUV&av=1.0.0.64"; }

std::string SessionText(const std::string& clientId) {
  return BaseText() + "&tid=" + TrackingId() + "&cid=" + clientId;
}

// A request target without its leading "/" and its "&qt=N" (kept in
// queueTime when there was one).
struct Hit {
  std::string text;
  std::optional<unsigned long> queueTime;
};

Hit ParseTarget(const std::string& target) {
  static const std::regex kQueueTime("&qt=([0-9]+)$");
  Hit hit;
  hit.text = target.substr(target.empty() || target[0] != '/' ? 0 : 1);
  std::smatch match;
  if (std::regex_search(hit.text, match, kQueueTime)) {
    hit.queueTime = std::stoul(match[1].str());
    hit.text = hit.text.substr(0, static_cast<std::size_t>(match.position(0)));
  }
  return hit;
}

class CollectorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const test::TlsFiles files{kTlsData + "localhost.pem", kTlsData + "localhost.key"};
    server = test::StartTestServer(
        [this](const test::TestRequest&) {
          std::unique_lock<std::mutex> lock(m_gateLock);
          m_gate.wait(lock, [this] { return !m_holding; });
          return test::TestResponse{200, {}, "ok"};
        },
        0, &files);
    ASSERT_NE(server, nullptr);
    setenv("NORVANE_CA_FILE", (kTlsData + "ca.pem").c_str(), 1);
    setenv("NORVANE_COLLECTOR_URL",
           ("https://localhost:" + std::to_string(server->Port()) + "/").c_str(), 1);
  }

  void TearDown() override {
    Release();
    server.reset();
  }

  // While held, the collector answers nothing: the sender waits in the
  // middle of its hit.
  void Hold() {
    const std::lock_guard<std::mutex> lock(m_gateLock);
    m_holding = true;
  }
  void Release() {
    {
      const std::lock_guard<std::mutex> lock(m_gateLock);
      m_holding = false;
    }
    m_gate.notify_all();
  }

  // The hits received so far once there are at least n (or after 60 s: 40
  // hits over TLS take about 10 s under ASan on a loaded machine).
  std::vector<Hit> WaitForHits(std::size_t n) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::vector<test::TestRequest> requests = server->Requests();
    while (requests.size() < n && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      requests = server->Requests();
    }
    std::vector<Hit> hits;
    for (const auto& request : requests) {
      EXPECT_EQ(request.method, "POST");
      hits.push_back(ParseTarget(request.target));
    }
    return hits;
  }

  // The texts of the hits that are not session starts or ends.
  static std::vector<std::string> EventTexts(const std::vector<Hit>& hits) {
    std::vector<std::string> texts;
    for (const Hit& hit : hits) {
      if (hit.text.find("&sc=") == std::string::npos) texts.push_back(hit.text);
    }
    return texts;
  }

  ScopedProcessFlags flags{&StatisticsEnabled};
  std::unique_ptr<test::TestHttpServer> server;

 private:
  std::mutex m_gateLock;
  std::condition_variable m_gate;
  bool m_holding = false;
};

TEST_F(CollectorTest, HitTextsOfSessionStartAndEvents) {
  {
    UsageStatistics statistics;
    StatisticsEnabled = true;
    statistics.StartSession("ID-1");
    ASSERT_EQ(WaitForHits(1).size(), 1u);
    statistics.Client().SendEvent("Cat egory", "Act/ion",
                                  "L\xc3\xa4"
                                  "bel 100%");
    ASSERT_EQ(WaitForHits(2).size(), 2u);
    statistics.Client().SendEvent("Runtime", "StartInstall");
    const std::vector<Hit> hits = WaitForHits(3);
    ASSERT_EQ(hits.size(), 3u);
    // The session start has no hit type and no value.
    EXPECT_EQ(hits[0].text, SessionText("ID-1") + "&sc=start");
    EXPECT_EQ(hits[1].text, SessionText("ID-1") +
                                "&t=event&ec=Cat%20egory&ea=Act%2Fion&el=L%C3%A4bel%20100%&ev=1");
    // No label: no "&el" at all.
    EXPECT_EQ(hits[2].text, SessionText("ID-1") + "&t=event&ec=Runtime&ea=StartInstall&ev=1");
  }
  // Destruction ends the session, and the drain sends it.
  const std::vector<Hit> hits = WaitForHits(4);
  ASSERT_EQ(hits.size(), 4u);
  EXPECT_EQ(hits[3].text, SessionText("ID-1") + "&sc=end");
}

TEST_F(CollectorTest, AHitSentAtOnceHasNoQueueTime) {
  InternetSession session;
  CGoogleAnalyticsStat stat(&session);
  stat.SetApplicationInfo("2.5");
  ASSERT_EQ(stat.SendEvent("Clicks", "ShareIt"), S_OK);
  const std::vector<Hit> hits = WaitForHits(1);
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(
      hits[0].text,
      "collect?v=1&ds=app&an=BrightSetupWindows&aid=VUV&av=2.5&t=event&ec=Clicks&ea=ShareIt&ev=1");
  EXPECT_FALSE(hits[0].queueTime.has_value());
}

TEST_F(CollectorTest, IdenticalWaitingEventsLeaveAsOneHitWithTheirCount) {
  UsageStatistics statistics;
  StatisticsEnabled = true;
  Hold();
  statistics.StartSession("ID-2");
  ASSERT_EQ(WaitForHits(1).size(), 1u);  // the sender is stuck in it
  statistics.ReportClick("ShareIt");
  statistics.ReportClick("ShareIt");
  statistics.ReportClick("ShareIt");
  statistics.ReportClick("ProductSettings");
  // The start hit on its way, and two more.
  EXPECT_EQ(statistics.Client().QueueSize(), 3u);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  Release();
  std::vector<Hit> hits = WaitForHits(3);
  ASSERT_EQ(hits.size(), 3u);
  const std::string click = SessionText("ID-2") + "&t=event&ec=Clicks&ea=";
  EXPECT_EQ(hits[1].text, click + "ShareIt&ev=3");
  EXPECT_EQ(hits[2].text, click + "ProductSettings&ev=1");
  // They waited in the queue at least as long as the collector was held.
  ASSERT_TRUE(hits[1].queueTime.has_value());
  EXPECT_GE(*hits[1].queueTime, 50u);

  // Once it has left, the same event counts from 1 again; repeats that
  // arrive while it is on its way leave after it with their own count.
  Hold();
  statistics.ReportClick("ShareIt");
  ASSERT_EQ(WaitForHits(4).size(), 4u);
  statistics.ReportClick("ShareIt");
  statistics.ReportClick("ShareIt");
  Release();
  hits = WaitForHits(5);
  ASSERT_EQ(hits.size(), 5u);
  EXPECT_EQ(hits[3].text, click + "ShareIt&ev=1");
  EXPECT_EQ(hits[4].text, click + "ShareIt&ev=2");
}

TEST_F(CollectorTest, TheLanguageGoesWithEveryHitThatLeavesAfterItWasAdded) {
  UsageStatistics statistics;
  StatisticsEnabled = true;
  Hold();
  statistics.StartSession("ID-9");
  ASSERT_EQ(WaitForHits(1).size(), 1u);  // built and on its way
  statistics.ReportRuntime("Queued");
  statistics.SetUserLanguage();
  Release();
  const std::vector<Hit> hits = WaitForHits(2);
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0].text, SessionText("ID-9") + "&sc=start");
  EXPECT_EQ(hits[1].text, SessionText("ID-9") + "&ul=en-US&t=event&ec=Runtime&ea=Queued&ev=1");
}

TEST_F(CollectorTest, WithoutAggregationEveryEventIsItsOwnHit) {
  UsageStatistics statistics;
  StatisticsEnabled = true;
  statistics.Client().SetAggregate(false);
  Hold();
  statistics.StartSession("ID-3");
  ASSERT_EQ(WaitForHits(1).size(), 1u);
  statistics.ReportClick("ShareIt");
  statistics.ReportClick("ShareIt");
  EXPECT_EQ(statistics.Client().QueueSize(), 3u);
  Release();
  const std::vector<Hit> hits = WaitForHits(3);
  ASSERT_EQ(hits.size(), 3u);
  EXPECT_EQ(hits[1].text, SessionText("ID-3") + "&t=event&ec=Clicks&ea=ShareIt");
  EXPECT_EQ(hits[2].text, hits[1].text);
}

TEST_F(CollectorTest, SessionRestartsAfterEverySeventhEventPlusTheStart) {
  UsageStatistics statistics;
  StatisticsEnabled = true;
  statistics.StartSession("ID-4");
  for (int i = 1; i <= 9; ++i) statistics.ReportRuntime("R" + std::to_string(i));
  const std::vector<Hit> hits = WaitForHits(12);
  ASSERT_EQ(hits.size(), 12u);
  const std::string session = SessionText("ID-4");
  std::vector<std::string> expected{session + "&sc=start"};
  for (int i = 1; i <= 7; ++i) {
    expected.push_back(session + "&t=event&ec=Runtime&ea=R" + std::to_string(i) + "&ev=1");
  }
  expected.push_back(session + "&sc=end");
  expected.push_back(session + "&sc=start");
  expected.push_back(session + "&t=event&ec=Runtime&ea=R8&ev=1");
  expected.push_back(session + "&t=event&ec=Runtime&ea=R9&ev=1");
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(hits[i].text, expected[i]) << i;
  // The restart goes out directly, not through the queue.
  EXPECT_FALSE(hits[8].queueTime.has_value());
  EXPECT_FALSE(hits[9].queueTime.has_value());
}

TEST_F(CollectorTest, NothingBeforeContinueThenOneStartSequence) {
  UsageStatistics statistics;
  std::atomic<int> identifierCalls{0};
  const auto identifier = [&identifierCalls] {
    ++identifierCalls;
    return std::string("ID-5");
  };
  statistics.SetUserLanguage();
  statistics.ReportClick("ShareIt");
  statistics.ReportExternalLink("abc-def");
  statistics.ReportShare("facebook");
  statistics.ReportIeVersion("11");
  EXPECT_FALSE(statistics.ReportUserClick("customInstall", identifier));
  statistics.ReportRuntime("StopInstall");
  statistics.ReportAntivirus("AVG", "AVG 2013", true, true);
  EXPECT_EQ(statistics.Client().QueueSize(), 0u);

  EXPECT_TRUE(statistics.ReportUserClick("continueClicked", identifier));
  EXPECT_FALSE(statistics.ReportUserClick("continueClicked", identifier));
  EXPECT_FALSE(statistics.ReportUserClick("customInstall", identifier));
  EXPECT_FALSE(statistics.ReportUserClick("shareIt", identifier));
  EXPECT_FALSE(statistics.ReportUserClick("protectAnotherDevice", identifier));
  EXPECT_FALSE(statistics.ReportUserClick("ShareIt", identifier));  // case matters
  statistics.ReportExternalLink("abc-def");
  statistics.ReportShare("myspace");
  statistics.ReportShare("email");
  statistics.ReportProtectAnotherDevice();
  statistics.ReportIeVersion("11.0.9600");
  statistics.ReportRuntime("AfterRebootStart");
  statistics.ReportCrash();

  // 12 hits and the restart pair after the eighth.
  const std::vector<Hit> hits = WaitForHits(14);
  EXPECT_EQ(identifierCalls, 1);
  const std::string withLanguage = SessionText("ID-5") + "&ul=en-US";
  // The start hit was queued just before the language was added; the base
  // text is taken when a hit leaves, so it carries the language unless the
  // sender took it in between.
  ASSERT_FALSE(hits.empty());
  EXPECT_TRUE(hits[0].text == withLanguage + "&sc=start" ||
              hits[0].text == SessionText("ID-5") + "&sc=start")
      << hits[0].text;
  const std::vector<std::string> expected{
      "&t=event&ec=Runtime&ea=AcceptEULA&ev=1",
      "&t=event&ec=Clicks&ea=ProductSettings&ev=1",
      "&t=event&ec=Clicks&ea=ShareIt&ev=1",
      "&t=event&ec=Clicks&ea=ProtectAnotherDevice&ev=1",
      "&t=event&ec=Clicks&ea=ExternalLink:abc-def&ev=1",
      "&t=event&ec=ShareIt&ea=myspace&ev=1",
      "&t=event&ec=ShareIt&ea=email&ev=1",
      "&t=event&ec=ProtectAnotherDevice&ea=email&ev=1",
      "&t=event&ec=IE_Version&ea=11.0.9600&ev=1",
      "&t=event&ec=Runtime&ea=AfterRebootStart&ev=1",
      "&t=event&ec=Crash&ea=FAIL&ev=1",
  };
  const std::vector<std::string> events = EventTexts(hits);
  ASSERT_EQ(events.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(events[i], withLanguage + expected[i]) << i;
  }
}

TEST_F(CollectorTest, ContinueReturnsBeforeTheIdentifierAndItsEventsWaitForTheSession) {
  // The identifier is a hardware probe: here one that takes until the test
  // lets it go.
  std::promise<void> probeMayEnd;
  std::shared_future<void> mayEnd = probeMayEnd.get_future().share();
  std::promise<std::thread::id> probedOn;
  const auto identifier = [&] {
    probedOn.set_value(std::this_thread::get_id());
    mayEnd.wait_for(std::chrono::seconds(10));
    return std::string("ID-10");
  };
  {
    UsageStatistics statistics;
    // Declared after the statistics, so that an assertion that leaves early
    // lets the probe end before the destructor waits for it.
    struct ReleaseOnExit {
      std::promise<void>& promise;
      bool done = false;
      void Now() {
        if (!done) promise.set_value();
        done = true;
      }
      ~ReleaseOnExit() { Now(); }
    } release{probeMayEnd};
    // The page's call comes back while the probe still runs, on a thread
    // of its own.
    EXPECT_TRUE(statistics.ReportUserClick("continueClicked", identifier));
    std::future<std::thread::id> probeThread = probedOn.get_future();
    ASSERT_EQ(probeThread.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_NE(probeThread.get(), std::this_thread::get_id());

    // Events raised meanwhile wait: nothing may leave without the client id.
    statistics.ReportUserClick("customInstall", identifier);
    statistics.ReportRuntime("StartInstall");
    statistics.ReportAreaSetting("Money", true);
    statistics.SetUserLanguage();
    EXPECT_EQ(statistics.Client().QueueSize(), 0u);
    EXPECT_TRUE(server->Requests().empty());

    release.Now();
    const std::vector<Hit> hits = WaitForHits(5);
    ASSERT_GE(hits.size(), 5u);
    EXPECT_TRUE(hits[0].text == SessionText("ID-10") + "&ul=en-US&sc=start" ||
                hits[0].text == SessionText("ID-10") + "&sc=start")
        << hits[0].text;
    const std::string withLanguage = SessionText("ID-10") + "&ul=en-US";
    EXPECT_EQ(hits[1].text, withLanguage + "&t=event&ec=Runtime&ea=AcceptEULA&ev=1");
    EXPECT_EQ(hits[2].text, withLanguage + "&t=event&ec=Clicks&ea=ProductSettings&ev=1");
    EXPECT_EQ(hits[3].text, withLanguage + "&t=event&ec=Runtime&ea=StartInstall&ev=1");
    EXPECT_EQ(hits[4].text,
              withLanguage + "&t=event&ec=AreasSettings&ea=Money&el=Checked:true&ev=1");
  }
}

TEST_F(CollectorTest, DestroyedWhileTheIdentifierIsComputedTheSessionStillStartsThenEnds) {
  {
    UsageStatistics statistics;
    EXPECT_TRUE(statistics.ReportUserClick("continueClicked", [] {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      return std::string("ID-11");
    }));
    statistics.ReportClick("ShareIt");
  }
  const std::vector<std::string> texts = [&] {
    std::vector<std::string> out;
    for (const Hit& hit : WaitForHits(4)) out.push_back(hit.text);
    return out;
  }();
  const std::string session = SessionText("ID-11");
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_TRUE(texts[0] == session + "&ul=en-US&sc=start" || texts[0] == session + "&sc=start")
      << texts[0];
  EXPECT_EQ(texts[1], session + "&ul=en-US&t=event&ec=Runtime&ea=AcceptEULA&ev=1");
  EXPECT_EQ(texts[2], session + "&ul=en-US&t=event&ec=Clicks&ea=ShareIt&ev=1");
  EXPECT_EQ(texts[3], session + "&ul=en-US&sc=end");
}

TEST_F(CollectorTest, TheCrashReportIsSentWithoutStatisticsEnabled) {
  {
    UsageStatistics statistics;
    statistics.StartSession("ID-6");
    statistics.ReportCrash();
  }
  const std::vector<Hit> hits = WaitForHits(3);
  ASSERT_EQ(hits.size(), 3u);
  EXPECT_EQ(hits[0].text, SessionText("ID-6") + "&sc=start");
  EXPECT_EQ(hits[1].text, SessionText("ID-6") + "&t=event&ec=Crash&ea=FAIL&ev=1");
  EXPECT_EQ(hits[2].text, SessionText("ID-6") + "&sc=end");
}

TEST_F(CollectorTest, ASessionNeverStartedSendsNothingAtTheEnd) {
  // The user closed the window before Continue: nothing leaves, and the
  // close does not wait for a collector.
  { UsageStatistics statistics; }
  // The drain is over when the destructor returns, so any hit would be here.
  EXPECT_TRUE(server->Requests().empty());

  // Against a control run that did start its session.
  {
    UsageStatistics statistics;
    statistics.Client().StartSession("ID-7");
  }
  const std::vector<Hit> hits = WaitForHits(2);
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0].text, SessionText("ID-7") + "&sc=start");
  EXPECT_EQ(hits[1].text, SessionText("ID-7") + "&sc=end");
}

TEST_F(CollectorTest, AntivirusReportSendsTwoEventsAndNothingWithoutADescription) {
  UsageStatistics statistics;
  StatisticsEnabled = true;
  statistics.StartSession("ID-7");
  statistics.ReportAntivirus("NotProtected", "", false, false);
  statistics.ReportAntivirus("", "x", false, false);
  statistics.ReportAntivirus("AVG", "AVG Internet Security 2013:9.0", true, false);
  const std::vector<std::string> events = EventTexts(WaitForHits(3));
  ASSERT_EQ(events.size(), 2u);
  const std::string action =
      SessionText("ID-7") + "&t=event&ec=Antivirus&ea=AVG:AVG%20Internet%20Security%202013:9.0";
  EXPECT_EQ(events[0], action + "&el=Enabled:true&ev=1");
  EXPECT_EQ(events[1], action + "&el=Updated:false&ev=1");
}

TEST_F(CollectorTest, InstallStartReportsRuntimeAreasThenProducts) {
  const std::vector<AreaSetting> areas{{"Device", false}, {"Privacy", true}, {"Money", false},
                                       {"Family", true},  {"Data", false},   {"Business", false}};
  std::vector<ProductSetting> products;
  for (int i = 0; i < 8; ++i) {
    products.push_back({"P" + std::to_string(i), i % 2 == 0, i == 2 || i == 7, i < 4});
  }
  UsageStatistics statistics;
  StatisticsEnabled = true;
  statistics.StartSession("ID-8");
  statistics.ReportInstallStart(areas, products);

  std::vector<std::string> expected{"&t=event&ec=Runtime&ea=StartInstall&ev=1"};
  const auto flag = [](bool on) { return std::string(on ? "true" : "false"); };
  for (const AreaSetting& area : areas) {
    expected.push_back("&t=event&ec=AreasSettings&ea=" + area.name +
                       "&el=Checked:" + flag(area.checked) + "&ev=1");
  }
  for (const ProductSetting& product : products) {
    const std::string prefix = "&t=event&ec=ProductsSettings&ea=" + product.name;
    expected.push_back(prefix + "&el=Checked:" + flag(product.checked) + "&ev=1");
    expected.push_back(prefix + "&el=Installed:" + flag(product.installed) + "&ev=1");
    expected.push_back(prefix + "&el=Default:" + flag(product.isDefault) + "&ev=1");
  }
  ASSERT_EQ(expected.size(), 31u);
  // 1 session start, 31 events, and a restart pair after every 8 hits.
  const std::vector<std::string> events = EventTexts(WaitForHits(32 + 8));
  ASSERT_EQ(events.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(events[i], SessionText("ID-8") + expected[i]) << i;
  }
}

TEST_F(CollectorTest, UnknownCertificateAuthorityGetsNoHits) {
  unsetenv("NORVANE_CA_FILE");
  InternetSession session;
  CGoogleAnalyticsStat stat(&session);
  EXPECT_TRUE(FAILED(stat.SendEvent("Clicks", "ShareIt")));
  EXPECT_TRUE(server->Requests().empty());
}

}  // namespace
}  // namespace QuickKit
