#include <sys/stat.h>

#include "app/local_folders.h"
#include "support/xdg_folders_linux.h"

namespace QuickKit {

std::filesystem::path LocalAppDataFolder() { return XdgDataHome(); }

std::filesystem::path DownloadCacheFolder() {
  return std::filesystem::path(XdgCacheHome()) / kMakerFolder / kProgramFolder;
}

void MakePrivateFolder(const std::filesystem::path& folder) { ::chmod(folder.c_str(), 0700); }

}  // namespace QuickKit
