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
#include <cstdio>
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

  // How long each demo installer takes in the programs started after.
  void SetInstallMs(int ms) {
    for (std::string& entry : m_env)
      if (entry.rfind("NORVANE_DEMO_INSTALL_MS=", 0) == 0)
        entry = "NORVANE_DEMO_INSTALL_MS=" + std::to_string(ms);
  }
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

  std::unique_ptr<Process> StartDriver(const std::string& steps, const fs::path& out,
                                       const std::vector<std::string>& options = {}) {
    std::vector<std::string> command = {NORVANE_PROGRAM_DRIVER, "--steps", steps};
    command.insert(command.end(), options.begin(), options.end());
    return std::make_unique<Process>(command, ProgramEnv(), out);
  }

  // Runs the driver to its end; its output.
  std::string Drive(const std::string& steps, int* status = nullptr,
                    const std::vector<std::string>& options = {}) {
    const fs::path out = m_root / ("driver" + std::to_string(++m_drives) + ".txt");
    auto driver = StartDriver(steps, out, options);
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

// The values of the lines NAME=VALUE that the driver printed (print:NAME
// steps among them), in order; strings without their JSON quoting (the
// tests' strings hold no other escapes than quotes).
std::vector<std::string> Printed(const std::string& output, const std::string& name) {
  std::vector<std::string> values;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(name + "=", 0) != 0) continue;
    std::string value = line.substr(name.size() + 1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      std::string plain;
      for (std::size_t i = 1; i + 1 < value.size(); ++i) {
        if (value[i] == '\\' && i + 2 < value.size()) ++i;
        plain += value[i];
      }
      value = plain;
    }
    values.push_back(value);
  }
  return values;
}

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

TEST_F(ProgramTest, TheWindowIsShownOnlyWhenThePageSaysItIsReady) {
  StartServer();
  // The page's call is held back: the page has loaded and drawn its first
  // page, and the window stays hidden until the call goes through.
  const std::string output = Drive(
      "wait:window.norvaneReadyHeld === true,loaded,route:simplePage/welcome,hidden,"
      "release-ready,shown,close:#header-close-button",
      nullptr, {"--hold-ready"});
  EXPECT_TRUE(Passed(output)) << output;
}

// What the page shows as chosen, and what the program holds.
constexpr char kTilesChecked[] =
    "Array.from(document.querySelectorAll('.tile-product.is-checked')).map(e => e.dataset.id)"
    ".join(' ')";
constexpr char kProgramChecked[] =
    "JSON.parse(window.external.GetProductCollection()).filter(p => p.state === 1).map(p => "
    "p.id).join(' ')";

// The program's documents as it wrote them, without the white space.
constexpr char kAreaDocument[] = "window.external.GetAreaCollection().split(/\\s/).join('')";
constexpr char kProductDocument[] = "window.external.GetProductCollection().split(/\\s/).join('')";

std::string TilesAre(const std::string& ids) {
  return std::string("wait:") + kTilesChecked + " === '" + ids + "'";
}
std::string AreaChecked(const std::string& id, bool checked) {
  return std::string("wait:") + (checked ? "" : "!") +
         "document.querySelector('.tile-area[data-id=" + id +
         "]').classList.contains('is-checked')";
}

TEST_F(ProgramTest, ChoicesInThePageFollowTheSelectionRules) {
  StartServer();
  // The demo catalogue: Device holds Fortress, Tidy, Patcher and the other
  // three suite products; Family holds KidZone alone.
  const std::vector<std::string> steps = {
      "shown", "continue", "area:Device", AreaChecked("Device", true),
      std::string("print:") + kAreaDocument, std::string("print:") + kProductDocument,
      // The products page shows the area's choice; single products then
      // follow the suite rule: one suite product at most, and unchecking
      // one falls back to the next.
      "click:#custom-link", "route:custom_install", TilesAre("fortress tidy patcher"),
      "click:.tile-product[data-id=shield]", TilesAre("tidy patcher shield"),
      "click:.tile-product[data-id=guard]", TilesAre("tidy patcher guard"),
      "click:.tile-product[data-id=guard]", TilesAre("tidy patcher scout"),
      "click:.tile-product[data-id=scout]", TilesAre("tidy patcher"),
      std::string("print:") + kProgramChecked,
      // An area change recomputes from the areas: the single choices go.
      "click:#back", "route:install", "area:Family", AreaChecked("Family", true),
      std::string("print:") + kProgramChecked, "area:Device", AreaChecked("Device", false),
      std::string("print:") + kProgramChecked, "close:#header-close-button"};
  std::string joined;
  for (const std::string& step : steps) joined += step + ",";
  const std::string output = Drive(joined);
  ASSERT_TRUE(Passed(output)) << output;
  EXPECT_EQ(Printed(output, kAreaDocument),
            std::vector<std::string>{"[{\"id\":\"Device\",\"state\":1,\"protectAnother\":1},"
                                     "{\"id\":\"Privacy\",\"state\":0,\"protectAnother\":0},"
                                     "{\"id\":\"Money\",\"state\":0,\"protectAnother\":0},"
                                     "{\"id\":\"Family\",\"state\":0,\"protectAnother\":0},"
                                     "{\"id\":\"Data\",\"state\":0,\"protectAnother\":0},"
                                     "{\"id\":\"Business\",\"state\":2,\"protectAnother\":0}]"});
  EXPECT_EQ(Printed(output, kProductDocument),
            std::vector<std::string>{
                "[{\"id\":\"vault\",\"state\":0,\"areas\":[\"Data\",\"Business\"]},"
                "{\"id\":\"fortress\",\"state\":1,\"areas\":[\"Device\",\"Privacy\",\"Money\"]},"
                "{\"id\":\"tidy\",\"state\":1,\"areas\":[\"Device\"]},"
                "{\"id\":\"patcher\",\"state\":1,\"areas\":[\"Device\",\"Business\"]},"
                "{\"id\":\"kidzone\",\"state\":0,\"areas\":[\"Family\"]},"
                "{\"id\":\"shield\",\"state\":0,\"areas\":[\"Device\",\"Privacy\",\"Money\"]},"
                "{\"id\":\"guard\",\"state\":0,\"areas\":[\"Device\",\"Privacy\"]},"
                "{\"id\":\"scout\",\"state\":0,\"areas\":[\"Device\"]}]"});
  // The program holds what the page showed, at each point.
  EXPECT_EQ(Printed(output, kProgramChecked),
            (std::vector<std::string>{"tidy patcher", "fortress tidy patcher kidzone", "kidzone"}));
}

// The page point "X Y" of an element's box: its centre, or its last pixel
// and one pixel below it at its left edge.
std::string Centre(const std::string& selector) {
  return "(b => (b.left + b.width / 2) + ' ' + (b.top + b.height / 2))(document.querySelector('" +
         selector + "').getBoundingClientRect())";
}
std::string LastPixel(const std::string& selector) {
  return "(b => (b.right - 1) + ' ' + (b.bottom - 1))(document.querySelector('" + selector +
         "').getBoundingClientRect())";
}
std::string JustBelow(const std::string& selector) {
  return "(b => (b.left + 10) + ' ' + b.bottom)(document.querySelector('" + selector +
         "').getBoundingClientRect())";
}

TEST_F(ProgramTest, TheStripMovesTheWindowAndNoMenuShowsOnPlainText) {
  StartServer();
  const std::string output =
      Drive("shown,drag:" + LastPixel("#drag-strip") + ",drag:" + JustBelow("#drag-strip") +
            ",right-click:" + Centre(".page-welcome .lead") +
            // A field keeps its menu (so the right click itself did reach the page).
            ",continue,click:.protect-another,route:simplePage/protect-another,right-click:" +
            Centre(".text-input") + ",close:#header-close-button");
  ASSERT_TRUE(Passed(output)) << output;
  // The strip's press moved the window, the one below it did not.
  EXPECT_EQ(Printed(output, "moved"), (std::vector<std::string>{"-60 40", "0 0"})) << output;
  EXPECT_EQ(Printed(output, "menu"), (std::vector<std::string>{"0", "1"})) << output;
}

TEST_F(ProgramTest, AKilledPageComesBackWithTheProgramsState) {
  // KidZone's download hangs halfway, so the run stays at about 75 %.
  StartServer({"--stall", "kidzone"});
  const std::string shownPercent =
      "parseInt(document.getElementById('progress-percent').textContent)";
  const std::string output = Drive(
      "shown,continue,area:Family,area:Data," + AreaChecked("Data", true) +
      // Choosing: the areas page again, with the choice.
      ",kill-page,route:install," + AreaChecked("Family", true) + "," + AreaChecked("Data", true) +
      // Installing: the installing page again, with the percentage.
      ",install,wait:window.external.GetInstallPercents() > 50,kill-page,"
      "route:simplePage/install_progress,wait:" +
      shownPercent + " === window.external.GetInstallPercents(),print:" + shownPercent +
      ",stop,done,close");
  ASSERT_TRUE(Passed(output)) << output;
  const std::vector<std::string> shown = Printed(output, shownPercent);
  ASSERT_EQ(shown.size(), 1u) << output;
  EXPECT_GT(std::stoi(shown[0]), 50) << output;
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

struct StopCase {
  const char* name;
  std::vector<std::string> serverOptions;
  int installMs;           // how long a demo installer takes
  std::string whenToStop;  // the steps after Install that reach the moment
};

void PrintTo(const StopCase& c, std::ostream* out) { *out << c.name; }

class StopTest : public ProgramTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopTest, StopEndsTheRunAtOnceAndTheLastPageSaysItWasStopped) {
  const StopCase& c = GetParam();
  StartServer(c.serverOptions);
  SetInstallMs(c.installMs);
  const std::string output = Drive("shown,continue,area:Data,install," + c.whenToStop +
                                   ",mark,stop,done,mark," + kOutcome + ",close");
  ASSERT_TRUE(Passed(output)) << output;
  EXPECT_NE(output.find("data-outcome')=\"stopped\""), std::string::npos) << output;
  // The user's stop clears what a restart would have continued.
  EXPECT_FALSE(fs::exists(m_root / "config/autostart/NorvaneInstaller.desktop"));
  // From the click to the last page; the figure itself goes into the
  // notes, the bound here only catches a stop that waits for the run.
  const std::vector<std::string> marks = Printed(output, "mark");
  ASSERT_EQ(marks.size(), 2u) << output;
  const long long stopMs = std::stoll(marks[1]) - std::stoll(marks[0]);
  std::printf("stop to last page (%s): %lld ms\n", c.name, stopMs);
  EXPECT_LT(stopMs, 5000) << output;
  // An installer that had started is left to finish on its own: wait for
  // it, so that it does not outlive the test's home.
  if (ReadFile(Log()).find("Norvane Vault: installing") != std::string::npos) {
    EXPECT_TRUE(WaitUntil(
        [&] { return ReadFile(Log()).find("Norvane Vault: installed") != std::string::npos; }, 60s))
        << ReadFile(Log());
  }
}

INSTANTIATE_TEST_SUITE_P(
    DuringADownloadOrAnInstaller, StopTest,
    ::testing::Values(StopCase{"download",
                               {"--stall", "vault"},
                               300,
                               "wait:window.external.GetInstallPercents() > 0"},
                      // The installer takes far longer than the bound.
                      StopCase{"installer", {}, 8000, "installer-log:Norvane Vault: installing"}),
    [](const ::testing::TestParamInfo<StopCase>& info) { return std::string(info.param.name); });

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

  // The continued run starts before the page is shown; KidZone's
  // installer takes long enough that the installing page is still there
  // when the driver looks (with the rest of its download cached, the run
  // would otherwise be over within a few hundred milliseconds).
  StartServer();
  SetInstallMs(6000);
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
