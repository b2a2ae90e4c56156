// The program's private folder for one run of the window (mode 0700, in
// $XDG_RUNTIME_DIR, else the temporary folder): it holds the page bridge's
// socket and the web-process extension module. The program has no
// installation of its own, so the module travels inside the executable and
// is written here at start, where WebKit's web process loads it from;
// nobody but the user can reach either file. Removed with its contents
// when the object goes. User-interface thread.
#pragma once

#include <memory>
#include <string>

namespace atl_web_core {

class RuntimeFolder {
 public:
  // nullptr with the reason in *error when the folder or the module could
  // not be made.
  static std::unique_ptr<RuntimeFolder> Create(std::string* error);
  ~RuntimeFolder();
  RuntimeFolder(const RuntimeFolder&) = delete;
  RuntimeFolder& operator=(const RuntimeFolder&) = delete;

  const std::string& Path() const { return m_path; }
  std::string SocketPath() const;

 private:
  explicit RuntimeFolder(std::string path) : m_path(std::move(path)) {}

  std::string m_path;
};

}  // namespace atl_web_core
