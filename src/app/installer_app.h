// The application controller: holds the program's state between the entry
// and the main window (the catalogue model, the installer, the script
// object, the message processor, the QR-code picture), runs the start-up
// sequence, the message loop and the teardown. Portable; what differs per
// port (the window, its loop, its dialogs) comes through IAppPort.
//
// Made, run and destroyed on the user-interface thread, while the
// single-instance lock is held.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "bridge/js_handler.h"
#include "bridge/shell_opener.h"
#include "catalogue/VerInfo/verinfo.h"
#include "catalogue/catalogue_model.h"
#include "install/serial_installer.h"
#include "net/reconnect_prompt.h"
#include "support/custom_message.h"
#include "webhost/main_window_events.h"
#include "webhost/message_processor.h"

namespace bright_setup {

// What the controller asks of the port: its main window, the window's
// message loop, and the user-interface calls of the reconnect prompt.
// Everything on the user-interface thread unless said otherwise.
class IAppPort {
 public:
  struct WindowParams {
    std::string startPage;     // full path of layout/production/index.html
    std::string layoutFolder;  // the unpacked layout; the page shows nothing outside it
  };

  virtual ~IAppPort() = default;

  // Creates the main window, hidden, showing the start page with page as
  // its window.external, and reporting to events. False with the reason in
  // *error. The window lives until DestroyMainWindow.
  virtual bool CreateMainWindow(const WindowParams& params, IJsMethods& page,
                                atl_web_core::IMainWindowEvents* events, std::string* error) = 0;
  virtual UiDeck::IWindowCommands& WindowCommands() = 0;
  virtual UiDeck::IPushNotificator& Notificator() = 0;
  // The window's custom-message channel (any thread may post), and who
  // handles its messages (null: nobody).
  virtual UiDeck::ICustomMessagePoster& CustomMessages() = 0;
  virtual void SetCustomMessageProcessor(UiDeck::ICustomMessageProcessor* processor) = 0;
  // The owner of the program's dialogs.
  virtual QuickKit::WindowHandle MainWindowHandle() = 0;
  // Until the window has closed.
  virtual void RunMessageLoop() = 0;
  virtual void DestroyMainWindow() = 0;

  // The reconnect prompt (QuickKit::UiThreadReconnectPrompt): run a task on
  // the user-interface thread later (any thread), show the Yes/No dialog
  // (user-interface thread), ask the owner window to close (any thread).
  virtual bool RunOnUiThread(std::function<void()> task) = 0;
  virtual QuickKit::IReconnectPrompt::Answer ShowYesNo(QuickKit::WindowHandle owner,
                                                       const std::string& text,
                                                       const std::string& title) = 0;
  virtual void PostClose(QuickKit::WindowHandle owner) = 0;
};

// Where the program's pieces are made; the tests hand in their own shell.
struct AppOptions {
  IShellOpener* shell = nullptr;  // null: the desktop's (ShellOpener)
  std::string programPath;        // what the logon entry starts; empty: this program
};

class InstallerApp final : public IJsHandlerHost, public atl_web_core::IMainWindowEvents {
 public:
  InstallerApp(IAppPort& port, AppOptions options = {});
  // Removes the working folder, then ends the installer (a run still going
  // is stopped and waited for; its saved state stays only when the session
  // ended).
  ~InstallerApp() override;
  InstallerApp(const InstallerApp&) = delete;
  InstallerApp& operator=(const InstallerApp&) = delete;

  // The start-up sequence, the message loop until the window closes, and
  // the window's teardown. Throws std::runtime_error with a text for the
  // user when the page cannot be shown at all.
  void Run();

  // IJsHandlerHost.
  CatalogueModel& Model() override { return *m_model; }
  IInstaller* Installer() override { return m_installer.get(); }
  // The downloaded QR-code picture, else the one the layout carries.
  std::string GetQrCodePath() const override;

  // IMainWindowEvents.
  void OnSessionEnding() override;
  void OnPageRestarted() override;

  // For the test driver: the script object while the window lives.
  JsHandler* ScriptObject() { return m_jsHandler.get(); }

 private:
  void LoadCatalogue(QuickKit::WindowHandle owner);
  void FetchQrCode(QuickKit::WindowHandle owner);
  void TearDownWindow();

  IAppPort& m_port;
  AppOptions m_options;
  std::unique_ptr<IShellOpener> m_ownShell;
  std::unique_ptr<UiDeck::MessageProcessor> m_messageProcessor;
  std::unique_ptr<QuickKit::UiThreadReconnectPrompt> m_prompt;
  // What the installer's thread posts through; revoked before the window
  // goes.
  std::shared_ptr<UiDeck::RevocablePoster> m_poster;
  std::unique_ptr<CatalogueModel> m_model;
  VerInfo m_catalogue;  // the controller's dictionary: the QR-code lookup
  std::string m_qrCodePath;
  std::unique_ptr<SerialInstaller> m_installer;
  std::unique_ptr<JsHandler> m_jsHandler;
  bool m_windowCreated = false;
  bool m_sessionEnding = false;
};

}  // namespace bright_setup
