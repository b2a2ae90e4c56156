#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>

#include "support/atomic_file.h"
#include "support/scoped_handle.h"

namespace QuickKit {

HRESULT WriteFileAtomically(const std::string& path, std::string_view content) {
  std::string temporary = path + ".XXXXXX";
  ScopedFd fd(::mkostemp(temporary.data(), O_CLOEXEC));  // mode 0600
  if (!fd) return HResultFromErrno(errno);
  HRESULT hr = S_OK;
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::write(fd.Get(), content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      hr = n < 0 ? HResultFromErrno(errno) : HRESULT_FROM_WIN32(ERROR_DISK_FULL);
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (SUCCEEDED(hr) && ::fsync(fd.Get()) != 0) hr = HResultFromErrno(errno);
  fd.Reset();
  if (SUCCEEDED(hr) && ::rename(temporary.c_str(), path.c_str()) != 0) hr = HResultFromErrno(errno);
  if (FAILED(hr)) ::unlink(temporary.c_str());
  return hr;
}

}  // namespace QuickKit
