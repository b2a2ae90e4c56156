#include "install/serial_installer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "fake_installer_fixture.h"
#include "install/installer_process.h"
#include "install/installer_state.h"
#include "no_prompt.h"
#include "process_flags.h"
#include "registry_fixture.h"
#include "support/digest.h"
#include "support/registry.h"
#include "test_server.h"

namespace bright_setup {
namespace {

using namespace testing_fake;
using QuickKit::test::TestRequest;
using QuickKit::test::TestResponse;
using QuickKit::test::NoPrompt;

struct Post {
  UiDeck::InstallStatus status;
  std::int32_t value;
};

// What the main window would receive, in order.
class RecordingPoster : public UiDeck::ICustomMessagePoster {
 public:
  bool PostCustomMessage(UiDeck::InstallStatus status, std::int32_t value) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_posts.push_back({status, value});
    m_changed.notify_all();
    return true;
  }
  // Waits for the end of some run; of the given one when run is not 0.
  bool WaitFinished(std::uint32_t run = 0,
                    std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, limit, [&] {
      for (const Post& post : m_posts) {
        if (post.status == UiDeck::kInstallFinished &&
            (run == 0 || static_cast<std::uint32_t>(post.value) == run)) {
          return true;
        }
      }
      return false;
    });
  }
  std::vector<Post> Posts() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_posts;
  }
  // The percentages posted, whichever run posted them.
  std::vector<std::int32_t> Percents() {
    std::vector<std::int32_t> percents;
    for (const Post& post : Posts()) {
      if (post.status == UiDeck::kInstallProgress) {
        percents.push_back(UiDeck::ProgressPercent(post.value));
      }
    }
    return percents;
  }
  // The run numbers that the end posts carried.
  std::vector<std::uint32_t> Ends() {
    std::vector<std::uint32_t> ends;
    for (const Post& post : Posts()) {
      if (post.status == UiDeck::kInstallFinished) {
        ends.push_back(static_cast<std::uint32_t>(post.value));
      }
    }
    return ends;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<Post> m_posts;
};

bool RunValueExists() {
  QuickKit::RegistryKey run;
  QuickKit::RegistryValue value;
  return SUCCEEDED(QuickKit::RegistryKey::Open(QuickKit::RegistryHive::CurrentUser, kRunKey, false,
                                               &run)) &&
         SUCCEEDED(run.QueryValue(kRunValue, &value));
}

bool StateExists() {
  return QuickKit::RegistryKeyExists(QuickKit::RegistryHive::CurrentUser, kStateKey);
}

class SerialInstallerTest : public testing::Test {
 protected:
  void SetUp() override {
    QuickKit::connectionPromptSettled = true;
    ClearState();
    m_installerBytes = ReadText(FakeInstaller());
    ASSERT_FALSE(m_installerBytes.empty());
    m_server = QuickKit::test::StartTestServer([this](const TestRequest& r) { return Serve(r); });
    ASSERT_NE(m_server, nullptr);
  }
  void TearDown() override {
    ClearState();
    for (const std::string& guid : m_registered) {
      QuickKit::DeleteRegistryTree(QuickKit::RegistryHive::CurrentUser,
                                   std::string(QuickKit::kUninstallKeyPath) + "\\" + guid);
    }
  }

  // /ok/NAME: the fake installer; /nolength/NAME: the same without a
  // length; /short/NAME: cut short; /stallbody/NAME: the fake, then
  // silence before its announced end; /broken/NAME: a program the system
  // refuses to start; /vanish/NAME: the working folder is removed, then
  // the fake is served; /unavailable/NAME: 503; /cutonce/NAME: see there;
  // anything else 404.
  TestResponse Serve(const TestRequest& request) {
    TestResponse response;
    const std::string& target = request.target;
    const auto slash = target.find('/', 1);
    const std::string kind = target.substr(1, slash - 1);
    response.body = m_installerBytes;
    if (kind == "ok") return response;
    if (kind == "nolength") {
      response.mode = TestResponse::Mode::NoLength;
      return response;
    }
    if (kind == "short") {
      response.mode = TestResponse::Mode::CutShort;
      return response;
    }
    if (kind == "broken") {
      response.body = BrokenProgram();
      return response;
    }
    if (kind == "stallbody") {
      response.mode = TestResponse::Mode::StallBody;
      return response;
    }
    if (kind == "unavailable") {
      response.status = 503;
      response.body = "later";
      return response;
    }
    if (kind == "cutonce") {
      // Cut at 60 % first, then unavailable for the run's retries, then
      // answered as a server that resumes does.
      const int turn = m_cutOnceTurns++;
      if (turn == 0) {
        return QuickKit::test::BodyCutAt(m_installerBytes, m_installerBytes.size() * 6 / 10,
                                         "\"v1\"");
      }
      if (turn > 3) return QuickKit::test::RangedBody(request, m_installerBytes, "\"v1\"");
      response.status = 503;
      response.body = "later";
      return response;
    }
    if (kind == "vanish") {
      std::error_code ignored;
      fs::remove_all(m_folder.Path(), ignored);
      return response;
    }
    response.status = 404;
    response.body = "not here";
    return response;
  }

  // A product whose installer registers it, as a real one does, unless the
  // test gave its file other orders first.
  CatalogueProduct Product(std::int32_t index, const std::string& kind, const std::string& stem,
                           const std::string& guid = "{guid}") {
    CatalogueProduct product;
    product.productIndex = index;
    product.url =
        "http://127.0.0.1:" + std::to_string(m_server->Port()) + "/" + kind + "/" + ExeName(stem);
    product.guid = guid + std::to_string(index);
    if (!fs::exists(m_folder.Path() / (Local(stem) + ".orders"))) {
      m_folder.Orders(Local(stem), "register " + product.guid);
    }
    m_registered.push_back(product.guid);
    return product;
  }

  // The working folder the way the application gives it: made again when
  // it is missing.
  WorkingFolderProvider Folder() {
    return [this] {
      fs::create_directories(m_folder.Path());
      return m_folder.Folder();
    };
  }

  // The download cache, somewhere else than the working folder.
  DownloadCacheProvider Cache() {
    return [this] { return QuickKit::PathToUtf8(m_cache.Path() / "cache"); };
  }
  fs::path CacheFolder() const { return m_cache.Path() / "cache"; }

  // The waits of the program, shortened: a test waits on events, not on
  // the clock.
  static InstallerPolicy ShortWaits() {
    InstallerPolicy policy;
    policy.retry.waits.assign(3, std::chrono::milliseconds(10));
    policy.busyWaits.assign(3, std::chrono::milliseconds(10));
    return policy;
  }

  std::unique_ptr<SerialInstaller> Make(std::vector<CatalogueProduct> products,
                                        std::shared_ptr<UiDeck::ICustomMessagePoster> poster,
                                        InstallerPolicy policy = ShortWaits()) {
    auto installer = std::make_unique<SerialInstaller>(
        std::move(products), Folder(), Cache(), std::move(poster), "/opt/norvane", &m_prompt);
    installer->SetPolicy(std::move(policy));
    return installer;
  }
  std::unique_ptr<SerialInstaller> Make(std::vector<CatalogueProduct> products) {
    return Make(std::move(products), m_poster);
  }

  static std::string Local(const std::string& stem) { return "NorvaneInstaller_" + ExeName(stem); }

  static std::vector<ProductResult> Results(const RunOutcome& outcome) {
    std::vector<ProductResult> results;
    for (const ProductOutcome& product : outcome.products) results.push_back(product.result);
    return results;
  }

  QuickKit::ScopedProcessFlags m_flags{&QuickKit::connectionPromptSettled};
  QuickKit::TemporaryRegistry m_registry;
  InstallerFolder m_folder;
  InstallerFolder m_cache;
  std::vector<std::string> m_registered;
  NoPrompt m_prompt;
  std::shared_ptr<RecordingPoster> m_poster = std::make_shared<RecordingPoster>();
  std::string m_installerBytes;
  std::atomic<int> m_cutOnceTurns{0};
  std::unique_ptr<QuickKit::test::TestHttpServer> m_server;
};

TEST_F(SerialInstallerTest, ThreeProductsTheSecondFailingToDownload) {
  auto installer =
      Make({Product(1, "ok", "one"), Product(2, "missing", "two"), Product(3, "ok", "three")});
  const std::uint32_t run = installer->StartInstallation({1, 2, 3});
  ASSERT_NE(run, 0u);
  ASSERT_TRUE(m_poster->WaitFinished(run));
  // Each value once, rising; 33, 66 and 100 after the products, and
  // nothing between 33 and 66: the second product never downloaded.
  const auto percents = m_poster->Percents();
  for (std::size_t i = 1; i < percents.size(); ++i) EXPECT_LT(percents[i - 1], percents[i]);
  for (std::int32_t mark : {33, 66, 100}) {
    EXPECT_NE(std::find(percents.begin(), percents.end(), mark), percents.end()) << mark;
  }
  for (std::int32_t p : percents) EXPECT_FALSE(p > 33 && p < 66) << p;
  EXPECT_EQ(percents.back(), 100);
  EXPECT_EQ(m_poster->Ends(), std::vector<std::uint32_t>{run});
  EXPECT_EQ(m_folder.Started(), Local("one") + " 0\n" + Local("three") + " 0\n");
  // Each file went once its process had gone; the run left nothing saved.
  EXPECT_TRUE(WaitFor([&] { return !fs::exists(m_folder.Path() / Local("three")); }));
  EXPECT_FALSE(fs::exists(m_folder.Path() / Local("one")));
  EXPECT_EQ(LoadState().total, 0);
  EXPECT_FALSE(StateExists());
  EXPECT_FALSE(RunValueExists());
  // The end does not call the run a success.
  RunOutcome outcome;
  ASSERT_TRUE(installer->GetOutcome(run, &outcome));
  EXPECT_EQ(Results(outcome),
            (std::vector<ProductResult>{ProductResult::Installed, ProductResult::DownloadFailed,
                                        ProductResult::Installed}));
  EXPECT_FALSE(outcome.stopped);
  EXPECT_FALSE(outcome.stateFailed);
}

TEST_F(SerialInstallerTest, InstalledProductIsSkippedWithoutDownload) {
  QuickKit::RegistryKey key;
  ASSERT_EQ(QuickKit::RegistryKey::Create(
                QuickKit::RegistryHive::CurrentUser,
                "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{guid}4", &key),
            S_OK);
  auto installer = Make({Product(4, "ok", "four")});
  EXPECT_TRUE(installer->IsInstalled(4));
  EXPECT_FALSE(installer->IsInstalled(5));
  const std::uint32_t run = installer->StartInstallation({4});
  ASSERT_NE(run, 0u);
  ASSERT_TRUE(m_poster->WaitFinished(run));
  EXPECT_EQ(m_poster->Percents(), std::vector<std::int32_t>{100});
  EXPECT_TRUE(m_server->Requests().empty());
  QuickKit::DeleteRegistryTree(QuickKit::RegistryHive::CurrentUser,
                               "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{guid}4");
}

TEST_F(SerialInstallerTest, NothingSelectedEndsAtOnce) {
  auto installer = Make({Product(1, "ok", "one")});
  const std::uint32_t run = installer->StartInstallation({});
  ASSERT_NE(run, 0u);
  ASSERT_TRUE(m_poster->WaitFinished(run, std::chrono::seconds(5)));
  EXPECT_TRUE(m_poster->Percents().empty());
  EXPECT_FALSE(RunValueExists());  // the Run value went with the run
  RunOutcome outcome;
  ASSERT_TRUE(installer->GetOutcome(run, &outcome));
  EXPECT_TRUE(outcome.products.empty());
}

TEST_F(SerialInstallerTest, UnknownLengthPostsNothingDuringTheDownload) {
  // The fake is far larger than one 512-byte chunk, so a known length
  // posts during its download.
  ASSERT_GT(m_installerBytes.size(), 20u * 512);
  {
    auto installer = Make({Product(1, "ok", "known")});
    ASSERT_NE(installer->StartInstallation({1}), 0u);
    ASSERT_TRUE(m_poster->WaitFinished());
    const auto percents = m_poster->Percents();
    EXPECT_GT(percents.size(), 10u);
    EXPECT_EQ(percents.back(), 100);
    for (std::size_t i = 1; i < percents.size(); ++i)
      EXPECT_LT(percents[i - 1], percents[i]);  // each value once
  }
  auto poster = std::make_shared<RecordingPoster>();
  auto installer = Make({Product(2, "nolength", "unknown")}, poster);
  ASSERT_NE(installer->StartInstallation({2}), 0u);
  ASSERT_TRUE(poster->WaitFinished());
  EXPECT_EQ(poster->Percents(), std::vector<std::int32_t>{100});
  EXPECT_NE(m_folder.Started().find(Local("unknown")), std::string::npos);  // and it did run
}

TEST_F(SerialInstallerTest, StopWhileAnInstallerRuns) {
  m_folder.Orders(Local("slow"), "sleep 3000");
  auto installer = Make({Product(1, "ok", "slow"), Product(2, "ok", "never")});
  const std::uint32_t run = installer->StartInstallation({1, 2});
  ASSERT_NE(run, 0u);
  ASSERT_TRUE(WaitFor([&] { return !m_folder.Started().empty(); }));
  EXPECT_TRUE(StateExists());
  const auto stop = std::chrono::steady_clock::now();
  installer->RequestStop();
  ASSERT_TRUE(m_poster->WaitFinished(run));
  EXPECT_LT(std::chrono::steady_clock::now() - stop, std::chrono::milliseconds(1500));
  EXPECT_FALSE(installer->IsRunning());
  EXPECT_FALSE(StateExists());
  EXPECT_FALSE(RunValueExists());
  EXPECT_EQ(m_folder.Started().find(Local("never")), std::string::npos);
  RunOutcome outcome;
  ASSERT_TRUE(installer->GetOutcome(run, &outcome));
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(Results(outcome),
            (std::vector<ProductResult>{ProductResult::Started, ProductResult::NotRun}));
  // The installer that ran was left running, not killed.
  EXPECT_TRUE(IsProcessRunning(Local("slow")));
  EXPECT_TRUE(WaitFor([&] { return !IsProcessRunning(Local("slow")); }));
}

TEST_F(SerialInstallerTest, StateIsSavedBeforeEachProductAndResumesFromIt) {
  m_folder.Orders(Local("five"), "sleep 1500");
  m_folder.Orders(Local("six"), "");  // registers nothing: the resumed run starts it again
  std::vector<CatalogueProduct> products{Product(7, "ok", "seven"), Product(5, "ok", "five"),
                                         Product(6, "ok", "six")};
  {
    auto installer = Make(products);
    const std::uint32_t run = installer->StartInstallation({7, 5, 6});
    ASSERT_NE(run, 0u);
    ASSERT_TRUE(WaitFor([&] { return m_folder.Started().find(Local("five")) != std::string::npos; },
                        std::chrono::seconds(30)));  // two downloads and a start: slow under Wine
    const InstallerState saved = LoadState();
    EXPECT_EQ(saved.total, 3);
    EXPECT_EQ(saved.queue, (std::vector<std::int32_t>{5, 6}));
    QuickKit::RegistryKey key;
    QuickKit::RegistryValue value;
    ASSERT_EQ(
        QuickKit::RegistryKey::Open(QuickKit::RegistryHive::CurrentUser, kStateKey, false, &key),
        S_OK);
    ASSERT_EQ(key.QueryValue(kProductsValue, &value), S_OK);
    EXPECT_EQ(value.text, "2 5 6");
    EXPECT_TRUE(RunValueExists());
    // A second start or a resume while this run goes on is refused and
    // changes nothing.
    EXPECT_EQ(installer->StartInstallation({6}), 0u);
    EXPECT_EQ(installer->ResumeInstallation(), 0u);
    EXPECT_EQ(installer->CurrentRun(), run);
    ASSERT_TRUE(m_poster->WaitFinished(run));
    EXPECT_EQ(m_poster->Ends(), std::vector<std::uint32_t>{run});
  }

  // A restart in the middle of product 5: what the run had saved.
  ASSERT_EQ(SaveState(3, {5, 6}), S_OK);
  auto poster = std::make_shared<RecordingPoster>();
  auto installer = Make(products, poster);
  m_folder.Orders(Local("five"), "");
  const std::string before = m_folder.Started();
  const std::uint32_t run = installer->ResumeInstallation();
  ASSERT_NE(run, 0u);
  ASSERT_TRUE(poster->WaitFinished(run));
  EXPECT_EQ(m_folder.Started().substr(before.size()),
            Local("five") + " 0\n" + Local("six") + " 0\n");
  const auto percents = poster->Percents();
  ASSERT_FALSE(percents.empty());
  EXPECT_GE(percents.front(), 33);  // the percentages go on from the saved total
  EXPECT_EQ(percents.back(), 100);
  RunOutcome outcome;
  ASSERT_TRUE(installer->GetOutcome(run, &outcome));
  ASSERT_EQ(outcome.products.size(), 2u);  // the products left when it resumed
  EXPECT_EQ(outcome.products[0].productIndex, 5);
  EXPECT_EQ(outcome.products[1].productIndex, 6);
}

TEST_F(SerialInstallerTest, EachProductEndsWithWhatHappenedToIt) {
  QuickKit::RegistryKey key;
  ASSERT_EQ(QuickKit::RegistryKey::Create(
                QuickKit::RegistryHive::CurrentUser,
                "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{guid}8", &key),
            S_OK);
  CatalogueProduct wrongHash = Product(3, "ok", "wronghash");
  wrongHash.sha256 = std::string(64, 'a');
  CatalogueProduct rightHash = Product(4, "ok", "righthash");
  rightHash.sha256 = QuickKit::Sha256Hex(m_installerBytes);
  // A hash the catalogue holds but that could not be read: never fetched.
  CatalogueProduct unreadable = Product(7, "ok", "unreadable");
  unreadable.sha256Malformed = true;
  const struct {
    CatalogueProduct product;
    ProductResult result;
  } cases[] = {
      {Product(1, "short", "cut"), ProductResult::DownloadFailed},  // the transfer broke off
      {Product(2, "missing", "gone"), ProductResult::DownloadFailed},
      {wrongHash, ProductResult::Damaged},
      {rightHash, ProductResult::Installed},
      {Product(5, "broken", "broken"), ProductResult::StartFailed},
      {Product(6, "nolength", "plain"), ProductResult::Installed},
      {unreadable, ProductResult::DownloadFailed},
      {Product(8, "ok", "there"), ProductResult::Skipped},
  };
  std::vector<CatalogueProduct> products;
  std::vector<std::int32_t> queue;
  for (const auto& c : cases) {
    products.push_back(c.product);
    queue.push_back(c.product.productIndex);
  }
  queue.push_back(42);  // a saved index the catalogue lacks: nothing to download
  auto installer = Make(products);
  const std::uint32_t run = installer->StartInstallation(queue);
  ASSERT_NE(run, 0u);
  ASSERT_TRUE(m_poster->WaitFinished(run));

  RunOutcome outcome;
  ASSERT_TRUE(installer->GetOutcome(run, &outcome));
  EXPECT_EQ(outcome.run, run);
  ASSERT_EQ(outcome.products.size(), queue.size());
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(outcome.products[i].productIndex, cases[i].product.productIndex);
    EXPECT_EQ(outcome.products[i].result, cases[i].result) << cases[i].product.url;
  }
  EXPECT_EQ(outcome.products.back().result, ProductResult::DownloadFailed);
  EXPECT_FALSE(outcome.stopped);
  // Only whole, matching files were ever started; nothing damaged stays.
  EXPECT_EQ(m_folder.Started(), Local("righthash") + " 0\n" + Local("plain") + " 0\n");
  for (const char* stem : {"cut", "wronghash", "broken", "unreadable"}) {
    EXPECT_FALSE(fs::exists(m_folder.Path() / Local(stem))) << stem;
  }
  for (const auto& request : m_server->Requests()) {
    EXPECT_EQ(request.target.find("unreadable"), std::string::npos) << request.target;
  }
  EXPECT_EQ(m_poster->Percents().back(), 100);
  // The outcome is that run's alone.
  EXPECT_FALSE(installer->GetOutcome(run + 1, &outcome));
  EXPECT_FALSE(installer->GetOutcome(0, &outcome));
  QuickKit::DeleteRegistryTree(QuickKit::RegistryHive::CurrentUser,
                               "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{guid}8");
}

TEST_F(SerialInstallerTest, SavedStatesThatCannotBeTrusted) {
  // A total smaller than the queue, and an index the catalogue lacks.
  ASSERT_EQ(SaveState(1, {9, 1, 2}), S_OK);
  auto installer = Make({Product(1, "ok", "one"), Product(2, "ok", "two")});
  ASSERT_NE(installer->ResumeInstallation(), 0u);
  ASSERT_TRUE(m_poster->WaitFinished());
  EXPECT_EQ(m_folder.Started(),
            Local("one") + " 0\n" + Local("two") + " 0\n");  // 9 skipped, not replaced
  const auto percents = m_poster->Percents();
  ASSERT_FALSE(percents.empty());
  for (std::int32_t p : percents) EXPECT_TRUE(p >= 0 && p <= 100) << p;
  EXPECT_EQ(percents.back(), 100);

  // An empty product list (no catalogue) runs nothing.
  ASSERT_EQ(SaveState(0, {1}), S_OK);
  auto poster = std::make_shared<RecordingPoster>();
  auto empty = Make({}, poster);
  ASSERT_NE(empty->ResumeInstallation(), 0u);
  ASSERT_TRUE(poster->WaitFinished());
  EXPECT_EQ(poster->Percents(), std::vector<std::int32_t>{100});
}

TEST_F(SerialInstallerTest, DestroyingTheInstallerStopsTheRunWithoutKillingIt) {
  m_folder.Orders(Local("busy"), "sleep 3000");
  auto installer = Make({Product(1, "ok", "busy")});
  ASSERT_NE(installer->StartInstallation({1}), 0u);
  ASSERT_TRUE(WaitFor([&] { return !m_folder.Started().empty(); }));
  const auto start = std::chrono::steady_clock::now();
  installer.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
  EXPECT_FALSE(StateExists());
  EXPECT_FALSE(RunValueExists());
  EXPECT_TRUE(WaitFor([&] { return !IsProcessRunning(Local("busy")); }));
}

// The receiver's rule: an end or a progress post whose run is not the
// current one is stale.
TEST_F(SerialInstallerTest, TwoRunsBackToBackKeepTheirEndsApart) {
  auto installer = Make({Product(1, "ok", "first"), Product(2, "ok", "second")});
  const std::uint32_t first = installer->StartInstallation({1});
  ASSERT_NE(first, 0u);
  // As soon as the run is over, before its end has necessarily been
  // posted, the next one may start.
  ASSERT_TRUE(WaitFor([&] { return !installer->IsRunning(); }));
  const std::uint32_t second = installer->StartInstallation({2});
  ASSERT_NE(second, 0u);
  EXPECT_NE(second, first);
  EXPECT_EQ(installer->CurrentRun(), second);
  ASSERT_TRUE(m_poster->WaitFinished(second));
  // The first run's end reached the window while the second was current:
  // it names the first run, so the page does not leave the second.
  EXPECT_EQ(m_poster->Ends(), (std::vector<std::uint32_t>{first, second}));
  std::uint32_t run = first;
  for (const Post& post : m_poster->Posts()) {
    if (post.status == UiDeck::kInstallProgress) {
      EXPECT_EQ(UiDeck::ProgressRun(post.value), run);
    } else if (post.status == UiDeck::kInstallFinished) {
      run = second;  // every post of a run comes before its end
    }
  }
  RunOutcome outcome;
  EXPECT_FALSE(installer->GetOutcome(first, &outcome));  // superseded
  ASSERT_TRUE(installer->GetOutcome(second, &outcome));
  EXPECT_EQ(outcome.products.front().productIndex, 2);

  // A start made on the UI thread once the end has arrived is never
  // refused.
  for (int i = 0; i < 5; ++i) {
    const std::uint32_t next = installer->StartInstallation({});
    ASSERT_NE(next, 0u) << i;
    ASSERT_TRUE(m_poster->WaitFinished(next));
  }
  EXPECT_EQ(m_folder.Started(), Local("first") + " 0\n" + Local("second") + " 0\n");
}

// The window, which goes before the installer at teardown.
class Window : public UiDeck::ICustomMessagePoster {
 public:
  bool PostCustomMessage(UiDeck::InstallStatus status, std::int32_t) override {
    if (status == UiDeck::kInstallFinished) ++ends;
    return true;
  }
  int ends = 0;
};

TEST_F(SerialInstallerTest, TeardownDuringARunTouchesNoDestroyedWindow) {
  m_folder.Orders(Local("busy"), "sleep 3000");
  auto window = std::make_unique<Window>();
  auto poster = std::make_shared<UiDeck::RevocablePoster>(window.get());
  auto installer = Make({Product(1, "ok", "busy")}, poster);
  ASSERT_NE(installer->StartInstallation({1}), 0u);
  ASSERT_TRUE(WaitFor([&] { return !m_folder.Started().empty(); }));
  // The controller's order: the window goes, then the installer, whose
  // run posts its end while it is being stopped (a use after free here
  // is what the sanitizer build reports).
  poster->Revoke();
  EXPECT_EQ(window->ends, 0);
  window.reset();
  installer.reset();
  EXPECT_FALSE(poster->PostCustomMessage(UiDeck::kInstallFinished, 1));
  EXPECT_FALSE(StateExists());
  EXPECT_TRUE(WaitFor([&] { return !IsProcessRunning(Local("busy")); }));
}

TEST_F(SerialInstallerTest, TheWorkingFolderIsTakenAtEachDownload) {
  // Removed while the run goes on, between the two downloads: made again.
  auto installer = Make({Product(1, "ok", "before"), Product(2, "vanish", "after")});
  std::uint32_t run = installer->StartInstallation({1, 2});
  ASSERT_NE(run, 0u);
  ASSERT_TRUE(m_poster->WaitFinished(run));
  RunOutcome outcome;
  ASSERT_TRUE(installer->GetOutcome(run, &outcome));
  // The second installer's orders went with the folder: it ran, but
  // registered nothing.
  EXPECT_EQ(Results(outcome),
            (std::vector<ProductResult>{ProductResult::Installed, ProductResult::NotInstalled}));
  // started.txt went with the folder; the new one has the second start.
  EXPECT_EQ(m_folder.Started(), Local("after") + " 0\n");

  // A folder that cannot be made fails each product; none counts as done.
  int asked = 0;
  auto poster = std::make_shared<RecordingPoster>();
  SerialInstaller failing(
      {Product(3, "ok", "one"), Product(4, "ok", "two")},
      [&]() -> std::string {
        ++asked;
        throw std::runtime_error("cannot make the folder");
      },
      Cache(), poster, "/opt/norvane", &m_prompt);
  run = failing.StartInstallation({3, 4});
  ASSERT_NE(run, 0u);
  ASSERT_TRUE(poster->WaitFinished(run));
  EXPECT_EQ(asked, 2);
  ASSERT_TRUE(failing.GetOutcome(run, &outcome));
  EXPECT_EQ(Results(outcome), (std::vector<ProductResult>{ProductResult::DownloadFailed,
                                                          ProductResult::DownloadFailed}));
}

TEST_F(SerialInstallerTest, SessionEndKeepsTheRunForTheNextLogon) {
  m_folder.Orders(Local("busy"), "sleep 3000");
  const std::vector<CatalogueProduct> products{Product(1, "ok", "busy"), Product(2, "ok", "next")};
  // Only the user's own stop clears a run when the session ends.
  for (const bool userStopped : {false, true}) {
    SCOPED_TRACE(userStopped ? "stopped by the user" : "session end alone");
    ASSERT_EQ(ClearState(), S_OK);
    auto poster = std::make_shared<RecordingPoster>();
    auto installer = Make(products, poster);
    ASSERT_NE(installer->StartInstallation({1, 2}), 0u);
    ASSERT_TRUE(WaitFor([&] { return IsProcessRunning(Local("busy")); }));
    const auto start = std::chrono::steady_clock::now();
    if (userStopped) installer->RequestStop();
    installer->KeepRunForNextLogon();
    installer.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_EQ(StateExists(), !userStopped);
    EXPECT_EQ(RunValueExists(), !userStopped);
    if (!userStopped) {
      // The product in progress first, as the run had saved it.
      const InstallerState saved = LoadState();
      EXPECT_EQ(saved.total, 2);
      EXPECT_EQ(saved.queue, (std::vector<std::int32_t>{1, 2}));
    }
    EXPECT_TRUE(WaitFor([&] { return !IsProcessRunning(Local("busy")); }));
  }
}

TEST_F(SerialInstallerTest, AStopCutsADownloadStalledOnASilentServer) {
  // Without the cut the stop would wait for the receive time-out (30 s) or
  // the connect time-out (60 s).
  const auto silent = QuickKit::test::StartSilentListener();
  ASSERT_NE(silent, nullptr);
  CatalogueProduct headers = Product(1, "ok", "silent");
  headers.url = "http://127.0.0.1:" + std::to_string(silent->Port()) + "/" + ExeName("silent");
  const CatalogueProduct body = Product(1, "stallbody", "stalled");
  const struct {
    const char* name;
    const CatalogueProduct& product;
    bool sessionEnds;  // the destructor stops the run, keeping it for the next logon
  } cases[] = {
      {"no answer, user stop", headers, false},
      {"no answer, session end", headers, true},
      {"stalled body, user stop", body, false},
      {"stalled body, session end", body, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(ClearState(), S_OK);
    // Not yet connected once: a failed open would ask to reconnect, but
    // not one that the stop cut.
    QuickKit::connectionPromptSettled = false;
    const int accepted = silent->Accepted();
    auto poster = std::make_shared<RecordingPoster>();
    auto installer = Make({c.product}, poster);
    const std::uint32_t run = installer->StartInstallation({1});
    ASSERT_NE(run, 0u);
    // In flight: connected and waiting for a word, or part of the body in.
    ASSERT_TRUE(WaitFor([&] {
      return &c.product == &headers ? silent->Accepted() > accepted : !poster->Percents().empty();
    }));
    const auto stop = std::chrono::steady_clock::now();
    if (c.sessionEnds) {
      installer->KeepRunForNextLogon();
      installer.reset();
    } else {
      installer->RequestStop();
      ASSERT_TRUE(poster->WaitFinished(run, std::chrono::seconds(60)));
    }
    const auto took = std::chrono::steady_clock::now() - stop;
    std::printf("[ measured ] %s: the run ended %.0f ms after the stop\n", c.name,
                std::chrono::duration<double, std::milli>(took).count());
    EXPECT_LT(took, std::chrono::seconds(5));
    if (c.sessionEnds) {
      // The product cut short is still first in the saved queue.
      EXPECT_EQ(LoadState().queue, std::vector<std::int32_t>{1});
      EXPECT_TRUE(RunValueExists());
    } else {
      RunOutcome outcome;
      ASSERT_TRUE(installer->GetOutcome(run, &outcome));
      EXPECT_TRUE(outcome.stopped);
      EXPECT_EQ(Results(outcome), std::vector<ProductResult>{ProductResult::NotRun});
      EXPECT_FALSE(StateExists());
      EXPECT_FALSE(RunValueExists());
    }
    EXPECT_EQ(m_folder.Started(), "");
  }
}

TEST_F(SerialInstallerTest, TheInstallersOwnResultDecidesTheProduct) {
  const struct {
    const char* stem;
    const char* orders;  // GUID stands for the product's own
    ProductResult result;
    std::uint32_t exitCode;
    int starts;
  } cases[] = {
      {"fine", "register GUID", ProductResult::Installed, 0, 1},
      {"restart", "register GUID exit 3010", ProductResult::Installed, 3010, 1},
      {"rebooting", "register GUID exit 1641", ProductResult::Installed, 1641, 1},
      // Another installation ran at first: started again after a wait.
      {"busyonce", "busy 1 register GUID", ProductResult::Installed, 0, 2},
      {"alwaysbusy", "busy 9", ProductResult::Busy, 1618, 4},
      {"failing", "register GUID exit 1", ProductResult::ExitCode, 1, 1},
      // Success, but no uninstall key: cancelled inside the installer.
      {"cancelled", "", ProductResult::NotInstalled, 0, 1},
  };
  std::vector<CatalogueProduct> products;
  std::vector<std::int32_t> queue;
  for (const auto& c : cases) {
    const auto index = static_cast<std::int32_t>(products.size() + 1);
    products.push_back(Product(index, "ok", c.stem));
    std::string orders = c.orders;
    const std::size_t guid = orders.find("GUID");
    if (guid != std::string::npos) orders.replace(guid, 4, products.back().guid);
    m_folder.Orders(Local(c.stem), orders);
    queue.push_back(index);
  }
  auto installer = Make(products);
  const std::uint32_t run = installer->StartInstallation(queue);
  ASSERT_NE(run, 0u);
  ASSERT_TRUE(m_poster->WaitFinished(run));
  RunOutcome outcome;
  ASSERT_TRUE(installer->GetOutcome(run, &outcome));
  ASSERT_EQ(outcome.products.size(), std::size(cases));
  const std::string started = m_folder.Started();
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].stem);
    EXPECT_EQ(outcome.products[i].result, cases[i].result);
    EXPECT_EQ(outcome.products[i].exitCode, cases[i].exitCode);
    int starts = 0;
    const std::string line = Local(cases[i].stem) + " 0\n";
    for (std::size_t at = started.find(line); at != std::string::npos;
         at = started.find(line, at + 1)) {
      ++starts;
    }
    EXPECT_EQ(starts, cases[i].starts);
    // The file went once its installer had ended, whatever the result.
    EXPECT_FALSE(fs::exists(m_folder.Path() / Local(cases[i].stem)));
  }
  EXPECT_TRUE(outcome.restartNeeded);

  // A run without a restart code needs no restart.
  auto poster = std::make_shared<RecordingPoster>();
  auto plain = Make({Product(20, "ok", "plain")}, poster);
  const std::uint32_t second = plain->StartInstallation({20});
  ASSERT_TRUE(poster->WaitFinished(second));
  ASSERT_TRUE(plain->GetOutcome(second, &outcome));
  EXPECT_EQ(Results(outcome), std::vector<ProductResult>{ProductResult::Installed});
  EXPECT_FALSE(outcome.restartNeeded);
}

TEST_F(SerialInstallerTest, AStopDuringARetryWaitEndsTheRunAtOnce) {
  InstallerPolicy policy;  // the program's waits: 2, 4 and 8 s
  auto installer = Make({Product(1, "unavailable", "later")}, m_poster, policy);
  const std::uint32_t run = installer->StartInstallation({1});
  ASSERT_NE(run, 0u);
  ASSERT_TRUE(WaitFor([&] { return !m_server->Requests().empty(); }));
  const auto stop = std::chrono::steady_clock::now();
  installer->RequestStop();
  ASSERT_TRUE(m_poster->WaitFinished(run));
  const auto took = std::chrono::steady_clock::now() - stop;
  std::printf("[ measured ] stop during a retry wait: the run ended %.0f ms after it\n",
              std::chrono::duration<double, std::milli>(took).count());
  EXPECT_LT(took, std::chrono::milliseconds(1500));
  EXPECT_EQ(m_server->Requests().size(), 1u);
  RunOutcome outcome;
  ASSERT_TRUE(installer->GetOutcome(run, &outcome));
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(Results(outcome), std::vector<ProductResult>{ProductResult::NotRun});
}

TEST_F(SerialInstallerTest, AFullDiskFailsTheProductBeforeAnythingIsWritten) {
  InstallerPolicy policy = ShortWaits();
  // No small file system can be made on this machine: the figure is given.
  policy.freeSpace = [](const std::string&, std::uint64_t* bytes) {
    *bytes = 1 << 20;
    return S_OK;
  };
  auto installer =
      Make({Product(1, "ok", "big"), Product(2, "nolength", "unknownsize")}, m_poster, policy);
  const std::uint32_t run = installer->StartInstallation({1, 2});
  ASSERT_NE(run, 0u);
  ASSERT_TRUE(m_poster->WaitFinished(run));
  RunOutcome outcome;
  ASSERT_TRUE(installer->GetOutcome(run, &outcome));
  // Without a length nothing can be checked before writing: that one goes
  // on, and fits.
  EXPECT_EQ(Results(outcome),
            (std::vector<ProductResult>{ProductResult::DiskFull, ProductResult::Installed}));
  EXPECT_EQ(m_folder.Started(), Local("unknownsize") + " 0\n");
  EXPECT_FALSE(fs::exists(m_folder.Path() / Local("big")));
  EXPECT_FALSE(fs::exists(CacheFolder() / (Local("big") + ".part")));
  EXPECT_EQ(m_server->Requests().size(), 2u);  // not tried again
}

TEST_F(SerialInstallerTest, TryAgainResumesWhatTheRunBeforeLeftInTheCache) {
  auto installer = Make({Product(1, "cutonce", "resumed")});
  std::uint32_t run = installer->StartInstallation({1});
  ASSERT_NE(run, 0u);
  ASSERT_TRUE(m_poster->WaitFinished(run));
  RunOutcome outcome;
  ASSERT_TRUE(installer->GetOutcome(run, &outcome));
  EXPECT_EQ(Results(outcome), std::vector<ProductResult>{ProductResult::DownloadFailed});
  EXPECT_EQ(m_server->Requests().size(), 4u);  // the first try and three more
  // The part stays for another run; it is never started.
  const std::size_t cut = m_installerBytes.size() * 6 / 10;
  const fs::path part = CacheFolder() / (Local("resumed") + ".part");
  ASSERT_TRUE(fs::exists(part));
  EXPECT_EQ(fs::file_size(part), cut);
  EXPECT_EQ(m_folder.Started(), "");

  // "Try again", a new run of the same installer: only the rest travels.
  const std::uint64_t sentBefore = m_server->BodyBytesSent();
  const std::size_t postsBefore = m_poster->Percents().size();
  run = installer->StartInstallation({1});
  ASSERT_NE(run, 0u);
  ASSERT_TRUE(m_poster->WaitFinished(run));
  ASSERT_TRUE(installer->GetOutcome(run, &outcome));
  EXPECT_EQ(Results(outcome), std::vector<ProductResult>{ProductResult::Installed});
  EXPECT_EQ(m_server->Requests().back().range, "bytes=" + std::to_string(cut) + "-");
  EXPECT_EQ(m_server->BodyBytesSent() - sentBefore, m_installerBytes.size() - cut);
  // Nothing is left to resume: the cache went with the run.
  EXPECT_FALSE(fs::exists(CacheFolder()));
  const auto percents = m_poster->Percents();
  ASSERT_GT(percents.size(), postsBefore);
  EXPECT_GE(percents[postsBefore], 59);  // the progress goes on from the part kept
}

TEST_F(SerialInstallerTest, TheCacheStaysForTheNextLogonAndGoesAtAnOrdinaryEnd) {
  const CatalogueProduct product = Product(1, "cutonce", "kept");
  for (const bool sessionEnds : {true, false}) {
    SCOPED_TRACE(sessionEnds ? "session end" : "ordinary end");
    m_cutOnceTurns = 0;
    auto installer = Make({product});
    ASSERT_NE(installer->StartInstallation({1}), 0u);
    ASSERT_TRUE(m_poster->WaitFinished());
    ASSERT_TRUE(fs::exists(CacheFolder() / (Local("kept") + ".part")));
    if (sessionEnds) installer->KeepRunForNextLogon();
    installer.reset();
    EXPECT_EQ(fs::exists(CacheFolder()), sessionEnds);
  }
}

}  // namespace
}  // namespace bright_setup
