#include <sys/statvfs.h>

#include <cerrno>

#include "net/disk_space.h"

namespace QuickKit {

HRESULT QueryFreeDiskSpace(const std::string& folder, std::uint64_t* bytes) {
  *bytes = 0;
  struct statvfs info {};
  if (::statvfs(folder.c_str(), &info) != 0) return HResultFromErrno(errno);
  *bytes = static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
  return S_OK;
}

}  // namespace QuickKit
