#include <windows.h>

#include "support/resources.h"

namespace QuickKit {

HRESULT LoadRcData(int id, RcData* resource) {
  *resource = RcData{};
  HMODULE module = ::GetModuleHandleW(nullptr);
  HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), RT_RCDATA);
  if (found == nullptr) {
    found = ::FindResourceExW(module, RT_RCDATA, MAKEINTRESOURCEW(id), 0xFFFF);
  }
  if (found == nullptr) return HRESULT_FROM_WIN32(::GetLastError());
  HGLOBAL loaded = ::LoadResource(module, found);
  if (loaded == nullptr) return HRESULT_FROM_WIN32(::GetLastError());
  const void* bytes = ::LockResource(loaded);
  const DWORD size = ::SizeofResource(module, found);
  if (bytes == nullptr || size == 0) return HRESULT_FROM_WIN32(::GetLastError());
  // Resources of the program's own image stay mapped as long as it runs.
  resource->data = static_cast<const std::uint8_t*>(bytes);
  resource->size = size;
  return S_OK;
}

}  // namespace QuickKit
