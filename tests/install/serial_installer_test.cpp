#include "install/serial_installer.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "fake_installer_fixture.h"
#include "install/installer_process.h"
#include "install/installer_state.h"
#include "registry_fixture.h"
#include "support/digest.h"
#include "support/registry.h"
#include "test_server.h"

namespace bright_setup {
namespace {

using namespace testing_fake;
using QuickKit::test::TestRequest;
using QuickKit::test::TestResponse;

// What the main window would receive.
class RecordingPoster : public UiDeck::ICustomMessagePoster {
 public:
  bool PostCustomMessage(UiDeck::InstallStatus status, std::int32_t value) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (status == UiDeck::kInstallProgress) m_percents.push_back(value);
    if (status == UiDeck::kInstallFinished) ++m_finished;
    m_changed.notify_all();
    return true;
  }
  bool WaitFinished(std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, limit, [&] { return m_finished > 0; });
  }
  std::vector<std::int32_t> Percents() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_percents;
  }
  int Finished() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_finished;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<std::int32_t> m_percents;
  int m_finished = 0;
};

// Never asked in these tests: the prompt is settled for every download.
class NoPrompt : public QuickKit::IReconnectPrompt {
 public:
  Answer Ask(QuickKit::WindowHandle, const std::string&, const std::string&) override {
    ADD_FAILURE() << "no prompt expected";
    return Answer::No;
  }
  void PostClose(QuickKit::WindowHandle) override {}
};

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
    QuickKit::connectionPromptSettled = false;
  }

  // /ok/NAME: the fake installer; /nolength/NAME: the same without a
  // length; /short/NAME: cut short; anything else 404.
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
    response.status = 404;
    response.body = "not here";
    return response;
  }

  CatalogueProduct Product(std::int32_t index, const std::string& kind, const std::string& stem,
                           const std::string& guid = "{guid}") {
    CatalogueProduct product;
    product.productIndex = index;
    product.url =
        "http://127.0.0.1:" + std::to_string(m_server->Port()) + "/" + kind + "/" + ExeName(stem);
    product.guid = guid + std::to_string(index);
    return product;
  }

  static std::string Local(const std::string& stem) { return "NorvaneInstaller_" + ExeName(stem); }

  QuickKit::TemporaryRegistry m_registry;
  InstallerFolder m_folder;
  NoPrompt m_prompt;
  RecordingPoster m_poster;
  std::unique_ptr<InstallProgressCallback> m_callback;
  std::string m_installerBytes;
  std::unique_ptr<QuickKit::test::TestHttpServer> m_server;
};

TEST_F(SerialInstallerTest, ThreeProductsTheSecondFailingToDownload) {
  SerialInstaller installer(
      {Product(1, "ok", "one"), Product(2, "missing", "two"), Product(3, "ok", "three")},
      m_folder.Folder(), &m_prompt);
  ASSERT_TRUE(StartInstallation(installer, m_callback, &m_poster, {1, 2, 3}, "/opt/norvane"));
  ASSERT_TRUE(m_poster.WaitFinished());
  // Each value once, rising; 33, 66 and 100 after the products, and
  // nothing between 33 and 66: the second product never downloaded.
  const auto percents = m_poster.Percents();
  for (std::size_t i = 1; i < percents.size(); ++i) EXPECT_LT(percents[i - 1], percents[i]);
  for (std::int32_t mark : {33, 66, 100}) {
    EXPECT_NE(std::find(percents.begin(), percents.end(), mark), percents.end()) << mark;
  }
  for (std::int32_t p : percents) EXPECT_FALSE(p > 33 && p < 66) << p;
  EXPECT_EQ(percents.back(), 100);
  EXPECT_EQ(m_poster.Finished(), 1);
  EXPECT_EQ(m_folder.Started(), Local("one") + " 0\n" + Local("three") + " 0\n");
  // Each file went once its process had gone; the run left nothing saved.
  EXPECT_TRUE(WaitFor([&] { return !fs::exists(m_folder.Path() / Local("three")); }));
  EXPECT_FALSE(fs::exists(m_folder.Path() / Local("one")));
  EXPECT_EQ(LoadState().total, 0);
  EXPECT_FALSE(QuickKit::RegistryKeyExists(QuickKit::RegistryHive::CurrentUser, kStateKey));
}

TEST_F(SerialInstallerTest, InstalledProductIsSkippedWithoutDownload) {
  QuickKit::RegistryKey key;
  ASSERT_EQ(QuickKit::RegistryKey::Create(
                QuickKit::RegistryHive::CurrentUser,
                "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{guid}4", &key),
            S_OK);
  SerialInstaller installer({Product(4, "ok", "four")}, m_folder.Folder(), &m_prompt);
  ASSERT_TRUE(StartInstallation(installer, m_callback, &m_poster, {4}, "/opt/norvane"));
  ASSERT_TRUE(m_poster.WaitFinished());
  EXPECT_EQ(m_poster.Percents(), std::vector<std::int32_t>{100});
  EXPECT_TRUE(m_server->Requests().empty());
  QuickKit::DeleteRegistryTree(QuickKit::RegistryHive::CurrentUser,
                               "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{guid}4");
}

TEST_F(SerialInstallerTest, NothingSelectedEndsAtOnce) {
  SerialInstaller installer({Product(1, "ok", "one")}, m_folder.Folder(), &m_prompt);
  ASSERT_TRUE(StartInstallation(installer, m_callback, &m_poster, {}, "/opt/norvane"));
  ASSERT_TRUE(m_poster.WaitFinished(std::chrono::seconds(5)));
  EXPECT_TRUE(m_poster.Percents().empty());
  QuickKit::RegistryKey run;
  QuickKit::RegistryValue value;
  if (SUCCEEDED(
          QuickKit::RegistryKey::Open(QuickKit::RegistryHive::CurrentUser, kRunKey, false, &run))) {
    EXPECT_TRUE(FAILED(run.QueryValue(kRunValue, &value)));  // the Run value went with the run
  }
}

TEST_F(SerialInstallerTest, UnknownLengthPostsNothingDuringTheDownload) {
  // The fake is far larger than one 512-byte chunk, so a known length
  // posts during its download.
  ASSERT_GT(m_installerBytes.size(), 20u * 512);
  {
    SerialInstaller installer({Product(1, "ok", "known")}, m_folder.Folder(), &m_prompt);
    ASSERT_TRUE(StartInstallation(installer, m_callback, &m_poster, {1}, "/opt/norvane"));
    ASSERT_TRUE(m_poster.WaitFinished());
    const auto percents = m_poster.Percents();
    EXPECT_GT(percents.size(), 10u);
    EXPECT_EQ(percents.back(), 100);
    for (std::size_t i = 1; i < percents.size(); ++i)
      EXPECT_LT(percents[i - 1], percents[i]);  // each value once
  }
  RecordingPoster poster;
  SerialInstaller installer({Product(1, "nolength", "unknown")}, m_folder.Folder(), &m_prompt);
  ASSERT_TRUE(StartInstallation(installer, m_callback, &poster, {1}, "/opt/norvane"));
  ASSERT_TRUE(poster.WaitFinished());
  EXPECT_EQ(poster.Percents(), std::vector<std::int32_t>{100});
  EXPECT_NE(m_folder.Started().find(Local("unknown")), std::string::npos);  // and it did run
}

TEST_F(SerialInstallerTest, StopWhileAnInstallerRuns) {
  m_folder.Orders(Local("slow"), "sleep 3000");
  SerialInstaller installer({Product(1, "ok", "slow"), Product(2, "ok", "never")},
                            m_folder.Folder(), &m_prompt);
  ASSERT_TRUE(StartInstallation(installer, m_callback, &m_poster, {1, 2}, "/opt/norvane"));
  ASSERT_TRUE(WaitFor([&] { return !m_folder.Started().empty(); }));
  EXPECT_TRUE(QuickKit::RegistryKeyExists(QuickKit::RegistryHive::CurrentUser, kStateKey));
  const auto stop = std::chrono::steady_clock::now();
  m_callback->RequestStop();
  ASSERT_TRUE(m_poster.WaitFinished());
  EXPECT_LT(std::chrono::steady_clock::now() - stop, std::chrono::milliseconds(1500));
  EXPECT_FALSE(QuickKit::RegistryKeyExists(QuickKit::RegistryHive::CurrentUser, kStateKey));
  QuickKit::RegistryKey run;
  QuickKit::RegistryValue value;
  if (SUCCEEDED(
          QuickKit::RegistryKey::Open(QuickKit::RegistryHive::CurrentUser, kRunKey, false, &run))) {
    EXPECT_TRUE(FAILED(run.QueryValue(kRunValue, &value)));
  }
  EXPECT_EQ(m_folder.Started().find(Local("never")), std::string::npos);
  // The installer that ran was left running, not killed.
  EXPECT_TRUE(IsProcessRunning(Local("slow")));
  EXPECT_TRUE(WaitFor([&] { return !IsProcessRunning(Local("slow")); }));
}

TEST_F(SerialInstallerTest, StateIsSavedBeforeEachProductAndResumesFromIt) {
  m_folder.Orders(Local("five"), "sleep 1500");
  std::vector<CatalogueProduct> products{Product(7, "ok", "seven"), Product(5, "ok", "five"),
                                         Product(6, "ok", "six")};
  {
    SerialInstaller installer(products, m_folder.Folder(), &m_prompt);
    ASSERT_TRUE(StartInstallation(installer, m_callback, &m_poster, {7, 5, 6}, "/opt/norvane"));
    ASSERT_TRUE(
        WaitFor([&] { return m_folder.Started().find(Local("five")) != std::string::npos; }));
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
    // A second start while this run goes on is refused.
    RecordingPoster other;
    std::unique_ptr<InstallProgressCallback> kept;
    EXPECT_FALSE(StartInstallation(installer, kept, &other, {6}, "/opt/norvane"));
    EXPECT_EQ(kept, nullptr);
    ASSERT_TRUE(m_poster.WaitFinished());
  }

  // A restart in the middle of product 5: what the run had saved.
  SaveState(3, {5, 6});
  RecordingPoster poster;
  SerialInstaller installer(products, m_folder.Folder(), &m_prompt);
  m_folder.Orders(Local("five"), "");
  const std::string before = m_folder.Started();
  ASSERT_TRUE(ResumeInstallation(installer, m_callback, &poster, "/opt/norvane"));
  ASSERT_TRUE(poster.WaitFinished());
  EXPECT_EQ(m_folder.Started().substr(before.size()),
            Local("five") + " 0\n" + Local("six") + " 0\n");
  const auto percents = poster.Percents();
  ASSERT_FALSE(percents.empty());
  EXPECT_GE(percents.front(), 33);  // the percentages go on from the saved total
  EXPECT_EQ(percents.back(), 100);
}

TEST_F(SerialInstallerTest, DamagedOrUnverifiedDownloadsAreNeverStarted) {
  CatalogueProduct cut = Product(1, "short", "cut");
  CatalogueProduct wrongHash = Product(2, "ok", "wronghash");
  wrongHash.sha256 = std::string(64, 'a');
  CatalogueProduct rightHash = Product(3, "ok", "righthash");
  rightHash.sha256 = QuickKit::Sha256Hex(m_installerBytes);
  SerialInstaller installer({cut, wrongHash, rightHash}, m_folder.Folder(), &m_prompt);
  ASSERT_TRUE(StartInstallation(installer, m_callback, &m_poster, {1, 2, 3}, "/opt/norvane"));
  ASSERT_TRUE(m_poster.WaitFinished());
  EXPECT_EQ(m_folder.Started(), Local("righthash") + " 0\n");
  EXPECT_FALSE(fs::exists(m_folder.Path() / Local("cut")));
  EXPECT_FALSE(fs::exists(m_folder.Path() / Local("wronghash")));
  EXPECT_EQ(m_poster.Percents().back(), 100);
}

TEST_F(SerialInstallerTest, InstallerWhoseHashCouldNotBeReadIsNeverFetched) {
  CatalogueProduct unreadable = Product(4, "ok", "unreadable");
  unreadable.sha256Malformed = true;
  SerialInstaller installer({unreadable}, m_folder.Folder(), &m_prompt);
  EXPECT_EQ(installer.DownloadInstaller(4, 0, 100), "");
  EXPECT_FALSE(fs::exists(m_folder.Path() / Local("unreadable")));
}

TEST_F(SerialInstallerTest, SavedStatesThatCannotBeTrusted) {
  // A total smaller than the queue, and an index the catalogue lacks.
  SaveState(1, {9, 1, 2});
  SerialInstaller installer({Product(1, "ok", "one"), Product(2, "ok", "two")}, m_folder.Folder(),
                            &m_prompt);
  ASSERT_TRUE(ResumeInstallation(installer, m_callback, &m_poster, "/opt/norvane"));
  ASSERT_TRUE(m_poster.WaitFinished());
  EXPECT_EQ(m_folder.Started(),
            Local("one") + " 0\n" + Local("two") + " 0\n");  // 9 skipped, not replaced
  const auto percents = m_poster.Percents();
  ASSERT_FALSE(percents.empty());
  for (std::int32_t p : percents) EXPECT_TRUE(p >= 0 && p <= 100) << p;
  EXPECT_EQ(percents.back(), 100);

  // An empty product list (no catalogue) runs nothing.
  SaveState(0, {1});
  RecordingPoster poster;
  SerialInstaller empty({}, m_folder.Folder(), &m_prompt);
  ASSERT_TRUE(ResumeInstallation(empty, m_callback, &poster, "/opt/norvane"));
  ASSERT_TRUE(poster.WaitFinished());
  EXPECT_EQ(poster.Percents(), std::vector<std::int32_t>{100});
}

TEST_F(SerialInstallerTest, DestroyingTheInstallerStopsTheRunWithoutKillingIt) {
  m_folder.Orders(Local("busy"), "sleep 3000");
  const auto start = std::chrono::steady_clock::now();
  {
    SerialInstaller installer({Product(1, "ok", "busy")}, m_folder.Folder(), &m_prompt);
    ASSERT_TRUE(StartInstallation(installer, m_callback, &m_poster, {1}, "/opt/norvane"));
    ASSERT_TRUE(WaitFor([&] { return !m_folder.Started().empty(); }));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
  EXPECT_FALSE(QuickKit::RegistryKeyExists(QuickKit::RegistryHive::CurrentUser, kStateKey));
  EXPECT_TRUE(WaitFor([&] { return !IsProcessRunning(Local("busy")); }));
}

}  // namespace
}  // namespace bright_setup
