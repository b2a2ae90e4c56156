#include <unistd.h>

#include <cerrno>

#include "net/seq_stream.h"

namespace QuickKit {

HRESULT WinFileAsSeqStream::Read(void* buffer, std::uint32_t count, std::uint32_t* bytesRead) {
  if (bytesRead != nullptr) *bytesRead = 0;
  ssize_t n;
  do {
    n = ::read(m_file, buffer, count);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return HResultFromErrno(errno);
  if (bytesRead != nullptr) *bytesRead = static_cast<std::uint32_t>(n);
  return S_OK;
}

HRESULT WinFileAsSeqStream::Write(const void* buffer, std::uint32_t count,
                                  std::uint32_t* bytesWritten) {
  // write() may take fewer bytes than given; the rest is written on, so a
  // copy never silently loses the end of a chunk.
  const auto* bytes = static_cast<const char*>(buffer);
  std::uint32_t done = 0;
  HRESULT hr = S_OK;
  while (done < count) {
    const ssize_t n = ::write(m_file, bytes + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      hr = HResultFromErrno(errno);
      break;
    }
    if (n == 0) {
      hr = HRESULT_FROM_WIN32(ERROR_DISK_FULL);
      break;
    }
    done += static_cast<std::uint32_t>(n);
  }
  if (bytesWritten != nullptr) *bytesWritten = done;
  return hr;
}

}  // namespace QuickKit
