#include <windows.h>

#include <shellapi.h>
#include <tlhelp32.h>

#include <stdexcept>

#include "install/installer_process.h"
#include "support/scoped_handle.h"
#include "support/text.h"

namespace bright_setup {

void InstallerProcess::Close() {
  if (m_handle != nullptr) ::CloseHandle(static_cast<HANDLE>(m_handle));
  m_handle = nullptr;
}

bool InstallerProcess::IsValid() const { return m_handle != nullptr; }

InstallerProcess::State InstallerProcess::Wait(std::uint32_t timeoutMs, std::uint32_t* exitCode) {
  if (m_handle == nullptr) return State::Unknown;
  const DWORD waited = ::WaitForSingleObject(static_cast<HANDLE>(m_handle), timeoutMs);
  if (waited == WAIT_TIMEOUT) return State::Running;
  DWORD code = 0;
  if (waited != WAIT_OBJECT_0 || !::GetExitCodeProcess(static_cast<HANDLE>(m_handle), &code)) {
    return State::Unknown;
  }
  *exitCode = code;
  return State::Exited;
}

HRESULT StartInstaller(const std::string& folder, const std::string& fileName,
                       InstallerProcess* process) {
  process->Close();
  std::wstring wideFolder, wideFile;
  try {
    wideFolder = QuickKit::Utf8ToWide(folder);
    wideFile = QuickKit::Utf8ToWide(fileName);
  } catch (const std::range_error&) {
    return E_INVALIDARG;
  }
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = wideFile.c_str();
  info.lpParameters = L"";
  info.lpDirectory = wideFolder.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!::ShellExecuteExW(&info)) return HRESULT_FROM_WIN32(::GetLastError());
  process->m_handle = info.hProcess;
  return S_OK;
}

bool IsProcessRunning(const std::string& fileName) {
  std::wstring wide;
  try {
    wide = QuickKit::Utf8ToWide(fileName);
  } catch (const std::range_error&) {
    return false;
  }
  QuickKit::ScopedFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more;
       more = ::Process32NextW(snapshot.Get(), &entry)) {
    if (wide == entry.szExeFile) return true;
  }
  return false;
}

}  // namespace bright_setup
