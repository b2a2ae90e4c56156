#include <windows.h>

#include <shlobj.h>

#include "app/local_folders.h"

namespace QuickKit {

std::filesystem::path LocalAppDataFolder() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) {
    return {};
  }
  return std::filesystem::path(path);
}

std::filesystem::path DownloadCacheFolder() {
  const std::filesystem::path local = LocalAppDataFolder();
  if (local.empty()) return {};
  return local / kMakerFolder / (std::string(kProgramFolder) + " Downloads");
}

void MakePrivateFolder(const std::filesystem::path&) {}

}  // namespace QuickKit
