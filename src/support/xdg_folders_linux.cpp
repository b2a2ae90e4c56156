#include "support/xdg_folders_linux.h"

#include <cstdlib>

namespace QuickKit {
namespace {

std::string FromEnvironment(const char* variable, const char* belowHome) {
  const char* value = std::getenv(variable);
  if (value != nullptr && value[0] == '/') return value;
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + belowHome;
}

}  // namespace

std::string XdgConfigHome() { return FromEnvironment("XDG_CONFIG_HOME", "/.config"); }

std::string XdgFirstConfigDir() {
  const char* dirs = std::getenv("XDG_CONFIG_DIRS");
  const std::string list = dirs != nullptr && dirs[0] == '/' ? dirs : "/etc/xdg";
  return list.substr(0, list.find(':'));
}

std::string XdgDataHome() { return FromEnvironment("XDG_DATA_HOME", "/.local/share"); }

std::string XdgCacheHome() { return FromEnvironment("XDG_CACHE_HOME", "/.cache"); }

}  // namespace QuickKit
