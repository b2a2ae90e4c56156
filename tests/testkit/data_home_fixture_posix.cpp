#include <stdlib.h>

#include <filesystem>

#include "data_home_fixture.h"

namespace QuickKit {

TemporaryDataHome::TemporaryDataHome() {
  char pattern[] = "/tmp/norvane-data-home.XXXXXX";
  m_root = ::mkdtemp(pattern);
  if (const char* value = ::getenv("XDG_DATA_HOME")) {
    m_hadValue = true;
    m_saved = value;
  }
  ::setenv("XDG_DATA_HOME", m_root.c_str(), 1);
}

TemporaryDataHome::~TemporaryDataHome() {
  if (m_hadValue) {
    ::setenv("XDG_DATA_HOME", m_saved.c_str(), 1);
  } else {
    ::unsetenv("XDG_DATA_HOME");
  }
  std::error_code ignored;
  std::filesystem::permissions(m_root, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(m_root, ignored);
}

}  // namespace QuickKit
