#include "bridge/shell_opener.h"

namespace bright_setup {

bool ShellOpener::OpenWithShell(const std::string& text) {
  if (text.empty() || text.find('\0') != std::string::npos) return false;
  return OpenOnThisPort(text);
}

}  // namespace bright_setup
