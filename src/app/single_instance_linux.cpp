#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/program_entry.h"
#include "app/single_instance.h"
#include "support/xdg_folders_linux.h"

namespace bright_setup {
namespace {

std::string LockFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') return runtime;
  // No session folder: the data folder stands for the user's session.
  std::error_code ignored;
  const std::string data = QuickKit::XdgDataHome();
  std::filesystem::create_directories(data, ignored);
  return data;
}

}  // namespace

struct SingleInstanceLock::Handle {
  int fd = -1;
};

SingleInstanceLock::SingleInstanceLock() : m_handle(std::make_unique<Handle>()) {
  const std::string path = LockFolder() + "/NorvaneInstaller-" + kSingleInstanceName + ".lock";
  // Close-on-exec: the installers and the crash reporter the program starts
  // must not keep the lock after it has gone.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return;
  int result = 0;
  do {
    result = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result == 0) {
    m_handle->fd = fd;
    m_state = State::kHeld;
    return;
  }
  m_state = errno == EWOULDBLOCK ? State::kHeldByOther : State::kUnavailable;
  ::close(fd);
}

SingleInstanceLock::~SingleInstanceLock() {
  if (m_handle->fd >= 0) ::close(m_handle->fd);  // closing releases the lock
}

}  // namespace bright_setup
