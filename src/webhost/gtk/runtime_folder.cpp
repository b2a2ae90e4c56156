#include "webhost/gtk/runtime_folder.h"

#include <errno.h>
#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "webhost/bridge_wire.h"

// The web-process extension module, linked in by extension_blob.S.
extern "C" const unsigned char norvane_page_bridge_module[];
extern "C" const unsigned char norvane_page_bridge_module_end[];

namespace atl_web_core {
namespace {

constexpr const char* kModuleName = "norvane-page-bridge.so";

std::string Join(const std::string& folder, const char* name) { return folder + "/" + name; }

std::string Reason(const std::string& what) { return what + ": " + std::strerror(errno); }

bool WriteModule(const std::string& path, std::string* error) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = Reason("cannot create " + path);
    return false;
  }
  const unsigned char* data = norvane_page_bridge_module;
  std::size_t left = static_cast<std::size_t>(norvane_page_bridge_module_end - data);
  while (left > 0) {
    const ssize_t n = write(fd, data, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = Reason("cannot write " + path);
      close(fd);
      return false;
    }
    data += n;
    left -= static_cast<std::size_t>(n);
  }
  if (close(fd) != 0) {
    *error = Reason("cannot write " + path);
    return false;
  }
  return true;
}

// Where the folder goes: the session's runtime folder when it is usable
// and short enough for a socket address, else the temporary folder.
std::string ParentFolder() {
  const char* runtime = g_getenv("XDG_RUNTIME_DIR");
  const std::size_t room = sizeof(sockaddr_un{}.sun_path) - 40;
  if (runtime != nullptr && runtime[0] == '/' && std::strlen(runtime) < room &&
      access(runtime, W_OK | X_OK) == 0)
    return runtime;
  return g_get_tmp_dir();
}

}  // namespace

std::unique_ptr<RuntimeFolder> RuntimeFolder::Create(std::string* error) {
  std::string pattern = Join(ParentFolder(), "norvane-page-XXXXXX");
  if (mkdtemp(pattern.data()) == nullptr) {  // mode 0700
    *error = Reason("cannot create a private folder in " + ParentFolder());
    return nullptr;
  }
  std::unique_ptr<RuntimeFolder> folder(new RuntimeFolder(pattern));
  if (folder->SocketPath().size() >= sizeof(sockaddr_un{}.sun_path)) {
    *error = "the folder's name is too long for a socket: " + pattern;
    return nullptr;
  }
  if (!WriteModule(Join(pattern, kModuleName), error)) return nullptr;
  return folder;
}

RuntimeFolder::~RuntimeFolder() {
  unlink(Join(m_path, kModuleName).c_str());
  unlink(SocketPath().c_str());
  rmdir(m_path.c_str());
}

std::string RuntimeFolder::SocketPath() const {
  return Join(m_path, UiDeck::bridge_wire::kSocketName);
}

}  // namespace atl_web_core
