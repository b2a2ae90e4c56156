#include <windows.h>

#include <cstdlib>
#include <exception>
#include <string>

#include "app/crash_handlers.h"
#include "app/program_entry.h"
#include "stats/usage_statistics.h"
#include "support/scoped_handle.h"
#include "support/text.h"

namespace bright_setup {
namespace {

// Filled before the handlers are installed; the handlers only read it.
std::wstring g_programPath;

// CreateProcessW with the command line "path" arguments (or the arguments
// alone without a path): no inherited handles, no flags, this process's
// environment and folder. On success the process handle replaces the one
// in process; the thread handle is closed.
BOOL RunProcess(const std::wstring& path, const std::wstring& arguments,
                QuickKit::ScopedKernelHandle* process) {
  std::wstring commandLine = path.empty() ? arguments : L"\"" + path + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  const BOOL started =
      ::CreateProcessW(path.empty() ? nullptr : path.c_str(), commandLine.data(), nullptr, nullptr,
                       FALSE, 0, nullptr, nullptr, &startup, &info);
  if (started) {
    process->Reset(info.hProcess);
    ::CloseHandle(info.hThread);
  }
  return started;
}

void LaunchCrashReporter() {
  QuickKit::ScopedKernelHandle process;
  RunProcess(g_programPath, QuickKit::Utf8ToWide(kCrashSwitch), &process);
}

// Before the user has accepted the licence terms the system's own crash
// handling follows; after, a fresh copy reports the crash and this one ends.
LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS*) {
  if (!QuickKit::StatisticsEnabled.load()) return EXCEPTION_CONTINUE_SEARCH;
  LaunchCrashReporter();
  return EXCEPTION_EXECUTE_HANDLER;
}

void OnTerminate() {
  if (!QuickKit::StatisticsEnabled.load()) return;  // the runtime aborts
  LaunchCrashReporter();
  // No static destructors: other threads may still be using what they
  // would destroy, and a crash there would report a second time.
  std::_Exit(-1);
}

}  // namespace

void InstallCrashHandlers(const std::string& programPath) {
  g_programPath = QuickKit::Utf8ToWide(programPath);
  ::SetUnhandledExceptionFilter(&OnUnhandledException);
  std::set_terminate(&OnTerminate);
}

}  // namespace bright_setup
