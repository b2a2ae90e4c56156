// The controller's port on Windows: the Win32 main window with its hosted
// browser control, the thread's message loop, and MessageBoxW. User-
// interface thread, except where IAppPort says otherwise. OLE must be
// initialised on that thread (the entry does it).
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "app/installer_app.h"
#include "webhost/win/main_window.h"

namespace bright_setup {

class WinAppPort final : public IAppPort {
 public:
  // Told once the window exists, before the catalogue is loaded.
  using WindowCreated = std::function<void(atl_web_core::MainWindow&)>;

  // showCommand: how the frame is first shown (wWinMain's).
  explicit WinAppPort(int showCommand = SW_SHOWNORMAL, WindowCreated windowCreated = nullptr);
  ~WinAppPort() override;
  WinAppPort(const WinAppPort&) = delete;
  WinAppPort& operator=(const WinAppPort&) = delete;

  bool CreateMainWindow(const WindowParams& params, IJsMethods& page,
                        atl_web_core::IMainWindowEvents* events, std::string* error) override;
  UiDeck::IWindowCommands& WindowCommands() override { return *m_window; }
  UiDeck::IPushNotificator& Notificator() override { return *m_window; }
  UiDeck::ICustomMessagePoster& CustomMessages() override { return m_window->CustomMessages(); }
  void SetCustomMessageProcessor(UiDeck::ICustomMessageProcessor* processor) override;
  QuickKit::WindowHandle MainWindowHandle() override;
  void RunMessageLoop() override;
  void DestroyMainWindow() override;

  // Tasks go to a message-only window of the port, which outlives the main
  // window; tasks still queued when the port goes are dropped unrun.
  bool RunOnUiThread(std::function<void()> task) override;
  QuickKit::IReconnectPrompt::Answer ShowYesNo(QuickKit::WindowHandle owner,
                                               const std::string& text,
                                               const std::string& title) override;
  void PostClose(QuickKit::WindowHandle owner) override;

  atl_web_core::MainWindow* Window() { return m_window.get(); }

 private:
  static LRESULT CALLBACK TaskProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  int m_showCommand;
  WindowCreated m_windowCreated;
  HWND m_tasks = nullptr;
  std::unique_ptr<atl_web_core::MainWindow> m_window;
};

}  // namespace bright_setup
