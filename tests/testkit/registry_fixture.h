// Gives a test a key tree of its own: on Linux the XDG configuration
// folders point at a fresh temporary folder for the test's lifetime. On
// Windows the tests run in a throw-away Wine prefix, so the real registry
// is used.
#pragma once

#include <string>

namespace QuickKit {

class TemporaryRegistry {
 public:
  TemporaryRegistry();
  ~TemporaryRegistry();
  TemporaryRegistry(const TemporaryRegistry&) = delete;
  TemporaryRegistry& operator=(const TemporaryRegistry&) = delete;

  // The folder that stands for the machine hive (Linux); empty on Windows.
  const std::string& MachineFolder() const { return m_machine; }
  const std::string& UserFolder() const { return m_user; }

 private:
  std::string m_root;
  std::string m_user;
  std::string m_machine;
  std::string m_savedHome;
  std::string m_savedDirs;
  bool m_hadHome = false;
  bool m_hadDirs = false;
};

}  // namespace QuickKit
