#include <sys/stat.h>

#include <cstdlib>

#include "app/local_folders.h"

namespace QuickKit {

std::filesystem::path LocalAppDataFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  // The XDG rules ignore a relative value.
  if (data != nullptr && data[0] == '/') return data;
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home != nullptr ? home : "/") / ".local" / "share";
}

void MakePrivateFolder(const std::filesystem::path& folder) { ::chmod(folder.c_str(), 0700); }

}  // namespace QuickKit
