#include <windows.h>

#include <stdexcept>

#include "support/atomic_file.h"
#include "support/scoped_handle.h"
#include "support/text.h"

namespace QuickKit {

HRESULT WriteFileAtomically(const std::string& path, std::string_view content) {
  std::wstring target;
  try {
    target = Utf8ToWide(path);
  } catch (const std::range_error&) {
    return E_INVALIDARG;
  }
  const std::wstring temporary = target + L".tmp" + std::to_wstring(::GetCurrentProcessId()) +
                                 L"_" + std::to_wstring(::GetCurrentThreadId());
  HRESULT hr = S_OK;
  {
    ScopedFileHandle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return HRESULT_FROM_WIN32(::GetLastError());
    std::size_t done = 0;
    while (done < content.size() && SUCCEEDED(hr)) {
      DWORD n = 0;
      const auto chunk = static_cast<DWORD>(
          content.size() - done > 0x10000000 ? 0x10000000 : content.size() - done);
      if (!::WriteFile(file.Get(), content.data() + done, chunk, &n, nullptr)) {
        hr = HRESULT_FROM_WIN32(::GetLastError());
      } else if (n == 0) {
        hr = HRESULT_FROM_WIN32(ERROR_DISK_FULL);
      }
      done += n;
    }
    if (SUCCEEDED(hr) && !::FlushFileBuffers(file.Get())) hr = HRESULT_FROM_WIN32(::GetLastError());
  }
  if (SUCCEEDED(hr) && !::MoveFileExW(temporary.c_str(), target.c_str(),
                                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    hr = HRESULT_FROM_WIN32(::GetLastError());
  }
  if (FAILED(hr)) ::DeleteFileW(temporary.c_str());
  return hr;
}

}  // namespace QuickKit
