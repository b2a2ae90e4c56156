#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "bridge/shell_opener.h"
#include "support/thread.h"

extern char** environ;

namespace bright_setup {
namespace {

constexpr char kOpener[] = "xdg-open";
// How often the reaper looks for ended openers while one runs.
constexpr auto kReapInterval = std::chrono::milliseconds(100);

}  // namespace

// Reaps the xdg-open processes this opener started, on a thread of its own:
// xdg-open may run as long as the browser it started, and the user-interface
// thread must never wait for it. The thread runs only while the opener
// lives; openers still running at the end are left to the system.
struct ShellOpener::PortState : QuickKit::Thread {
  ~PortState() override {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
    }
    changed.notify_all();
    Join();
  }

  // User-interface thread. When the reaper cannot be started, the child
  // stays listed and the next Add tries again.
  void Add(pid_t pid) {
    std::lock_guard<std::mutex> lock(mutex);
    children.push_back(pid);
    changed.notify_all();
    if (!IsStarted()) Start();
  }

  std::uint32_t Run() override {
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopping) {
      if (children.empty()) {
        changed.wait(lock);
        continue;
      }
      // 0: still running; the pid or -1 (not our child any more): done.
      children.erase(
          std::remove_if(children.begin(), children.end(),
                         [](pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) != 0; }),
          children.end());
      changed.wait_for(lock, kReapInterval);
    }
    return 0;
  }

  std::mutex mutex;
  std::condition_variable changed;
  std::vector<pid_t> children;
  bool stopping = false;
};

ShellOpener::ShellOpener() : m_port(std::make_unique<PortState>()) {}

ShellOpener::~ShellOpener() = default;

bool ShellOpener::OpenOnThisPort(const std::string& text) {
  // xdg-open reads any argument that starts with '-' as an option (and has
  // no "--" to end them): such a text is no address, and is not passed on.
  if (text.front() == '-') return false;

  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return false;
  }
  // Nothing of the program's but stdin, stdout and stderr goes to the
  // child, whatever opened a descriptor without close-on-exec; and the
  // child starts with no blocked or ignored signals of ours.
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  const bool prepared =
      posix_spawn_file_actions_addclosefrom_np(&actions, 3) == 0 &&
      posix_spawnattr_setsigmask(&attributes, &none) == 0 &&
      posix_spawnattr_setsigdefault(&attributes, &all) == 0 &&
      posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;

  // The text is one argument of its own: no shell ever reads it.
  std::string program(kOpener);
  std::string argument(text);
  char* argv[] = {program.data(), argument.data(), nullptr};
  pid_t pid = -1;
  const bool started =
      prepared && posix_spawnp(&pid, kOpener, &actions, &attributes, argv, environ) == 0;
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (!started) return false;
  m_port->Add(pid);
  return true;
}

}  // namespace bright_setup
