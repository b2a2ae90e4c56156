// The installer program end to end: the real program (through the driver
// that works its page from inside the process) in a real window under
// Xvfb, against the demo server and its demo installers, each test in a
// private home and XDG tree of its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Polls, never sleeping longer than 50 ms at a time, until done() holds.
template <typename Done>
bool WaitUntil(Done done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

class Process {
 public:
  // Starts program with args and the environment, its output into outFile.
  Process(const std::vector<std::string>& command, const std::vector<std::string>& env,
          const fs::path& outFile) {
    std::vector<char*> argv;
    for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& entry : env) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Process() {
    if (m_pid > 0 && !m_ended) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, &m_status, 0);
    }
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  bool Started() const { return m_pid > 0; }
  void Signal(int number) { kill(m_pid, number); }
  // The raw wait status, once ended within the limit.
  bool Wait(std::chrono::milliseconds limit) {
    return WaitUntil(
        [&] {
          if (!m_ended && waitpid(m_pid, &m_status, WNOHANG) == m_pid) m_ended = true;
          return m_ended;
        },
        limit);
  }
  int Status() const { return m_status; }

 private:
  pid_t m_pid = -1;
  int m_status = 0;
  bool m_ended = false;
};

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/norvane-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_root = pattern;
    for (const char* folder : {"home", "config", "data", "cache", "runtime", "xdg"}) {
      fs::create_directories(m_root / folder);
      fs::permissions(m_root / folder, fs::perms::owner_all);
    }
    m_env = {
        "HOME=" + (m_root / "home").string(),
        "XDG_CONFIG_HOME=" + (m_root / "config").string(),
        "XDG_DATA_HOME=" + (m_root / "data").string(),
        "XDG_CACHE_HOME=" + (m_root / "cache").string(),
        "XDG_RUNTIME_DIR=" + (m_root / "runtime").string(),
        "XDG_CONFIG_DIRS=" + (m_root / "xdg").string() + ":/etc/xdg",
        "NORVANE_DEMO_LOG=" + Log().string(),
        "NORVANE_DEMO_INSTALL_MS=300",
        "NO_AT_BRIDGE=1",
        "WEBKIT_DISABLE_COMPOSITING_MODE=1",
        "PATH=" + std::string(getenv("PATH") != nullptr ? getenv("PATH") : "/usr/bin:/bin"),
    };
    for (const char* name :
         {"DISPLAY", "XAUTHORITY", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
      if (const char* value = getenv(name)) m_env.push_back(std::string(name) + "=" + value);
    }
  }

  void TearDown() override {
    m_server.reset();
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
  }

  fs::path Log() const { return m_root / "installers.log"; }
  fs::path Hits() const { return m_root / "hits.txt"; }

  // Starts the demo server (with fault options) and adds its settings to
  // the environment of the programs started after.
  void StartServer(const std::vector<std::string>& options = {}) {
    m_server.reset();
    m_settings.clear();
    const fs::path out = m_root / ("server" + std::to_string(++m_servers) + ".txt");
    std::vector<std::string> command = {NORVANE_DEMO_SERVER, "--ca-file",
                                        (m_root / "ca.pem").string(), "--hits-file",
                                        Hits().string()};
    command.insert(command.end(), options.begin(), options.end());
    m_server = std::make_unique<Process>(command, m_env, out);
    ASSERT_TRUE(m_server->Started());
    ASSERT_TRUE(WaitUntil(
        [&] {
          std::istringstream lines(ReadFile(out));
          std::string line;
          while (std::getline(lines, line)) {
            const std::size_t eq = line.find('=');
            if (line.rfind("NORVANE_", 0) == 0 && eq != std::string::npos)
              m_settings[line.substr(0, eq)] = line.substr(eq + 1);
          }
          return m_settings.size() == 3;
        },
        30s));
  }

  std::vector<std::string> ProgramEnv() const {
    std::vector<std::string> env = m_env;
    for (const auto& [name, value] : m_settings) env.push_back(name + "=" + value);
    return env;
  }

  std::unique_ptr<Process> StartDriver(const std::string& steps, const fs::path& out) {
    return std::make_unique<Process>(
        std::vector<std::string>{NORVANE_PROGRAM_DRIVER, "--steps", steps}, ProgramEnv(), out);
  }

  // Runs the driver to its end; its output.
  std::string Drive(const std::string& steps, int* status = nullptr) {
    const fs::path out = m_root / ("driver" + std::to_string(++m_drives) + ".txt");
    auto driver = StartDriver(steps, out);
    EXPECT_TRUE(driver->Wait(180s)) << ReadFile(out);
    if (status != nullptr) *status = driver->Status();
    return ReadFile(out);
  }

  fs::path m_root;
  std::vector<std::string> m_env;
  std::map<std::string, std::string> m_settings;
  std::unique_ptr<Process> m_server;
  int m_servers = 0;
  int m_drives = 0;
};

constexpr char kOutcome[] =
    "print:document.querySelector('.page-done').getAttribute('data-outcome')";
constexpr char kMissing[] =
    "print:Array.from(document.querySelectorAll('#missing-list li')).map(e => e.dataset.id + '/' "
    "+ e.dataset.result).join(' ')";

bool Passed(const std::string& output) { return output.find("driver: ok") != std::string::npos; }

TEST_F(ProgramTest, InstallsTheChosenProductsInOrderAndSaysSo) {
  StartServer();
  const std::string output =
      Drive(std::string("shown,continue,area:Family,area:Data,install,done,") + kOutcome +
            ",print:window.external.GetInstallPercents(),close");
  ASSERT_TRUE(Passed(output)) << output;
  EXPECT_NE(output.find("data-outcome')=\"installed\""), std::string::npos) << output;
  EXPECT_NE(output.find("GetInstallPercents()=100"), std::string::npos) << output;
  const std::string log = ReadFile(Log());
  const std::size_t vault = log.find("Norvane Vault: installed");
  const std::size_t kidzone = log.find("Norvane KidZone: installed");
  ASSERT_NE(vault, std::string::npos) << log;
  ASSERT_NE(kidzone, std::string::npos) << log;
  EXPECT_LT(vault, kidzone) << log;
}

TEST_F(ProgramTest, ADamagedOrCutDownloadIsNeverStartedAndTheLastPageNamesIt) {
  StartServer({"--cut-short", "vault", "--wrong-hash", "kidzone"});
  const std::string output =
      Drive(std::string("shown,continue,area:Family,area:Data,install,done,") + kOutcome + "," +
            kMissing + ",close");
  ASSERT_TRUE(Passed(output)) << output;
  EXPECT_NE(output.find("data-outcome')=\"failed\""), std::string::npos) << output;
  EXPECT_NE(output.find("vault/downloadFailed"), std::string::npos) << output;
  EXPECT_NE(output.find("kidzone/damaged"), std::string::npos) << output;
  EXPECT_EQ(ReadFile(Log()), "");
}

TEST_F(ProgramTest, StopEndsTheRunAndTheLastPageSaysItWasStopped) {
  StartServer({"--stall", "vault"});
  const std::string output =
      Drive(std::string("shown,continue,area:Data,install,stop,done,") + kOutcome + ",close");
  ASSERT_TRUE(Passed(output)) << output;
  EXPECT_NE(output.find("data-outcome')=\"stopped\""), std::string::npos) << output;
  // The user's stop clears what a restart would have continued.
  EXPECT_FALSE(fs::exists(m_root / "config/autostart/NorvaneInstaller.desktop"));
}

TEST_F(ProgramTest, ASecondStartIsRefusedWhileTheFirstRuns) {
  StartServer();
  const fs::path firstOut = m_root / "first.txt";
  auto first = StartDriver("shown,hold", firstOut);
  ASSERT_TRUE(
      WaitUntil([&] { return ReadFile(firstOut).find("step: shown") != std::string::npos; }, 60s))
      << ReadFile(firstOut);
  // Without a display the refusal goes to the standard error.
  std::vector<std::string> env;
  for (const std::string& entry : ProgramEnv())
    if (entry.rfind("DISPLAY=", 0) != 0) env.push_back(entry);
  const fs::path secondOut = m_root / "second.txt";
  Process second({NORVANE_INSTALLER}, env, secondOut);
  ASSERT_TRUE(second.Wait(30s));
  EXPECT_TRUE(WIFEXITED(second.Status()) && WEXITSTATUS(second.Status()) == 0);
  EXPECT_NE(ReadFile(secondOut).find("Another instance is currently running."), std::string::npos);
  // The first is not affected: it still runs, and ends when its session does.
  first->Signal(SIGTERM);
  ASSERT_TRUE(first->Wait(30s));
  EXPECT_TRUE(WIFEXITED(first->Status()) && WEXITSTATUS(first->Status()) == 0)
      << ReadFile(firstOut);
}

class InterruptedRunTest : public ProgramTest, public ::testing::WithParamInterface<int> {};

TEST_P(InterruptedRunTest, ResumesAtTheInstallingPageWithTheRemainingQueue) {
  // Vault installs; KidZone's download hangs halfway (at 75 %, its half of
  // the run begun), so the run is in progress, with KidZone at the front of
  // its saved queue, when the program is ended.
  StartServer({"--stall", "kidzone"});
  const fs::path out = m_root / "interrupted.txt";
  auto driver = StartDriver(
      "shown,continue,area:Family,area:Data,install,wait:window.external.GetInstallPercents() > "
      "50,hold",
      out);
  ASSERT_TRUE(
      WaitUntil([&] { return ReadFile(out).find("step: hold") != std::string::npos; }, 120s))
      << ReadFile(out);
  driver->Signal(GetParam());
  ASSERT_TRUE(driver->Wait(30s));
  EXPECT_TRUE(fs::exists(m_root / "config/autostart/NorvaneInstaller.desktop"));

  StartServer();
  const std::string output =
      Drive(std::string("shown,route:simplePage/install_progress,done,") + kOutcome + ",close");
  ASSERT_TRUE(Passed(output)) << output;
  EXPECT_NE(output.find("data-outcome')=\"installed\""), std::string::npos) << output;
  const std::string log = ReadFile(Log());
  EXPECT_NE(log.find("Norvane KidZone: installed"), std::string::npos) << log;
  // Vault was done before the interruption and is not run again.
  EXPECT_EQ(log.find("Norvane Vault: installing"), log.rfind("Norvane Vault: installing")) << log;
  EXPECT_FALSE(fs::exists(m_root / "config/autostart/NorvaneInstaller.desktop"));
}

INSTANTIATE_TEST_SUITE_P(KilledOrSessionEnded, InterruptedRunTest,
                         ::testing::Values(SIGKILL, SIGTERM));

TEST_F(ProgramTest, AFatalSignalIsReportedOnlyAfterContinue) {
  StartServer();
  // Before Continue: the system's own handling, no report.
  int status = 0;
  Drive("shown,signal:11", &status);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV) << status;
  // After it: a fresh copy reports the crash to the collector.
  Drive("shown,continue,signal:11", &status);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV) << status;
  ASSERT_TRUE(
      WaitUntil([&] { return ReadFile(Hits()).find("ec=Crash") != std::string::npos; }, 60s))
      << ReadFile(Hits());
  // One report: the crash before Continue (whose relaunch would have come
  // first) sent none.
  const std::string hits = ReadFile(Hits());
  EXPECT_EQ(hits.find("ec=Crash"), hits.rfind("ec=Crash")) << hits;
}

}  // namespace
