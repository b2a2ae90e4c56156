// Points the local application-data folder at a fresh temporary folder for
// a test (Linux: $XDG_DATA_HOME). Under Wine the prefix is the test run's
// own, so the real folder is used there.
#pragma once

#include <string>

namespace QuickKit {

class TemporaryDataHome {
 public:
  TemporaryDataHome();
  ~TemporaryDataHome();
  TemporaryDataHome(const TemporaryDataHome&) = delete;
  TemporaryDataHome& operator=(const TemporaryDataHome&) = delete;

  const std::string& Root() const { return m_root; }

 private:
  std::string m_root;
  std::string m_saved;
  bool m_hadValue = false;
};

}  // namespace QuickKit
