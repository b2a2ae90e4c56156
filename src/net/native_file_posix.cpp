#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "net/native_file.h"

namespace QuickKit {

HRESULT CreateFreshFile(const std::string& path, ScopedNativeFile* file) {
  file->Reset();
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return HResultFromErrno(errno);
  // O_EXCL with O_CREAT never follows a link that appears in between.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return HResultFromErrno(errno);
  file->Reset(fd);
  return S_OK;
}

HRESULT OpenFileForReading(const std::string& path, ScopedNativeFile* file) {
  file->Reset();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return HResultFromErrno(errno);
  file->Reset(fd);
  return S_OK;
}

HRESULT OpenFileForUpdate(const std::string& path, ScopedNativeFile* file) {
  file->Reset();
  const int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return HResultFromErrno(errno);
  file->Reset(fd);
  return S_OK;
}

}  // namespace QuickKit
