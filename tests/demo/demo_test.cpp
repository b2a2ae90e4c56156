// The demo as a user and the next step's tests meet it: the real server
// and installer executables as child processes, downloads through the
// program's own network code, the catalogue read by the program's parser
// and by the catalogue checker, hits sent by the program's statistics
// client.
#include <fcntl.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/catalogue_download.h"
#include "catalogue/catalogue_model.h"
#include "catalogue/catalogue_text.h"
#include "demo/demo_products.h"
#include "demo/qr_png.h"
#include "net/internet.h"
#include "no_prompt.h"
#include "registry_fixture.h"
#include "stats/google_analytics_stat.h"
#include "support/digest.h"
#include "support/registry.h"

extern char** environ;

namespace norvane_demo {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using QuickKit::test::NoPrompt;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class TemporaryFolder {
 public:
  TemporaryFolder()
      : m_path(fs::temp_directory_path() /
               ("norvane-demo-test-" + std::to_string(std::random_device()()))) {
    fs::create_directories(m_path);
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
  }
  const fs::path& Path() const { return m_path; }

 private:
  fs::path m_path;
};

// The environment of this process with some names set (a value) or
// removed (no value).
std::vector<std::string> Environment(
    const std::map<std::string, std::optional<std::string>>& changes) {
  std::vector<std::string> result;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    if (changes.count(text.substr(0, text.find('='))) == 0) result.push_back(text);
  }
  for (const auto& [name, value] : changes) {
    if (value) result.push_back(name + "=" + *value);
  }
  return result;
}

// A child process; its standard output comes through a pipe, its standard
// error goes to a file.
class Child {
 public:
  ~Child() {
    if (m_pid > 0) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
    if (m_out >= 0) ::close(m_out);
  }

  bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
             const fs::path& folder, const fs::path& errorFile) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorFile.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0600);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    std::vector<char*> env;
    for (const std::string& entry : environment) env.push_back(const_cast<char*>(entry.c_str()));
    env.push_back(nullptr);
    const int error = posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    m_out = pipeFds[0];
    if (error != 0) m_pid = -1;
    return error == 0;
  }

  // The next line of standard output, or nothing after limit.
  std::optional<std::string> ReadLine(std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    for (;;) {
      const std::size_t newline = m_buffer.find('\n');
      if (newline != std::string::npos) {
        std::string line = m_buffer.substr(0, newline);
        m_buffer.erase(0, newline + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
      if (left.count() <= 0) return std::nullopt;
      pollfd fd{m_out, POLLIN, 0};
      if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
      char chunk[4096];
      const ssize_t n = ::read(m_out, chunk, sizeof chunk);
      if (n <= 0) return std::nullopt;
      m_buffer.append(chunk, static_cast<std::size_t>(n));
    }
  }

  // The exit status, or -1 when the process had not ended within limit.
  int Wait(std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (m_pid > 0) {
      int status = 0;
      const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
      if (done == m_pid) {
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      if (Clock::now() > end) return -1;
      std::this_thread::sleep_for(10ms);
    }
    return -1;
  }

  pid_t Pid() const { return m_pid; }

 private:
  pid_t m_pid = -1;
  int m_out = -1;
  std::string m_buffer;
};

// The demo server as a child process, with what it printed on start.
class DemoServerProcess {
 public:
  explicit DemoServerProcess(std::vector<std::string> options = {}) {
    m_log = m_folder.Path() / "server.log";
    std::vector<std::string> argv{NORVANE_DEMO_SERVER};
    argv.insert(argv.end(), options.begin(), options.end());
    if (!m_child.Start(argv, Environment({}), m_folder.Path(), m_log)) return;
    for (int i = 0; i < 3; ++i) {
      const std::optional<std::string> line = m_child.ReadLine(20s);
      if (!line) return;
      const std::size_t equals = line->find('=');
      if (equals != std::string::npos) settings[line->substr(0, equals)] = line->substr(equals + 1);
    }
  }

  bool Started() const { return settings.size() == 3; }
  // Stops it with a signal; its exit status, -1 when it had not ended in
  // 10 s. Once stopped, the status it stopped with.
  int Stop(int signal = SIGTERM) {
    if (!m_stopped) {
      if (m_child.Pid() > 0) ::kill(m_child.Pid(), signal);
      m_status = m_child.Wait(10s);
      m_stopped = true;
    }
    return m_status;
  }
  std::string Log() const { return ReadText(m_log); }
  const fs::path& Folder() const { return m_folder.Path(); }
  // The download site, http://127.0.0.1:PORT.
  std::string Site() const {
    const std::string& catalogue = settings.at("NORVANE_CATALOGUE_URL");
    return catalogue.substr(0, catalogue.find('/', catalogue.find("://") + 3));
  }

  std::map<std::string, std::string> settings;

 private:
  TemporaryFolder m_folder;
  fs::path m_log;
  Child m_child;
  bool m_stopped = false;
  int m_status = -1;
};

struct Download {
  HRESULT result = E_FAIL;
  std::uint64_t announced = QuickKit::kUnknownStreamSize;
  std::string bytes;
  std::chrono::milliseconds took{0};
};

// A GET through the program's own stream and copy loop.
Download Fetch(const std::string& url, std::uint32_t receiveTimeoutMs = 0) {
  Download download;
  const auto start = Clock::now();
  QuickKit::InternetSession session(false);
  download.result = session.Open();
  if (SUCCEEDED(download.result) && receiveTimeoutMs != 0) {
    download.result = session.SetTimeouts(5000, receiveTimeoutMs);
  }
  QuickKit::InternetStream stream;
  if (SUCCEEDED(download.result)) download.result = stream.OpenUrlStream(&session, url, nullptr);
  if (SUCCEEDED(download.result)) {
    QuickKit::StreamStat stat;
    stream.Stat(&stat, QuickKit::STATFLAG_NONAME);
    download.announced = stat.size;
    QuickKit::StringAsSeqStreamA sink(&download.bytes);
    download.result = QuickKit::CopyStream(&stream, nullptr, &sink, 0xFFFFFFFFu);
  }
  download.took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  return download;
}

// The catalogue the server hands out, as the program loads it.
struct ServedCatalogue {
  std::string bytes;
  bright_setup::VerInfo verInfo;
  std::vector<bright_setup::CatalogueProduct> products;
  std::string Value(const std::string& key) const {
    std::string value;
    return bright_setup::FindCatalogueValue(verInfo, key, "en", value) ? value : "(missing)";
  }
};

void LoadServedCatalogue(const DemoServerProcess& server, ServedCatalogue* catalogue) {
  ::setenv("NORVANE_CATALOGUE_URL", server.settings.at("NORVANE_CATALOGUE_URL").c_str(), 1);
  NoPrompt prompt;
  ASSERT_TRUE(bright_setup::DownloadCatalogueBytes(nullptr, prompt, catalogue->bytes));
  ::unsetenv("NORVANE_CATALOGUE_URL");
  ASSERT_TRUE(bright_setup::LoadCatalogueText(catalogue->bytes, catalogue->verInfo));
  catalogue->products = bright_setup::ListCatalogueProducts(catalogue->verInfo, "en");
}

struct ToolRun {
  int status = -1;
  std::string out;
};

ToolRun RunCatalogueTool(const std::vector<std::string>& args, const fs::path& folder) {
  std::vector<std::string> argv{NORVANE_CATALOGUE_TOOL};
  argv.insert(argv.end(), args.begin(), args.end());
  Child child;
  ToolRun run;
  if (!child.Start(argv, Environment({}), folder, folder / "tool.err")) return run;
  while (std::optional<std::string> line = child.ReadLine(20s)) run.out += *line + "\n";
  run.status = child.Wait(10s);
  return run;
}

class DemoServerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    // Every server of these tests must stop cleanly on SIGTERM.
    if (server && server->Started()) {
      EXPECT_EQ(server->Stop(), 0) << server->Log();
    }
  }
  void StartServer(std::vector<std::string> options = {}) {
    server = std::make_unique<DemoServerProcess>(std::move(options));
    ASSERT_TRUE(server->Started()) << server->Log();
  }
  std::unique_ptr<DemoServerProcess> server;
};

TEST_F(DemoServerTest, PrintsTheThreeSettingsOfAProgramRun) {
  StartServer({"--ca-file", "ca.pem"});
  EXPECT_EQ(server->settings.at("NORVANE_CATALOGUE_URL"),
            server->Site() + "/Fast/brightsetup/windows/verinfo.txt");
  EXPECT_EQ(server->settings.at("NORVANE_CATALOGUE_URL").rfind("http://127.0.0.1:", 0), 0u);
  EXPECT_EQ(server->settings.at("NORVANE_COLLECTOR_URL").rfind("https://localhost:", 0), 0u);
  // A relative name is made absolute, since the program runs elsewhere;
  // the file named by the user stays after the run.
  const std::string caFile = server->settings.at("NORVANE_CA_FILE");
  EXPECT_EQ(caFile, (server->Folder() / "ca.pem").string());
  EXPECT_NE(ReadText(caFile).find("-----BEGIN CERTIFICATE-----"), std::string::npos);
  EXPECT_EQ(server->Stop(), 0);
  EXPECT_TRUE(fs::exists(caFile));
}

TEST_F(DemoServerTest, CatalogueListsEveryProductWithItsAreasAndPassesTheChecker) {
  StartServer();
  ServedCatalogue catalogue;
  ASSERT_NO_FATAL_FAILURE(LoadServedCatalogue(*server, &catalogue));

  ASSERT_EQ(catalogue.products.size(), kDemoProducts.size());
  for (std::size_t i = 0; i < kDemoProducts.size(); ++i) {
    const DemoProduct& demo = kDemoProducts[i];
    const bright_setup::CatalogueProduct& product = catalogue.products[i];
    SCOPED_TRACE(demo.installerFile);
    EXPECT_EQ(product.productIndex, demo.productIndex);
    EXPECT_EQ(product.url, server->Site() + "/products/" + std::string(demo.installerFile));
    EXPECT_EQ(product.guid, demo.guid);
    EXPECT_FALSE(product.areas.empty());
    EXPECT_EQ(product.sha256.size(), 64u);
    EXPECT_EQ(bright_setup::LocalInstallerName(product),
              "NorvaneInstaller_" + std::string(demo.installerFile));
  }

  const fs::path file = server->Folder() / "verinfo.txt";
  std::ofstream(file, std::ios::binary) << catalogue.bytes;
  const ToolRun check = RunCatalogueTool({"check", file.string()}, server->Folder());
  EXPECT_EQ(check.status, 0);
  EXPECT_EQ(check.out, "ok: 43 entries\n");  // 8 x 4 products, 4 links, 7 sharing

  // Each area as the page would choose it: the products it selects, in
  // installation order, after the suite rule.
  const std::map<std::string, std::string> selections{
      {"Device", "fortress\ntidy\npatcher\n"},  // Fortress outranks the other suite products
      {"Privacy", "fortress\n"},
      {"Money", "fortress\n"},
      {"Family", "kidzone\n"},
      {"Data", "vault\n"},
      {"Business", "vault\npatcher\n"},
  };
  for (const auto& [area, selected] : selections) {
    SCOPED_TRACE(area);
    const ToolRun select = RunCatalogueTool(
        {"select", file.string(), "--lang", "en", "+area:" + area}, server->Folder());
    EXPECT_EQ(select.status, 0);
    const std::size_t last = select.out.rfind("--\n");
    ASSERT_NE(last, std::string::npos) << select.out;
    EXPECT_EQ(select.out.substr(last + 3), selected);
  }
}

TEST_F(DemoServerTest, LinksSharingAndQrCodeLeadBackToTheServer) {
  StartServer();
  ServedCatalogue catalogue;
  ASSERT_NO_FATAL_FAILURE(LoadServedCatalogue(*server, &catalogue));

  std::vector<std::string> pages;
  for (std::string_view id : kPageLinkIds) {
    std::string key = "LINK_" + std::string(id);
    for (char& c : key) c = c == '-' ? '_' : c;  // the page id my-norvane is LINK_my_norvane
    pages.push_back(catalogue.Value(key));
  }
  pages.push_back(catalogue.Value("SHARING_link"));
  for (std::string_view network : kShareNetworks) {
    pages.push_back(catalogue.Value("SHARING_" + std::string(network) + "_url"));
  }
  for (const std::string& page : pages) {
    SCOPED_TRACE(page);
    EXPECT_EQ(page.rfind(server->Site() + "/", 0), 0u);
    const Download download = Fetch(page);
    EXPECT_EQ(download.result, S_OK);
    EXPECT_NE(download.bytes.find("<h1>Norvane demo</h1>"), std::string::npos);
  }
  EXPECT_TRUE(FAILED(Fetch(server->Site() + "/links/no-such-link").result));

  for (const char* name : {"SHARING_protect_another_device", "SHARING_email_command"}) {
    EXPECT_EQ(catalogue.Value(name).rfind("mailto:<email>?", 0), 0u) << name;
  }

  // The picture is the QR code of the share link, module for module.
  const Download picture = Fetch(catalogue.Value("SHARING_qrcode"));
  ASSERT_EQ(picture.result, S_OK);
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("png", nullptr);
  ASSERT_NE(loader, nullptr);
  const bool decoded =
      gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(picture.bytes.data()),
                              picture.bytes.size(), nullptr) &&
      gdk_pixbuf_loader_close(loader, nullptr);
  GdkPixbuf* pixbuf = decoded ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
  ASSERT_NE(pixbuf, nullptr);
  const QrModules modules = EncodeQr(catalogue.Value("SHARING_link"));
  ASSERT_GT(modules.width, 0);
  const int side = (modules.width + 2 * kQrMargin) * kQrScale;
  EXPECT_EQ(gdk_pixbuf_get_width(pixbuf), side);
  EXPECT_EQ(gdk_pixbuf_get_height(pixbuf), side);
  const guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  int wrong = 0;
  for (int row = -kQrMargin; row < modules.width + kQrMargin; ++row) {
    for (int column = -kQrMargin; column < modules.width + kQrMargin; ++column) {
      // The middle pixel of each module.
      const int y = (row + kQrMargin) * kQrScale + kQrScale / 2;
      const int x = (column + kQrMargin) * kQrScale + kQrScale / 2;
      const bool dark = pixels[y * stride + x * channels] < 128;
      const bool inside = row >= 0 && row < modules.width && column >= 0 && column < modules.width;
      const bool expected =
          inside && modules.dark[static_cast<std::size_t>(row * modules.width + column)];
      if (dark != expected) ++wrong;
    }
  }
  EXPECT_EQ(wrong, 0);
  g_object_unref(loader);
}

TEST_F(DemoServerTest, ServedInstallersMatchTheirHashes) {
  StartServer();
  ServedCatalogue catalogue;
  ASSERT_NO_FATAL_FAILURE(LoadServedCatalogue(*server, &catalogue));
  const std::string installer = ReadText(NORVANE_DEMO_INSTALLER);
  ASSERT_FALSE(installer.empty());
  for (const bright_setup::CatalogueProduct& product : catalogue.products) {
    SCOPED_TRACE(product.url);
    const Download download = Fetch(product.url);
    ASSERT_EQ(download.result, S_OK);
    EXPECT_EQ(download.announced, installer.size());
    EXPECT_TRUE(download.bytes == installer);  // no megabytes of output on failure
    EXPECT_EQ(QuickKit::Sha256Hex(download.bytes), product.sha256);
  }
}

TEST_F(DemoServerTest, FaultOptionsCutShortAlterAndStallTheirProductsOnly) {
  StartServer({"--cut-short", "shield", "--wrong-hash", "guard", "--stall", "scout"});
  ServedCatalogue catalogue;
  ASSERT_NO_FATAL_FAILURE(LoadServedCatalogue(*server, &catalogue));
  const auto product = [&](std::int32_t index) -> const bright_setup::CatalogueProduct& {
    return catalogue.products.at(static_cast<std::size_t>(index));
  };
  const std::uint64_t size = ReadText(NORVANE_DEMO_INSTALLER).size();

  // Cut short: the whole length is announced, half arrives, the read fails.
  const Download cut = Fetch(product(bright_setup::kShield).url);
  EXPECT_TRUE(FAILED(cut.result));
  EXPECT_EQ(cut.announced, size);
  EXPECT_EQ(cut.bytes.size(), size / 2);

  // Wrong hash: a whole, well-formed download whose SHA-256 is not the
  // catalogue's.
  const Download altered = Fetch(product(bright_setup::kGuard).url);
  EXPECT_EQ(altered.result, S_OK);
  EXPECT_EQ(altered.bytes.size(), altered.announced);
  EXPECT_NE(QuickKit::Sha256Hex(altered.bytes), product(bright_setup::kGuard).sha256);

  // Stalled: half arrives, then nothing; the client's receive time-out
  // (1 s here) ends it, not the server.
  const Download stalled = Fetch(product(bright_setup::kScout).url, 1000);
  EXPECT_TRUE(FAILED(stalled.result));
  EXPECT_EQ(stalled.bytes.size(), size / 2);
  EXPECT_GE(stalled.took, 1000ms);

  // The other products are untouched.
  const Download vault = Fetch(product(0).url);
  EXPECT_EQ(vault.result, S_OK);
  EXPECT_EQ(QuickKit::Sha256Hex(vault.bytes), product(0).sha256);

  const std::string log = server->Log();
  EXPECT_NE(log.find("NorvaneShieldSetup for Norvane Shield, cut short"), std::string::npos) << log;
  EXPECT_NE(log.find("NorvaneGuardSetup for Norvane Guard, altered"), std::string::npos);
  EXPECT_NE(log.find("NorvaneScoutSetup for Norvane Scout, stalled"), std::string::npos);
}

TEST_F(DemoServerTest, StopsAtOnceOnSigintDuringAStalledDownloadAndRemovesItsCaFolder) {
  StartServer({"--stall", "scout"});
  const std::string caFile = server->settings.at("NORVANE_CA_FILE");
  ASSERT_TRUE(fs::exists(caFile));
  ServedCatalogue catalogue;
  ASSERT_NO_FATAL_FAILURE(LoadServedCatalogue(*server, &catalogue));
  // The default receive time-out (30 s) keeps this download waiting on the
  // stalled server until the server goes.
  std::thread download([&] { Fetch(catalogue.products.at(bright_setup::kScout).url); });
  const auto waitUntil = Clock::now() + 10s;
  while (server->Log().find("stalled") == std::string::npos && Clock::now() < waitUntil) {
    std::this_thread::sleep_for(10ms);
  }
  const auto start = Clock::now();
  const int status = server->Stop(SIGINT);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  download.join();
  EXPECT_EQ(status, 0) << server->Log();
  EXPECT_LT(took, 5s);  // a server waiting for the stall to end would take the 30 s
  std::printf("stop during a stalled download: %lld ms\n", static_cast<long long>(took.count()));
  EXPECT_FALSE(fs::exists(fs::path(caFile).parent_path()));
  server.reset();
}

TEST_F(DemoServerTest, CollectorRecordsAndPrintsATlsHitOnlyWithTheDemoCa) {
  const fs::path hits =
      fs::temp_directory_path() / ("norvane-demo-hits-" + std::to_string(std::random_device()()));
  StartServer({"--hits-file", hits.string()});
  ::setenv("NORVANE_COLLECTOR_URL", server->settings.at("NORVANE_COLLECTOR_URL").c_str(), 1);

  const auto send = [](const char* label) {
    QuickKit::InternetSession session(false);
    QuickKit::CGoogleAnalyticsStat statistics(&session);
    statistics.SetApplicationInfo("1.0.0.64");
    return statistics.SendEvent("Demo", "Check", label);
  };
  // Without the demo CA the certificate is refused: the collector is
  // really behind TLS, and nothing reaches it.
  ::unsetenv("NORVANE_CA_FILE");
  EXPECT_TRUE(FAILED(send("untrusted")));
  ::setenv("NORVANE_CA_FILE", server->settings.at("NORVANE_CA_FILE").c_str(), 1);
  EXPECT_EQ(send("trusted"), S_OK);
  ::unsetenv("NORVANE_CA_FILE");
  ::unsetenv("NORVANE_COLLECTOR_URL");

  const std::string recorded = ReadText(hits);
  std::error_code ignored;
  fs::remove(hits, ignored);
  EXPECT_EQ(recorded,
            "/collect?v=1&ds=app&an=BrightSetupWindows&aid=VUV&av=1.0.0.64"
            "&t=event&ec=Demo&ea=Check&el=trusted&ev=1\n");
  EXPECT_NE(server->Log().find("collector: event Demo / Check / trusted\n"), std::string::npos)
      << server->Log();
  EXPECT_EQ(server->Log().find("untrusted"), std::string::npos);
}

TEST(DemoServer, RefusesAnUnknownProductOrOption) {
  TemporaryFolder folder;
  for (const std::vector<std::string>& options : std::vector<std::vector<std::string>>{
           {"--stall", "Shield"}, {"--cut-short"}, {"--port", "80"}}) {
    std::vector<std::string> argv{NORVANE_DEMO_SERVER};
    argv.insert(argv.end(), options.begin(), options.end());
    Child child;
    ASSERT_TRUE(child.Start(argv, Environment({}), folder.Path(), folder.Path() / "err"));
    EXPECT_FALSE(child.ReadLine(10s).has_value());  // no settings printed
    EXPECT_EQ(child.Wait(10s), 2) << options[0];
  }
}

// --- The demo installer ---

struct InstallerRun {
  int status = -1;
  std::chrono::milliseconds took{0};
  std::string out;
};

// Runs a copy of the demo installer saved under name, as the program runs
// a download: no arguments, the folder as working directory.
InstallerRun RunInstallerAs(const fs::path& folder, const std::string& name,
                            std::map<std::string, std::optional<std::string>> environment) {
  fs::copy_file(NORVANE_DEMO_INSTALLER, folder / name, fs::copy_options::overwrite_existing);
  InstallerRun run;
  Child child;
  const auto start = Clock::now();
  if (!child.Start({(folder / name).string()}, Environment(environment), folder,
                   folder / "installer.err")) {
    return run;
  }
  while (std::optional<std::string> line = child.ReadLine(30s)) run.out += *line + "\n";
  run.status = child.Wait(30s);
  run.took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  return run;
}

bool Installed(const DemoProduct& product) {
  // The program's own test of an installed product.
  return QuickKit::RegistryKeyExists(
      QuickKit::RegistryHive::CurrentUser,
      std::string(QuickKit::kUninstallKeyPath) + "\\" + std::string(product.guid));
}

TEST(DemoInstaller, RegistersItsProductsUninstallKeyInThePrivateTree) {
  QuickKit::TemporaryRegistry registry;  // XDG_CONFIG_HOME in a temporary folder
  TemporaryFolder folder;
  const fs::path log = folder.Path() / "demo.log";
  const DemoProduct& shield = *DemoProductById("shield");
  ASSERT_FALSE(Installed(shield));

  const InstallerRun run = RunInstallerAs(folder.Path(), "NorvaneInstaller_NorvaneShieldSetup",
                                          {{"DISPLAY", std::nullopt},
                                           {"WAYLAND_DISPLAY", std::nullopt},
                                           {"NORVANE_DEMO_INSTALL_MS", "300"},
                                           {"NORVANE_DEMO_LOG", log.string()}});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_GE(run.took, 300ms);
  EXPECT_TRUE(Installed(shield));
  QuickKit::RegistryKey key;
  ASSERT_EQ(QuickKit::RegistryKey::Open(QuickKit::RegistryHive::CurrentUser,
                                        UninstallKeyPath(shield), false, &key),
            S_OK);
  QuickKit::RegistryValue name;
  EXPECT_EQ(key.QueryValue("DisplayName", &name), S_OK);
  EXPECT_EQ(name.text, "Norvane Shield (demo)");
  // Only its own product: no other key appeared.
  for (const DemoProduct& other : kDemoProducts) {
    if (&other != &shield) {
      EXPECT_FALSE(Installed(other)) << other.name;
    }
  }
  // The key lies in the temporary tree, not in the user's own.
  EXPECT_TRUE(fs::exists(fs::path(registry.UserFolder()) / "norvane-registry" / "Software" /
                         "Microsoft" / "Windows" / "CurrentVersion" / "Uninstall" /
                         std::string(shield.guid)));
  const std::string lines = ReadText(log);
  EXPECT_NE(lines.find(" Norvane Shield: installing (no display)\n"), std::string::npos) << lines;
  EXPECT_NE(lines.find(" Norvane Shield: installed; uninstall key HKCU\\Software\\"),
            std::string::npos);
  EXPECT_EQ(run.out, lines);  // the same lines on its standard output
}

TEST(DemoInstaller, ShowsItsWindowWhenThereIsADisplay) {
  QuickKit::TemporaryRegistry registry;
  TemporaryFolder folder;
  const std::string name = "NorvaneInstaller_NorvaneKidZoneSetup";
  fs::copy_file(NORVANE_DEMO_INSTALLER, folder.Path() / name);
  InstallerRun run;
  Child child;
  ASSERT_TRUE(child.Start({"/usr/bin/xvfb-run", "-a", (folder.Path() / name).string()},
                          Environment({{"NORVANE_DEMO_INSTALL_MS", "300"}}), folder.Path(),
                          folder.Path() / "installer.err"));
  while (std::optional<std::string> line = child.ReadLine(60s)) run.out += *line + "\n";
  EXPECT_EQ(child.Wait(30s), 0) << ReadText(folder.Path() / "installer.err");
  EXPECT_NE(run.out.find(" Norvane KidZone: installing, in its window\n"), std::string::npos)
      << run.out;
  EXPECT_TRUE(Installed(*DemoProductById("kidzone")));
}

TEST(DemoInstaller, StartedUnderAnotherNameInstallsNothing) {
  QuickKit::TemporaryRegistry registry;
  TemporaryFolder folder;
  for (const char* name : {"norvane-demo-installer", "NorvaneShieldSetup",
                           "NorvaneInstaller_NorvaneShieldSetup.exe"}) {
    const InstallerRun run = RunInstallerAs(
        folder.Path(), name, {{"DISPLAY", std::nullopt}, {"NORVANE_DEMO_INSTALL_MS", "0"}});
    EXPECT_EQ(run.status, 2) << name;
  }
  for (const DemoProduct& product : kDemoProducts) EXPECT_FALSE(Installed(product));
}

}  // namespace
}  // namespace norvane_demo
