#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string_view>

#include "install/installer_process.h"
#include "support/scoped_handle.h"

extern char** environ;

namespace bright_setup {
namespace {

std::string_view BaseName(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// ELF binaries and "#!" scripts are run; other files are documents.
bool IsExecutableFile(const std::string& path) {
  QuickKit::ScopedFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd) return false;
  char head[4] = {};
  const ssize_t n = ::read(fd.Get(), head, sizeof head);
  return (n >= 4 && std::string_view(head, 4) ==
                        "\x7f"
                        "ELF") ||
         (n >= 2 && head[0] == '#' && head[1] == '!');
}

bool Spawn(const char* program, char* const argv[], const std::string& folder, bool searchPath,
           int* pid) {
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  const int error = searchPath ? posix_spawnp(pid, program, &actions, nullptr, argv, environ)
                               : posix_spawn(pid, program, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  errno = error;
  return error == 0;
}

}  // namespace

void InstallerProcess::Close() {
  // Collects an installer that has ended; one that runs is left alone.
  if (m_pid > 0) ::waitpid(m_pid, nullptr, WNOHANG);
  m_pid = -1;
}

bool InstallerProcess::IsValid() const { return m_pid > 0; }

InstallerProcess::State InstallerProcess::Wait(std::uint32_t timeoutMs, std::uint32_t* exitCode) {
  if (m_pid <= 0) return State::Unknown;
  // Short slices: a child cannot be waited for with a time-out otherwise.
  constexpr std::uint32_t kSliceMs = 20;
  for (std::uint32_t waited = 0;; waited += kSliceMs) {
    int status = 0;
    const pid_t ended = ::waitpid(m_pid, &status, WNOHANG);
    if (ended == m_pid) {
      m_pid = -1;  // collected
      if (WIFEXITED(status)) {
        *exitCode = ExitCodeFromStatus(static_cast<std::uint32_t>(WEXITSTATUS(status)));
      } else {
        // Killed by a signal: the code a shell would report.
        *exitCode = 128 + static_cast<std::uint32_t>(WTERMSIG(status));
      }
      return State::Exited;
    }
    if (ended < 0 && errno != EINTR) {
      m_pid = -1;
      return State::Unknown;
    }
    if (waited >= timeoutMs) return State::Running;
    ::usleep(kSliceMs * 1000);
  }
}

HRESULT StartInstaller(const std::string& folder, const std::string& fileName,
                       InstallerProcess* process) {
  process->Close();
  std::string path = folder;
  if (!path.empty() && path.back() != '/') path += '/';
  path += fileName;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return HResultFromErrno(errno);
  int pid = -1;
  if (IsExecutableFile(path)) {
    if (::chmod(path.c_str(), 0700) != 0) return HResultFromErrno(errno);
    char* argv[] = {path.data(), nullptr};
    if (!Spawn(path.c_str(), argv, folder, false, &pid)) return HResultFromErrno(errno);
  } else {
    char opener[] = "xdg-open";
    char* argv[] = {opener, path.data(), nullptr};
    if (!Spawn(opener, argv, folder, true, &pid)) return HResultFromErrno(errno);
  }
  process->m_pid = pid;
  return S_OK;
}

bool IsProcessRunning(const std::string& fileName) {
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return false;
  bool found = false;
  while (const dirent* entry = ::readdir(proc)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    const std::string base = std::string("/proc/") + entry->d_name;
    char target[4096];
    const ssize_t length = ::readlink((base + "/exe").c_str(), target, sizeof target - 1);
    if (length > 0) {
      std::string_view exe(target, static_cast<std::size_t>(length));
      constexpr std::string_view kDeleted = " (deleted)";
      if (exe.size() > kDeleted.size() && exe.substr(exe.size() - kDeleted.size()) == kDeleted) {
        exe.remove_suffix(kDeleted.size());
      }
      if (BaseName(exe) == fileName) {
        found = true;
        break;
      }
    }
    std::ifstream cmdline(base + "/cmdline", std::ios::binary);
    std::string word;
    for (int i = 0; i < 2 && std::getline(cmdline, word, '\0'); ++i) {
      if (!word.empty() && BaseName(word) == fileName) {
        found = true;
        break;
      }
    }
    if (found) break;
  }
  ::closedir(proc);
  return found;
}

}  // namespace bright_setup
