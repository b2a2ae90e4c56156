#include <windows.h>

#include <stdexcept>

#include "net/disk_space.h"
#include "support/text.h"

namespace QuickKit {

HRESULT QueryFreeDiskSpace(const std::string& folder, std::uint64_t* bytes) {
  *bytes = 0;
  std::wstring wide;
  try {
    wide = Utf8ToWide(folder);
  } catch (const std::range_error&) {
    return E_INVALIDARG;
  }
  ULARGE_INTEGER available = {};
  if (!::GetDiskFreeSpaceExW(wide.c_str(), &available, nullptr, nullptr)) {
    return HRESULT_FROM_WIN32(::GetLastError());
  }
  *bytes = available.QuadPart;
  return S_OK;
}

}  // namespace QuickKit
