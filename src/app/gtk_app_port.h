// The controller's port on Linux: the GTK main window with its WebKit page,
// the GLib main loop, and GTK message dialogs. User-interface thread, except
// where IAppPort says otherwise.
#pragma once

#include <functional>
#include <memory>

#include "app/installer_app.h"
#include "webhost/gtk/main_window.h"

namespace bright_setup {

class GtkAppPort final : public IAppPort {
 public:
  // Told once the window exists (the test driver starts driving the page
  // from there).
  using WindowCreated = std::function<void(atl_web_core::MainWindow&)>;

  explicit GtkAppPort(WindowCreated windowCreated = nullptr);
  ~GtkAppPort() override;

  bool CreateMainWindow(const WindowParams& params, IJsMethods& page,
                        atl_web_core::IMainWindowEvents* events, std::string* error) override;
  UiDeck::IWindowCommands& WindowCommands() override { return *m_window; }
  UiDeck::IPushNotificator& Notificator() override { return *m_window; }
  UiDeck::ICustomMessagePoster& CustomMessages() override { return m_window->CustomMessages(); }
  void SetCustomMessageProcessor(UiDeck::ICustomMessageProcessor* processor) override;
  QuickKit::WindowHandle MainWindowHandle() override;
  void RunMessageLoop() override;
  void DestroyMainWindow() override;

  bool RunOnUiThread(std::function<void()> task) override;
  QuickKit::IReconnectPrompt::Answer ShowYesNo(QuickKit::WindowHandle owner,
                                               const std::string& text,
                                               const std::string& title) override;
  void PostClose(QuickKit::WindowHandle owner) override;

  atl_web_core::MainWindow* Window() { return m_window.get(); }

 private:
  WindowCreated m_windowCreated;
  std::unique_ptr<atl_web_core::MainWindow> m_window;
  // Revoked with the window, so that a close posted from another thread
  // after the window has gone finds nothing.
  std::shared_ptr<bool> m_alive;
};

// A modal message box with one OK button, owned by nothing (over the
// desktop). GTK must be initialised.
void ShowMessageBox(const std::string& text, const std::string& title);

}  // namespace bright_setup
