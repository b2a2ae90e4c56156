#include <windows.h>

#include "net/seq_stream.h"

namespace QuickKit {

HRESULT WinFileAsSeqStream::Read(void* buffer, std::uint32_t count, std::uint32_t* bytesRead) {
  DWORD n = 0;
  const BOOL ok = ::ReadFile(m_file, buffer, count, &n, nullptr);
  if (bytesRead != nullptr) *bytesRead = n;
  return ok ? S_OK : HRESULT_FROM_WIN32(::GetLastError());
}

HRESULT WinFileAsSeqStream::Write(const void* buffer, std::uint32_t count,
                                  std::uint32_t* bytesWritten) {
  // Written on until every byte is out, as on the other port.
  const auto* bytes = static_cast<const char*>(buffer);
  std::uint32_t done = 0;
  HRESULT hr = S_OK;
  while (done < count) {
    DWORD n = 0;
    if (!::WriteFile(m_file, bytes + done, count - done, &n, nullptr)) {
      hr = HRESULT_FROM_WIN32(::GetLastError());
      break;
    }
    if (n == 0) {
      hr = HRESULT_FROM_WIN32(ERROR_DISK_FULL);
      break;
    }
    done += n;
  }
  if (bytesWritten != nullptr) *bytesWritten = done;
  return hr;
}

}  // namespace QuickKit
