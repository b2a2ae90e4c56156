#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "app/crash_handlers.h"
#include "app/program_entry.h"
#include "stats/usage_statistics.h"

extern char** environ;

namespace bright_setup {
namespace {

// Filled before any handler is installed, read by the handlers only: a
// signal handler may not allocate.
char g_programPath[PATH_MAX];
char g_crashSwitch[sizeof(kCrashSwitch)];

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

// Room to run the handler when the crash is a stack overflow.
constexpr std::size_t kAltStackSize = 64 * 1024;

static_assert(decltype(QuickKit::StatisticsEnabled)::is_always_lock_free,
              "the signal handlers read the flag");

// One relaunch per process, whichever handler comes first.
std::atomic<bool> g_launched{false};

// Only async-signal-safe calls: _Fork runs no fork handlers and takes no
// lock, and the child only replaces itself.
void LaunchCrashReporter() {
  if (g_programPath[0] == '\0' || g_launched.exchange(true)) return;
  char* argv[] = {g_programPath, g_crashSwitch, nullptr};
  const pid_t pid = _Fork();
  if (pid == 0) {
    execve(g_programPath, argv, environ);
    _exit(127);
  }
}

void OnFatalSignal(int signalNumber) {
  if (QuickKit::StatisticsEnabled.load()) LaunchCrashReporter();
  // The signal then ends the process as the system would have ended it.
  // Libraries loaded later (the JavaScript engine) put handlers of their
  // own in front of ours and call ours from theirs: the default is set
  // here, whoever called, so that the signal cannot come back to them.
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);
}

[[noreturn]] void OnTerminate() {
  if (QuickKit::StatisticsEnabled.load()) {
    LaunchCrashReporter();
    // No static destructors: other threads may still be using what they
    // would destroy.
    std::_Exit(-1);
  }
  std::abort();
}

}  // namespace

void InstallCrashHandlers(const std::string& programPath) {
  if (programPath.size() < sizeof(g_programPath)) {
    std::memcpy(g_programPath, programPath.c_str(), programPath.size() + 1);
  }
  std::memcpy(g_crashSwitch, kCrashSwitch, sizeof(kCrashSwitch));

  static char altStack[kAltStackSize];
  stack_t stack{};
  stack.ss_sp = altStack;
  stack.ss_size = sizeof(altStack);
  sigaltstack(&stack, nullptr);

  struct sigaction action {};
  action.sa_handler = &OnFatalSignal;
  action.sa_flags = SA_RESETHAND | SA_NODEFER | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (const int signalNumber : kFatalSignals) sigaction(signalNumber, &action, nullptr);
  std::set_terminate(&OnTerminate);
}

}  // namespace bright_setup
