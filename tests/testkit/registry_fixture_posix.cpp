#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "registry_fixture.h"

namespace QuickKit {

TemporaryRegistry::TemporaryRegistry() {
  char pattern[] = "/tmp/norvane-registry-test.XXXXXX";
  m_root = ::mkdtemp(pattern);
  m_user = m_root + "/config";
  m_machine = m_root + "/xdg";
  if (const char* home = ::getenv("XDG_CONFIG_HOME")) {
    m_hadHome = true;
    m_savedHome = home;
  }
  if (const char* dirs = ::getenv("XDG_CONFIG_DIRS")) {
    m_hadDirs = true;
    m_savedDirs = dirs;
  }
  ::setenv("XDG_CONFIG_HOME", m_user.c_str(), 1);
  ::setenv("XDG_CONFIG_DIRS", (m_machine + ":/etc/xdg").c_str(), 1);
}

TemporaryRegistry::~TemporaryRegistry() {
  if (m_hadHome)
    ::setenv("XDG_CONFIG_HOME", m_savedHome.c_str(), 1);
  else
    ::unsetenv("XDG_CONFIG_HOME");
  if (m_hadDirs)
    ::setenv("XDG_CONFIG_DIRS", m_savedDirs.c_str(), 1);
  else
    ::unsetenv("XDG_CONFIG_DIRS");
  std::error_code ignored;
  std::filesystem::remove_all(m_root, ignored);
}

}  // namespace QuickKit
