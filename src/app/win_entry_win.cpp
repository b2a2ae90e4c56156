#include <windows.h>
// After windows.h:
#include <ole2.h>
#include <shellapi.h>

#include <exception>
#include <string>
#include <vector>

#include "app/crash_handlers.h"
#include "app/program_entry.h"
#include "app/single_instance.h"
#include "app/win_app_port.h"
#include "app/win_entry.h"
#include "support/config.h"
#include "support/program_path.h"
#include "support/text.h"

namespace bright_setup {
namespace {

// OLE (COM, drag and drop, the browser control) for the user-interface
// thread, balanced when it succeeded.
class OleScope {
 public:
  OleScope() : m_result(::OleInitialize(nullptr)) {}
  ~OleScope() {
    if (SUCCEEDED(m_result)) ::OleUninitialize();
  }
  OleScope(const OleScope&) = delete;
  OleScope& operator=(const OleScope&) = delete;

 private:
  HRESULT m_result;
};

void ShowBox(HWND owner, const std::string& text, const std::string& title) {
  ::MessageBoxW(owner, QuickKit::Utf8ToWide(text).c_str(), QuickKit::Utf8ToWide(title).c_str(),
                MB_OK);
}

}  // namespace

std::vector<std::string> SplitCommandLine(const wchar_t* commandLine) {
  std::vector<std::string> elements;
  int count = 0;
  LPWSTR* list = ::CommandLineToArgvW(commandLine != nullptr ? commandLine : L"", &count);
  if (list == nullptr) return elements;
  for (int i = 0; i < count; ++i) {
    std::string element;
    if (QuickKit::TryWideToUtf8(list[i], &element)) elements.push_back(std::move(element));
  }
  ::LocalFree(list);
  return elements;
}

int RunProgram(const wchar_t* commandLine, int showCommand, const EntryHooks& hooks) {
  const std::string programPath = QuickKit::GetProgramPath();
  InstallCrashHandlers(programPath);

  try {
    if (HasCrashSwitch(SplitCommandLine(commandLine))) {
      RunCrashReport();
      return 0;
    }
    SingleInstanceLock lock;
    if (lock.GetState() == SingleInstanceLock::State::kHeldByOther) {
      ShowBox(::GetDesktopWindow(), kAnotherInstanceText, QuickKit::kProgramTitle);
      return 0;
    }
    OleScope ole;
    InstallerApp* appForHooks = nullptr;
    WinAppPort port(showCommand, [&](atl_web_core::MainWindow& window) {
      if (hooks.windowCreated && appForHooks != nullptr) hooks.windowCreated(*appForHooks, window);
    });
    AppOptions options;
    options.programPath = programPath;
    InstallerApp app(port, options);
    appForHooks = &app;
    app.Run();
  } catch (const std::exception& error) {
    // The text is ours, in UTF-8: shown as UTF-16 so that no character
    // depends on the ANSI code page.
    ShowBox(nullptr, error.what(), kErrorTitle);
    return -1;
  }
  return 0;
}

}  // namespace bright_setup
