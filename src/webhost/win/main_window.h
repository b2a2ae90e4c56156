// The Windows main window: a borderless 858 x 610 frame (scaled by the
// monitor's DPI) centred on the primary screen, with a child window that
// hosts the web-browser control showing the unpacked page. It gives the
// page its window.external (JsHandler's IDispatch over the method table),
// delivers the program's notifications to the page, carries custom
// messages from worker threads, and keeps the page in its place: no
// context menu outside fields and selections, no drops, a strip along the
// top of the page that moves the window. The frame shows empty at once;
// the page shows when Show is called (the page's WindowIsReady).
//
// Owned by the controller's port; everything here runs on the
// user-interface thread except PostCustomMessage of CustomMessages().
// COM (OleInitialize) must be initialised on that thread first.
#pragma once

#include <windows.h>
// After windows.h:
#include <oaidl.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "bridge/js_methods.h"
#include "support/custom_message.h"
#include "support/push_notificator.h"
#include "support/window_commands.h"
#include "webhost/main_window_events.h"

namespace bright_setup {
class JsHandlerDispatch;
}

namespace atl_web_core {

class BrowserHost;

// RegisterWindowMessageW("WM_CustomMessage"): the message that carries
// the installer's results to the main window.
UINT CustomMessageId();

struct MainWindowParams {
  std::string title = "Norvane Installer";
  // Absolute path of the page to show (layout\production\index.html).
  std::string startPage;
  // How the frame is first shown (wWinMain's show command).
  int showCommand = SW_SHOWNORMAL;
};

class MainWindow final : public UiDeck::IPushNotificator, public UiDeck::IWindowCommands {
 public:
  using CustomMessageHandler = std::function<void(UiDeck::InstallStatus, std::int32_t)>;

  // Creates the frame with the browser control loading the start page, and
  // shows the frame. page and events (may be null) must outlive the
  // window. nullptr with the reason in *error.
  static std::unique_ptr<MainWindow> Create(const MainWindowParams& params,
                                            bright_setup::IJsMethods& page,
                                            IMainWindowEvents* events, std::string* error);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Runs the message loop until the window has closed; returns at once
  // when it has closed already.
  void Run();
  bool IsClosed() const { return m_frame == nullptr; }

  // Shows the frame and the page, and gives the page the keyboard.
  bool Show() override;
  bool Minimize() override;
  // Closes the window from the loop, after the current call.
  bool Close() override;

  // Calls api.method(...) in the page. False when the page cannot be
  // reached (not loaded yet, no such object or method); nothing is kept.
  bool Notify(const std::string& api, const std::string& method, const std::string& text) override;
  bool Notify(const std::string& api, const std::string& method, int number) override;
  bool Notify(const std::string& api, const std::string& method) override;

  // The channel from worker threads: PostMessageW of CustomMessageId() to
  // the frame. Messages reach the handler on the user-interface thread in
  // posting order; none after the window has gone.
  UiDeck::ICustomMessagePoster& CustomMessages();
  void SetCustomMessageHandler(CustomMessageHandler handler);

  // The message filter of the loop, for every queued message of the
  // thread: true when the message was handled here.
  bool PreTranslateMessage(MSG* message);

  HWND Frame() const { return m_frame; }
  HWND BrowserWindow() const { return m_host; }
  // The frame's DPI (96 at 100 %).
  UINT Dpi() const;
  // Whether a point on the screen lies in the drag strip: the page's top
  // 760 x 35 CSS pixels at every DPI.
  bool InDragStrip(POINT screen) const;

 private:
  class Poster;

  MainWindow(const MainWindowParams& params, IMainWindowEvents* events);
  LRESULT OnCreate();
  void Place();
  bool SetUpDropAndDrag();
  void SessionEnding();
  void HandleCustomMessage(WPARAM status, LPARAM value);
  bool CallPage(const std::string& api, const std::string& method, VARIANT* argument);

  static LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleFrame(UINT message, WPARAM wParam, LPARAM lParam);

  MainWindowParams m_params;
  IMainWindowEvents* m_events;
  bright_setup::JsHandlerDispatch* m_dispatch = nullptr;
  std::unique_ptr<Poster> m_poster;
  CustomMessageHandler m_customHandler;
  std::unique_ptr<BrowserHost> m_browser;
  HRESULT m_browserResult = S_OK;
  HWND m_frame = nullptr;
  HWND m_host = nullptr;
  bool m_dropSetupDone = false;
  bool m_inLoop = false;
};

}  // namespace atl_web_core
