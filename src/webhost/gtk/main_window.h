// The Linux main window: a borderless, fixed 858 x 610 GTK window that
// holds one WebKit view showing the unpacked page. It gives the page its
// synchronous window.external (the page bridge), delivers the program's
// notifications to the page, carries custom messages from worker threads,
// and keeps the page in its place: no navigation away from the layout, no
// new windows, no drops, no context menu outside fields and selections.
// The window stays hidden until Show (the page calls WindowIsReady when it
// has started up). A strip along the top of the page moves the window.
//
// Owned by the controller; everything here runs on the user-interface
// thread except PostCustomMessage of CustomMessages(). GTK must be
// initialised first.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "bridge/js_methods.h"
#include "support/custom_message.h"
#include "support/push_notificator.h"
#include "support/window_commands.h"
#include "webhost/main_window_events.h"
#include "webhost/page_script_queue.h"

namespace atl_web_core {

class BridgeServer;
class GtkCustomMessagePoster;
class RuntimeFolder;

struct MainWindowParams {
  std::string title = "Norvane Installer";
  // Absolute path of the page to show (layout/production/index.html).
  std::string startPage;
  // Absolute path of the folder the page may show files from (the
  // unpacked layout). Nothing outside it is ever shown.
  std::string layoutFolder;
  // How long the page waits for one call into the program.
  int callTimeoutMs = 5000;
};

class MainWindow final : public UiDeck::IPushNotificator, public UiDeck::IWindowCommands {
 public:
  using CustomMessageHandler = std::function<void(UiDeck::InstallStatus, std::int32_t)>;

  // Creates the hidden window, starts the page bridge (served by page) and
  // begins loading the page. page and events (may be null) must outlive the
  // window. nullptr with the reason in *error when the bridge cannot be
  // set up.
  static std::unique_ptr<MainWindow> Create(const MainWindowParams& params,
                                            bright_setup::IJsMethods& page,
                                            IMainWindowEvents* events, std::string* error);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Runs the main loop until the window has closed. Returns at once when
  // it has closed already.
  void Run();
  bool IsClosed() const { return m_closed; }

  // Shows the window, centred on its monitor, and brings it to the front.
  bool Show() override;
  bool Minimize() override;
  // Closes the window from the main loop, after the current call.
  bool Close() override;

  // Calls api.method(...) in the page. Held until a page has finished
  // loading, then delivered in order. True when delivered or held; false
  // once the window has closed (or when far too many are held).
  bool Notify(const std::string& api, const std::string& method, const std::string& text) override;
  bool Notify(const std::string& api, const std::string& method, int number) override;
  bool Notify(const std::string& api, const std::string& method) override;

  // The channel from worker threads. Messages reach the handler on the
  // user-interface thread in posting order; none after the window has
  // closed. The poster lives as long as the window: workers must be done
  // posting (or post through a revocable wrapper, revoked first) before
  // the window is destroyed.
  UiDeck::ICustomMessagePoster& CustomMessages();
  void SetCustomMessageHandler(CustomMessageHandler handler);

  // For the test driver and the benchmark.
  GtkWindow* Window() const { return m_window; }
  WebKitWebView* View() const { return m_view; }
  std::string BridgeSocketPath() const;
  std::size_t BridgeConnections() const;

 private:
  MainWindow(const MainWindowParams& params, IMainWindowEvents* events);
  bool Build(bright_setup::IJsMethods& page, std::string* error);
  bool Deliver(const std::string& script);
  void Evaluate(const std::string& script);
  void FinishClosing();

  static gboolean OnButtonPress(GtkWidget* view, GdkEventButton* event, gpointer self);
  static gboolean OnContextMenu(WebKitWebView* view, WebKitContextMenu* menu, GdkEvent* event,
                                WebKitHitTestResult* hit, gpointer self);
  static gboolean OnDragMotion(GtkWidget* view, GdkDragContext* context, gint x, gint y, guint time,
                               gpointer self);
  static gboolean OnDragDrop(GtkWidget* view, GdkDragContext* context, gint x, gint y, guint time,
                             gpointer self);
  static gboolean OnDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer self);
  static void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self);
  static void OnWebProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason,
                                     gpointer self);
  static gboolean OnDeleteEvent(GtkWidget* window, GdkEvent* event, gpointer self);
  static gboolean OnSessionSignal(gpointer self);
  static gboolean OnCloseIdle(gpointer self);

  MainWindowParams m_params;
  std::string m_startUri;
  IMainWindowEvents* m_events;
  std::unique_ptr<RuntimeFolder> m_runtime;
  std::unique_ptr<BridgeServer> m_bridge;
  std::unique_ptr<GtkCustomMessagePoster> m_poster;
  CustomMessageHandler m_customHandler;
  UiDeck::PageScriptQueue m_scripts;
  GtkWindow* m_window = nullptr;
  WebKitWebView* m_view = nullptr;
  GMainLoop* m_loop = nullptr;
  guint m_termWatch = 0;
  guint m_hupWatch = 0;
  guint m_closeIdle = 0;
  bool m_closing = false;
  bool m_closed = false;
};

}  // namespace atl_web_core
