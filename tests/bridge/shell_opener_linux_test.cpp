// The Linux shell opener against a fake xdg-open placed first on PATH,
// which records the arguments it was given and the files it holds open.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bridge/shell_opener.h"
#include "scoped_env_posix.h"

namespace bright_setup {
namespace {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Strings = std::vector<std::string>;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// What one run of the fake recorded.
struct FakeCall {
  pid_t pid = -1;
  Strings argv;       // the arguments after the program name, byte for byte
  std::string files;  // the targets of its open descriptors, one a line
};

class ShellOpenerLinuxTest : public testing::Test {
 protected:
  void SetUp() override {
    m_root = fs::temp_directory_path() / ("norvane-shell-" + std::to_string(::getpid()) + "-" +
                                          std::to_string(std::random_device()()));
    fs::create_directories(m_root / "bin");
    fs::create_directories(m_root / "calls");
    fs::create_directories(m_root / "empty");
    // Records its arguments (NUL-terminated), then its open descriptors,
    // then marks the call done. "slow" keeps it running for a while.
    const std::string calls = (m_root / "calls").string();
    std::ofstream(m_root / "bin" / "xdg-open")
        << "#!/bin/sh\n"
           "calls='"
        << calls
        << "'\n"
           "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$calls/argv.$$\"\n"
           "for f in /proc/$$/fd/*; do readlink \"$f\"; done > \"$calls/files.$$\"\n"
           ": > \"$calls/done.$$\"\n"
           "if [ \"$1\" = slow ]; then exec sleep 30; fi\n";
    fs::permissions(m_root / "bin" / "xdg-open", fs::perms::owner_all);
    const std::string path = (m_root / "bin").string() + ":" +
                             (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
    m_path = std::make_unique<QuickKit::ScopedEnv>("PATH", path.c_str());
  }
  void TearDown() override {
    m_path.reset();
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
  }

  std::vector<pid_t> DoneCalls() const {
    std::vector<pid_t> pids;
    for (const auto& entry : fs::directory_iterator(m_root / "calls")) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("done.", 0) == 0) pids.push_back(std::stoi(name.substr(5)));
    }
    return pids;
  }

  // Waits for a call the fake has not reported before.
  bool WaitForNewCall(std::vector<pid_t>& seen, FakeCall& call) const {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
      for (pid_t pid : DoneCalls()) {
        if (std::find(seen.begin(), seen.end(), pid) != seen.end()) continue;
        seen.push_back(pid);
        call.pid = pid;
        const std::string raw = ReadAll(m_root / "calls" / ("argv." + std::to_string(pid)));
        call.argv.clear();
        for (std::size_t start = 0; start < raw.size();) {
          const std::size_t end = raw.find('\0', start);
          call.argv.push_back(raw.substr(start, end - start));
          start = end + 1;
        }
        call.files = ReadAll(m_root / "calls" / ("files." + std::to_string(pid)));
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  // True once the process is gone for good: ended and reaped, not a zombie.
  static bool WaitUntilReaped(pid_t pid) {
    const std::string proc = "/proc/" + std::to_string(pid);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline) {
      if (!fs::exists(proc)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  fs::path m_root;
  std::unique_ptr<QuickKit::ScopedEnv> m_path;
};

TEST_F(ShellOpenerLinuxTest, HostileTextIsOneArgumentAndNothingElseRuns) {
  const std::string pwned = (m_root / "pwned").string();
  const Strings accepted = {
      "https://norvane.example/free?a=1&b=\"two\"#x",
      "mailto:user@norvane.example?subject=$(touch " + pwned + "1)",
      "`touch " + pwned + "2`",
      "; touch " + pwned + "3",
      "https://a.example/\ntouch " + pwned + "4\n",
      "  blanks before, inside and after  ",
      "|| touch " + pwned + "5 & 'single' \\ ${HOME} * ?",
      "\xFF\xFE not UTF-8",
      "x -h --version",
  };
  // Never handed over: xdg-open would read these as options, or the text
  // cannot pass as a whole.
  const Strings refused = {"",
                           "-h",
                           "--help",
                           "--manual",
                           "-x https://a.example/",
                           std::string("https://a.example/\0; touch x", 28)};

  // Held open without close-on-exec, as a library might: xdg-open must
  // not see it.
  const fs::path marker = m_root / "inherited-marker";
  std::ofstream(marker) << "x";
  const int inherited = ::open(marker.c_str(), O_RDONLY);
  ASSERT_GE(inherited, 0);

  {
    ShellOpener opener;
    for (const std::string& text : refused) EXPECT_FALSE(opener.OpenWithShell(text)) << text;
    std::vector<pid_t> seen;
    for (const std::string& text : accepted) {
      ASSERT_TRUE(opener.OpenWithShell(text)) << text;
      FakeCall call;
      ASSERT_TRUE(WaitForNewCall(seen, call)) << text;
      EXPECT_EQ(call.argv, Strings{text});
      EXPECT_EQ(call.files.find(marker.string()), std::string::npos) << call.files;
      EXPECT_NE(call.files.find("files." + std::to_string(call.pid)), std::string::npos)
          << "the fake listed its descriptors: " << call.files;
      EXPECT_TRUE(WaitUntilReaped(call.pid)) << "a zombie is left for " << text;
    }
    // One run per accepted text, none for a refused one.
    EXPECT_EQ(DoneCalls().size(), accepted.size());
  }
  ::close(inherited);
  for (int i = 1; i <= 5; ++i) {
    EXPECT_FALSE(fs::exists(pwned + std::to_string(i))) << "a shell read the text " << i;
  }
}

TEST_F(ShellOpenerLinuxTest, NoOpenerOnThePathIsAFailure) {
  const QuickKit::ScopedEnv path("PATH", (m_root / "empty").c_str());
  ShellOpener opener;
  EXPECT_FALSE(opener.OpenWithShell("https://norvane.example/"));
}

// xdg-open can wait as long as the browser it started: the opener's end
// does not wait for it.
TEST_F(ShellOpenerLinuxTest, EndingTheOpenerDoesNotWaitForARunningChild) {
  auto opener = std::make_unique<ShellOpener>();
  ASSERT_TRUE(opener->OpenWithShell("slow"));
  std::vector<pid_t> seen;
  FakeCall call;
  ASSERT_TRUE(WaitForNewCall(seen, call));
  const auto start = Clock::now();
  opener.reset();
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  EXPECT_LT(took, std::chrono::seconds(5)) << took.count() << " ms";  // the child sleeps 30 s
  std::cout << "[ measured ] opener ended in " << took.count() << " ms\n";
  // The child was left running; this test ends it.
  EXPECT_TRUE(fs::exists("/proc/" + std::to_string(call.pid)));
  EXPECT_EQ(::kill(call.pid, SIGKILL), 0);
  ::waitpid(call.pid, nullptr, 0);
}

}  // namespace
}  // namespace bright_setup
