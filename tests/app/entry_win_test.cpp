// The Windows entry across real processes under Wine: the single-instance
// mutex held by another process, the crash relaunch with "path" -crash only
// once statistics are enabled, and the program's start-up against a
// loopback catalogue server with its window in an X server (StartUp, run
// by its own CTest entry under xvfb-run).
//
// This executable plays the other processes itself (see main): a holder
// of the lock, a process that crashes, and the relaunched crash reporter,
// which records its command line. The crash trigger exists only here.
#include <windows.h>
// After windows.h:
#include <shlobj.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/crash_handlers.h"
#include "app/program_entry.h"
#include "app/single_instance.h"
#include "app/win_entry.h"
#include "app/working_folder.h"
#include "stats/usage_statistics.h"
#include "support/paths.h"
#include "support/program_path.h"
#include "support/scoped_handle.h"
#include "support/text.h"
#include "test_server.h"
#include "wine_desktop_win.h"

namespace bright_setup {
namespace {

using QuickKit::ScopedKernelHandle;

constexpr DWORD kChildWaitMs = 60000;
constexpr char kMarkerVariable[] = "NORVANE_TEST_RELAUNCH_MARKER";
constexpr char kReleaseVariable[] = "NORVANE_TEST_RELAUNCH_RELEASE";

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

HANDLE NamedEvent(const std::string& name) {
  return ::CreateEventW(nullptr, TRUE, FALSE, QuickKit::Utf8ToWide(name).c_str());
}

// --- The roles of the child processes ---

// The relaunched crash reporter: writes its command line where the test
// said, then stays until the test has looked at its parent.
int RecordRelaunch() {
  std::ofstream(Environment(kMarkerVariable), std::ios::binary)
      << QuickKit::WideToUtf8(::GetCommandLineW());
  ScopedKernelHandle release(NamedEvent(Environment(kReleaseVariable)));
  ::WaitForSingleObject(release.Get(), kChildWaitMs);
  return 0;
}

// A process that crashes with the program's handlers installed.
int CrashChild(const std::string& how, bool statisticsEnabled) {
  InstallCrashHandlers(QuickKit::GetProgramPath());
  QuickKit::StatisticsEnabled = statisticsEnabled;
  if (how == "seh") ::RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 0, nullptr);
  if (how == "terminate") std::terminate();
  return 3;  // not reached
}

int HoldLock(const std::string& ready, const std::string& release) {
  SingleInstanceLock lock;
  if (lock.GetState() != SingleInstanceLock::State::kHeld) return 2;
  ScopedKernelHandle readyEvent(NamedEvent(ready));
  ScopedKernelHandle releaseEvent(NamedEvent(release));
  ::SetEvent(readyEvent.Get());
  ::WaitForSingleObject(releaseEvent.Get(), kChildWaitMs);
  return 0;
}

// --- Helpers of the tests ---

struct Child {
  ScopedKernelHandle process;
  DWORD id = 0;
};

Child StartSelf(const std::string& arguments) {
  Child child;
  const std::wstring path = QuickKit::Utf8ToWide(QuickKit::GetProgramPath());
  std::wstring commandLine = L"\"" + path + L"\" " + QuickKit::Utf8ToWide(arguments);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       nullptr, &startup, &info)) {
    child.process.Reset(info.hProcess);
    ::CloseHandle(info.hThread);
    child.id = info.dwProcessId;
  }
  return child;
}

// Copies of this executable that the given process started.
int CopiesStartedBy(DWORD parent) {
  ScopedKernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (snapshot.Get() == INVALID_HANDLE_VALUE) {
    snapshot.Release();
    return -1;
  }
  const std::wstring ownName =
      std::filesystem::path(QuickKit::Utf8ToWide(QuickKit::GetProgramPath())).filename().wstring();
  int copies = 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more;
       more = ::Process32NextW(snapshot.Get(), &entry)) {
    if (entry.th32ParentProcessID == parent && _wcsicmp(entry.szExeFile, ownName.c_str()) == 0)
      ++copies;
  }
  return copies;
}

std::string ReadWhenWritten(const std::string& path) {
  for (int attempt = 0; attempt < 600; ++attempt) {
    std::ifstream file(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!text.empty()) return text;
    ::Sleep(50);
  }
  return {};
}

// --- Tests ---

TEST(EntryCommandLine, CrashSwitchIsOneExactElement) {
  struct Case {
    const wchar_t* commandLine;
    bool crash;
  };
  const Case cases[] = {
      {L"-crash", true},   {L"first -crash", true}, {L"\"-crash\"", true}, {L"-Crash", false},
      {L"--crash", false}, {L"-crashed", false},    {L"", false},          {L"x -CRASH y", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HasCrashSwitch(SplitCommandLine(c.commandLine)), c.crash)
        << QuickKit::WideToUtf8(c.commandLine);
  }
}

TEST(EntrySingleInstance, AnotherProcessHoldingTheMutexIsSeen) {
  const std::string suffix = std::to_string(::GetCurrentProcessId());
  ScopedKernelHandle ready(NamedEvent("NorvaneTestLockReady" + suffix));
  ScopedKernelHandle release(NamedEvent("NorvaneTestLockRelease" + suffix));
  Child holder =
      StartSelf("--hold-lock NorvaneTestLockReady" + suffix + " NorvaneTestLockRelease" + suffix);
  ASSERT_TRUE(holder.process.IsValid());
  HANDLE waits[] = {ready.Get(), holder.process.Get()};
  ASSERT_EQ(::WaitForMultipleObjects(2, waits, FALSE, kChildWaitMs), WAIT_OBJECT_0)
      << "the holder ended before it held the lock";
  {
    SingleInstanceLock second;
    EXPECT_EQ(second.GetState(), SingleInstanceLock::State::kHeldByOther);
  }
  ::SetEvent(release.Get());
  ASSERT_EQ(::WaitForSingleObject(holder.process.Get(), kChildWaitMs), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  ::GetExitCodeProcess(holder.process.Get(), &exitCode);
  EXPECT_EQ(exitCode, 0u);
  SingleInstanceLock afterwards;
  EXPECT_EQ(afterwards.GetState(), SingleInstanceLock::State::kHeld);
}

// A crash or an uncaught exception relaunches "path" -crash once the user
// has accepted the licence terms; before that nothing is started.
TEST(EntryCrashRelaunch, OnlyWhenStatisticsAreEnabled) {
  struct Case {
    const char* how;
    bool statisticsEnabled;
  };
  const Case cases[] = {{"seh", true}, {"terminate", true}, {"seh", false}, {"terminate", false}};
  const std::string folder = std::filesystem::temp_directory_path().string();
  const std::string expected = "\"" + QuickKit::GetProgramPath() + "\" -crash";
  int round = 0;
  for (const Case& c : cases) {
    const std::string name = std::string(c.how) + (c.statisticsEnabled ? " enabled" : " disabled");
    const std::string suffix =
        std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++round);
    const std::string marker = folder + "\\norvane-relaunch-" + suffix + ".txt";
    std::filesystem::remove(marker);
    ::SetEnvironmentVariableA(kMarkerVariable, marker.c_str());
    ::SetEnvironmentVariableA(kReleaseVariable, ("NorvaneTestRelease" + suffix).c_str());
    ScopedKernelHandle release(NamedEvent("NorvaneTestRelease" + suffix));

    Child crashing =
        StartSelf(std::string("--crash-child ") + c.how + " " + (c.statisticsEnabled ? "1" : "0"));
    ASSERT_TRUE(crashing.process.IsValid()) << name;
    ASSERT_EQ(::WaitForSingleObject(crashing.process.Get(), kChildWaitMs), WAIT_OBJECT_0) << name;
    // A relaunch was started before the crashing process ended, and the
    // reporter stays until it is released.
    EXPECT_EQ(CopiesStartedBy(crashing.id), c.statisticsEnabled ? 1 : 0) << name;
    if (c.statisticsEnabled) {
      EXPECT_EQ(ReadWhenWritten(marker), expected) << name;
    }
    ::SetEvent(release.Get());
    std::filesystem::remove(marker);
  }
}

// The controller's start-up as the program runs it: the page unpacked into
// the working folder, the window made, the catalogue downloaded once from
// the configured address, the loop run until the window closes, and the
// working folder removed again.
TEST(StartUp, RunsAgainstALoopbackCatalogueAndCleansUp) {
  std::ifstream catalogueFile(std::string(NORVANE_TEST_DATA) + "/catalogue/demo.txt",
                              std::ios::binary);
  const std::string catalogue((std::istreambuf_iterator<char>(catalogueFile)),
                              std::istreambuf_iterator<char>());
  ASSERT_FALSE(catalogue.empty());
  ASSERT_TRUE(QuickKit::test::WaitForWineDesktop());
  auto server = QuickKit::test::StartTestServer([&](const QuickKit::test::TestRequest& request) {
    QuickKit::test::TestResponse response;
    if (request.target == "/verinfo.txt") {
      response.body = catalogue;
    } else {
      response.status = 404;
    }
    return response;
  });
  ASSERT_NE(server, nullptr);
  const std::string url = "http://127.0.0.1:" + std::to_string(server->Port()) + "/verinfo.txt";
  // _putenv_s, not SetEnvironmentVariable: the program reads it with getenv.
  ASSERT_EQ(_putenv_s("NORVANE_CATALOGUE_URL", url.c_str()), 0);

  bool pageUnpacked = false;
  bool frameShown = false;
  bool pageHidden = false;
  EntryHooks hooks;
  hooks.windowCreated = [&](InstallerApp&, atl_web_core::MainWindow& window) {
    pageUnpacked = std::filesystem::exists(
        QuickKit::PathFromUtf8(QuickKit::GetWorkingFolder() + "\\layout\\production\\index.html"));
    frameShown = ::IsWindowVisible(window.Frame()) != FALSE;
    pageHidden = ::IsWindowVisible(window.BrowserWindow()) == FALSE;
    // Taken up by the loop, after the catalogue has been loaded.
    EXPECT_TRUE(window.Close());
  };
  EXPECT_EQ(RunProgram(L"", SW_SHOWNORMAL, hooks), 0);
  _putenv_s("NORVANE_CATALOGUE_URL", "");

  EXPECT_TRUE(pageUnpacked);
  EXPECT_TRUE(frameShown);
  EXPECT_TRUE(pageHidden);
  int catalogueRequests = 0;
  for (const auto& request : server->Requests())
    if (request.target == "/verinfo.txt") ++catalogueRequests;
  EXPECT_EQ(catalogueRequests, 1);
  // The working folder went with the controller.
  wchar_t appData[MAX_PATH];
  ASSERT_TRUE(SUCCEEDED(
      ::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData)));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(appData) / L"Norvane Lab" /
                                       L"NorvaneInstaller"));
}

}  // namespace
}  // namespace bright_setup

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  if (bright_setup::HasCrashSwitch(arguments)) return bright_setup::RecordRelaunch();
  if (arguments.size() == 3 && arguments[0] == "--crash-child")
    return bright_setup::CrashChild(arguments[1], arguments[2] == "1");
  if (arguments.size() == 3 && arguments[0] == "--hold-lock")
    return bright_setup::HoldLock(arguments[1], arguments[2]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
