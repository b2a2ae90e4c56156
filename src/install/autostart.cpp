#include "install/autostart.h"

namespace bright_setup {

std::string AutostartExecLine(const std::string& programPath) {
  // A quoted argument escapes " ` $ and \ with a backslash; the value as a
  // whole is a desktop-entry string, which doubles every backslash again;
  // '%' starts a field code and is written "%%". Line breaks and other
  // control characters cannot be carried: no line for such a path.
  std::string quoted = "\"";
  for (char c : programPath) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return {};
    switch (c) {
      case '"':
      case '`':
      case '$':
        quoted += "\\\\";
        quoted += c;
        break;
      case '\\':
        quoted += "\\\\\\\\";
        break;
      case '%':
        quoted += "%%";
        break;
      default:
        quoted += c;
    }
  }
  quoted += '"';
  return quoted;
}

}  // namespace bright_setup
