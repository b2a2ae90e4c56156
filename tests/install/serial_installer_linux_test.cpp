#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <memory>

#include "fake_installer_fixture.h"
#include "install/installer_state.h"
#include "install/serial_installer.h"
#include "net/buffered_stream.h"
#include "no_prompt.h"
#include "process_flags.h"
#include "registry_fixture.h"
#include "support/registry.h"
#include "test_server.h"

extern char** environ;

namespace bright_setup {
namespace {

using namespace testing_fake;
using QuickKit::test::TestRequest;
using QuickKit::test::TestResponse;
using QuickKit::test::NoPrompt;

class Ends : public UiDeck::ICustomMessagePoster {
 public:
  bool PostCustomMessage(UiDeck::InstallStatus status, std::int32_t) override {
    if (status == UiDeck::kInstallFinished) ended = true;
    return true;
  }
  std::atomic<bool> ended{false};
};

// The program killed in the middle of a download: the next start resumes
// the saved run, and only the rest of the file travels.
TEST(SerialInstallerLinux, APartialDownloadSurvivesSigkillAndIsResumedAtTheNextStart) {
  QuickKit::ScopedProcessFlags flags{&QuickKit::connectionPromptSettled};
  QuickKit::connectionPromptSettled = true;
  QuickKit::TemporaryRegistry registry;
  InstallerFolder folder;
  InstallerFolder cacheRoot;
  const std::string cache = QuickKit::PathToUtf8(cacheRoot.Path() / "cache");
  // Large enough that most of the cut part has left the program's write
  // buffer when it dies; an ELF file runs with anything after it.
  std::string body = ReadText(FakeInstaller());
  ASSERT_FALSE(body.empty());
  body.resize(std::max<std::size_t>(body.size(), 4 << 20), '\0');
  const std::size_t cut = body.size() * 6 / 10;
  auto server = QuickKit::test::StartTestServer([&](const TestRequest& request) {
    if (!request.range.empty()) return QuickKit::test::RangedBody(request, body, "\"v1\"");
    // Silent after the cut until the program is killed.
    return QuickKit::test::BodyCutAt(body, cut, "\"v1\"", TestResponse::Mode::StallAt);
  });
  ASSERT_NE(server, nullptr);
  const std::string name = ExeName("killed");
  const std::string url = "http://127.0.0.1:" + std::to_string(server->Port()) + "/" + name;
  const std::string guid = "{killed}";
  folder.Orders("NorvaneInstaller_" + name, "register " + guid);

  const std::string child = QuickKit::PathToUtf8(FakeInstaller().parent_path() / "download_child");
  std::vector<std::string> args = {child, url, guid, folder.Folder(), cache};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, child.c_str(), nullptr, nullptr, argv.data(), environ), 0);
  const fs::path part = fs::path(cache) / ("NorvaneInstaller_" + name + ".part");
  const auto partSize = [&] {
    std::error_code ignored;
    const auto size = fs::file_size(part, ignored);
    return ignored ? std::uintmax_t{0} : size;
  };
  const bool inFlight = WaitFor(
      [&] {
        return server->BodyBytesSent() >= cut &&
               partSize() + QuickKit::BufferedSeqStream::kDefaultCapacity >= cut;
      },
      std::chrono::seconds(30));
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(inFlight);
  ASSERT_TRUE(WIFSIGNALED(status));

  // What the killed program left: its saved run and the part, with its
  // record.
  const std::uintmax_t kept = partSize();
  ASSERT_GT(kept, 0u);
  EXPECT_TRUE(fs::exists(fs::path(cache) / ("NorvaneInstaller_" + name + ".part.info")));
  EXPECT_EQ(LoadState().queue, std::vector<std::int32_t>{1});

  CatalogueProduct product;
  product.productIndex = 1;
  product.url = url;
  product.guid = guid;
  NoPrompt prompt;
  auto ends = std::make_shared<Ends>();
  const std::uint64_t sentBefore = server->BodyBytesSent();
  {
    SerialInstaller installer(
        {product}, [&] { return folder.Folder(); }, [&] { return cache; }, ends, "/opt/norvane",
        &prompt);
    const std::uint32_t run = installer.ResumeInstallation();
    ASSERT_NE(run, 0u);
    ASSERT_TRUE(WaitFor([&] { return ends->ended.load(); }, std::chrono::seconds(30)));
    RunOutcome outcome;
    ASSERT_TRUE(installer.GetOutcome(run, &outcome));
    ASSERT_EQ(outcome.products.size(), 1u);
    EXPECT_EQ(outcome.products[0].result, ProductResult::Installed);
  }
  EXPECT_EQ(server->Requests().back().range, "bytes=" + std::to_string(kept) + "-");
  EXPECT_EQ(server->BodyBytesSent() - sentBefore, body.size() - kept);
  EXPECT_NE(folder.Started().find("NorvaneInstaller_" + name), std::string::npos);
  EXPECT_FALSE(fs::exists(cache));
  QuickKit::DeleteRegistryTree(QuickKit::RegistryHive::CurrentUser,
                               std::string(QuickKit::kUninstallKeyPath) + "\\" + guid);
  ClearState();
}

}  // namespace
}  // namespace bright_setup
