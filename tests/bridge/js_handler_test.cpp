// The script object against a scripted installer, a recording page and
// window, and the real catalogue model and documents.
#include "bridge/js_handler.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bridge/install_outcome.h"
#include "catalogue/catalogue_tables.h"
#include "process_flags.h"
#include "scoped_env_posix.h"
#include "support/resources.h"
#include "test_server.h"

namespace bright_setup {
namespace {

class RecordingPage : public UiDeck::IPushNotificator, public UiDeck::IWindowCommands {
 public:
  std::vector<std::string> log;

  bool Notify(const std::string& api, const std::string& method, const std::string& text) override {
    log.push_back(api + "." + method + "(\"" + text + "\")");
    return true;
  }
  bool Notify(const std::string& api, const std::string& method, int number) override {
    log.push_back(api + "." + method + "(" + std::to_string(number) + ")");
    return true;
  }
  bool Notify(const std::string& api, const std::string& method) override {
    log.push_back(api + "." + method + "()");
    return true;
  }
  bool Show() override { return Record("Show"); }
  bool Minimize() override { return Record("Minimize"); }
  bool Close() override { return Record("Close"); }

 private:
  bool Record(const std::string& what) {
    log.push_back("window." + what);
    return true;
  }
};

// Runs are started and ended by the test.
class ScriptedInstaller : public IInstaller {
 public:
  std::vector<std::vector<std::int32_t>> starts;
  int stops = 0;
  int resumes = 0;
  bool running = false;
  std::uint32_t run = 0;
  RunOutcome outcome;

  std::uint32_t StartInstallation(const std::vector<std::int32_t>& products) override {
    starts.push_back(products);
    running = true;
    return ++run;
  }
  std::uint32_t ResumeInstallation() override {
    ++resumes;
    running = true;
    return ++run;
  }
  void RequestStop() override { ++stops; }
  bool IsRunning() const override { return running; }
  bool IsInstalled(std::int32_t) const override { return false; }
  std::uint32_t CurrentRun() const override { return run; }
  bool GetOutcome(std::uint32_t number, RunOutcome* out) const override {
    if (running || number != outcome.run) return false;
    *out = outcome;
    return true;
  }
  void KeepRunForNextLogon() override {}

  void End(std::vector<ProductOutcome> products, bool stopped = false) {
    running = false;
    outcome = {run, std::move(products), stopped, false};
  }
};

std::vector<CatalogueProduct> AllProducts() {
  std::vector<CatalogueProduct> products;
  for (std::int32_t i = 0; i < kProductCount; ++i) {
    CatalogueProduct product;
    product.productIndex = i;
    product.url = "http://127.0.0.1:1/p" + std::to_string(i);
    products.push_back(product);
  }
  products[kFortress].areas = {0, 1, 2};
  products[2].areas = {0};  // tidy
  return products;
}

// The statistics end their session when the script object goes: a
// collector on loopback answers at once, so that no test waits out the
// drain.
class LoopbackCollector {
 public:
  LoopbackCollector() {
    const std::string data = NORVANE_TEST_DATA "/tls/";
    const QuickKit::test::TlsFiles files{data + "localhost.pem", data + "localhost.key"};
    m_server = QuickKit::test::StartTestServer(
        [](const QuickKit::test::TestRequest&) { return QuickKit::test::TestResponse{}; }, 0,
        &files);
    const std::string url =
        "https://localhost:" + std::to_string(m_server != nullptr ? m_server->Port() : 1) + "/";
    m_collector.emplace("NORVANE_COLLECTOR_URL", url.c_str());
    m_ca.emplace("NORVANE_CA_FILE", (data + "ca.pem").c_str());
  }

 private:
  std::unique_ptr<QuickKit::test::TestHttpServer> m_server;
  std::optional<QuickKit::ScopedEnv> m_collector;
  std::optional<QuickKit::ScopedEnv> m_ca;
};

class JsHandlerTest : public ::testing::Test, public IJsHandlerHost {
 protected:
  JsHandlerTest() : m_model(AllProducts(), &page) {
    m_model.InitSelection();
    handler.Attach(&page, &page);
  }

  CatalogueModel& Model() override { return m_model; }
  IInstaller* Installer() override { return &installer; }
  std::string GetQrCodePath() const override { return "/work/qrCode.png"; }

  LoopbackCollector collector;
  QuickKit::ScopedProcessFlags flags{&QuickKit::StatisticsEnabled};
  RecordingPage page;
  ScriptedInstaller installer;

  class NoShell : public IShellOpener {
   public:
    bool OpenWithShell(const std::string&) override { return false; }
  } shell;

 private:
  CatalogueModel m_model;

 protected:
  JsHandler handler{*this, shell};
};

TEST_F(JsHandlerTest, AttributesByExactName) {
  QuickKit::RcData licence;
  ASSERT_EQ(QuickKit::LoadRcData(QuickKit::kLicenceResourceId, &licence), S_OK);
  EXPECT_EQ(handler.GetAttr("eula"),
            std::string(reinterpret_cast<const char*>(licence.data), licence.size));
  EXPECT_FALSE(handler.GetAttr("userManual").empty());
  EXPECT_EQ(handler.GetAttr("Eula"), "");
  EXPECT_EQ(handler.GetAttr("qrCode"), "/work/qrCode.png");
  EXPECT_NE(handler.GetAttr("installOutcome").find("\"none\""), std::string::npos);
}

TEST_F(JsHandlerTest, StartInstallShowsTheInstallingPageThenRunsTheSelection) {
  handler.CheckAreaById("Device");
  page.log.clear();
  handler.StartInstall();
  ASSERT_EQ(installer.starts.size(), 1u);
  EXPECT_EQ(installer.starts[0], (std::vector<std::int32_t>{kFortress, 2}));
  ASSERT_FALSE(page.log.empty());
  EXPECT_EQ(page.log.front(), "ClientAPI.GoToPage(3)");

  // A second Install while the run goes on starts nothing.
  handler.StartInstall();
  EXPECT_EQ(installer.starts.size(), 1u);
}

TEST_F(JsHandlerTest, TheEndOfARunCarriesItsOutcomeAndTryAgainRunsOnlyTheFailed) {
  handler.CheckAreaById("Device");
  handler.StartInstall();
  installer.End({{kFortress, ProductResult::DownloadFailed}, {2, ProductResult::Installed}});
  page.log.clear();
  handler.OnInstallFinished(installer.run);
  EXPECT_EQ(page.log, (std::vector<std::string>{"ClientAPI.ChangedAttr(\"installOutcome\")",
                                                "ClientAPI.GoToPage(4)"}));
  const std::string outcome = handler.GetAttr("installOutcome");
  EXPECT_NE(outcome.find("\"failed\""), std::string::npos) << outcome;
  EXPECT_NE(outcome.find("\"downloadFailed\""), std::string::npos) << outcome;

  handler.RetryInstall();
  ASSERT_EQ(installer.starts.size(), 2u);
  EXPECT_EQ(installer.starts[1], (std::vector<std::int32_t>{kFortress}));
}

TEST_F(JsHandlerTest, AStoppedRunSaysSoAndOffersNoRetry) {
  handler.CheckAreaById("Device");
  handler.StartInstall();
  handler.StopInstall();
  EXPECT_EQ(installer.stops, 1);
  installer.End({{kFortress, ProductResult::Installed}, {2, ProductResult::NotRun}}, true);
  handler.OnInstallFinished(installer.run);
  EXPECT_NE(handler.GetAttr("installOutcome").find("\"stopped\""), std::string::npos);
  handler.RetryInstall();
  EXPECT_EQ(installer.starts.size(), 1u);
}

TEST_F(JsHandlerTest, StopWithoutARunOnlyReports) {
  handler.StopInstall();
  EXPECT_EQ(installer.stops, 0);
  EXPECT_TRUE(page.log.empty());
}

TEST_F(JsHandlerTest, CloseDuringARunStopsItThenClosesTheWindow) {
  handler.CheckAreaById("Device");
  handler.StartInstall();
  page.log.clear();
  EXPECT_TRUE(handler.Close());
  EXPECT_EQ(installer.stops, 1);
  EXPECT_EQ(page.log, std::vector<std::string>{"window.Close"});
}

TEST_F(JsHandlerTest, WindowIsReadyAfterAResumeShowsTheInstallingPageFirst) {
  handler.ResumeAfterReboot();
  EXPECT_EQ(installer.resumes, 1);
  page.log.clear();
  handler.WindowIsReady();
  EXPECT_EQ(page.log,
            (std::vector<std::string>{"ClientAPI.GoToPage(3)", "ClientAPI.ChangedAttr(\"qrCode\")",
                                      "window.Show"}));
}

TEST_F(JsHandlerTest, ARestartedPageGetsTheRunningInstallBack) {
  handler.CheckAreaById("Device");
  handler.StartInstall();
  handler.OnInstallPercent(40);
  handler.OnPageRestarted();
  page.log.clear();
  handler.WindowIsReady();
  EXPECT_EQ(page.log, (std::vector<std::string>{
                          "ClientAPI.GoToPage(3)", "ClientAPI.ChangedAttr(\"installPercents\")",
                          "ClientAPI.ChangedAttr(\"qrCode\")", "window.Show"}));
  EXPECT_EQ(handler.GetInstallPercents(), 40);
}

TEST(InstallOutcome, EachResultHasItsWordAndItsPlaceInTheRun) {
  struct Case {
    ProductResult result;
    const char* word;
    bool failed;
  };
  const Case cases[] = {
      {ProductResult::Installed, "installed", false},
      {ProductResult::Skipped, "alreadyInstalled", false},
      {ProductResult::DownloadFailed, "downloadFailed", true},
      {ProductResult::Damaged, "damaged", true},
      {ProductResult::StartFailed, "startFailed", true},
      {ProductResult::Started, "notRun", false},
      {ProductResult::NotRun, "notRun", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProductResultWord(c.result), c.word);
    RunOutcome outcome;
    outcome.products = {{kScout, ProductResult::Installed}, {kGuard, c.result}};
    EXPECT_EQ(FailedProducts(outcome),
              c.failed ? std::vector<std::int32_t>{kGuard} : std::vector<std::int32_t>{})
        << c.word;
    // Not stopped, so a product left behind is a failure of the run too.
    EXPECT_EQ(RunResultWord(outcome), ProductInstalled(c.result) ? "installed" : "failed")
        << c.word;
  }
  RunOutcome stopped;
  stopped.stopped = true;
  stopped.products = {{kScout, ProductResult::Installed}};
  EXPECT_EQ(RunResultWord(stopped), "stopped");
}

}  // namespace
}  // namespace bright_setup
