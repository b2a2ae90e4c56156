#include <windows.h>

#include <stdexcept>

#include "net/native_file.h"
#include "support/text.h"

namespace QuickKit {
namespace {

bool ToWide(const std::string& path, std::wstring* wide) {
  try {
    *wide = Utf8ToWide(path);
    return true;
  } catch (const std::range_error&) {
    return false;
  }
}

}  // namespace

HRESULT CreateFreshFile(const std::string& path, ScopedNativeFile* file) {
  file->Reset();
  std::wstring wide;
  if (!ToWide(path, &wide)) return E_INVALIDARG;
  // A read-only file would refuse the delete; a link is deleted, not its target.
  ::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!::DeleteFileW(wide.c_str())) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) return HRESULT_FROM_WIN32(error);
  }
  HANDLE handle =
      ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                    FILE_FLAG_RANDOM_ACCESS | FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return HRESULT_FROM_WIN32(::GetLastError());
  file->Reset(handle);
  return S_OK;
}

HRESULT OpenFileForReading(const std::string& path, ScopedNativeFile* file) {
  file->Reset();
  std::wstring wide;
  if (!ToWide(path, &wide)) return E_INVALIDARG;
  HANDLE handle = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return HRESULT_FROM_WIN32(::GetLastError());
  file->Reset(handle);
  return S_OK;
}

HRESULT OpenFileForUpdate(const std::string& path, ScopedNativeFile* file) {
  file->Reset();
  std::wstring wide;
  if (!ToWide(path, &wide)) return E_INVALIDARG;
  // A reparse point is opened as itself and refused, never followed.
  HANDLE handle =
      ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return HRESULT_FROM_WIN32(::GetLastError());
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!::GetFileInformationByHandle(handle, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    ::CloseHandle(handle);
    return HRESULT_FROM_WIN32(ERROR_CANT_ACCESS_FILE);
  }
  file->Reset(handle);
  return S_OK;
}

}  // namespace QuickKit
