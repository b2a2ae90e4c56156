#include "webhost/gtk/main_window.h"

#include <glib-unix.h>
#include <signal.h>
#include <sys/random.h>

#include <utility>

#include "webhost/gtk/bridge_server.h"
#include "webhost/gtk/custom_message_poster.h"
#include "webhost/gtk/runtime_folder.h"
#include "webhost/host_rules.h"

namespace atl_web_core {
namespace {

constexpr std::size_t kTokenBytes = 32;

bool MakeToken(std::string* token) {
  unsigned char bytes[kTokenBytes];
  std::size_t filled = 0;
  while (filled < sizeof(bytes)) {
    const ssize_t n = getrandom(bytes + filled, sizeof(bytes) - filled, 0);
    if (n <= 0) return false;
    filled += static_cast<std::size_t>(n);
  }
  static const char kHex[] = "0123456789abcdef";
  token->clear();
  for (const unsigned char b : bytes) {
    *token += kHex[b >> 4];
    *token += kHex[b & 0xF];
  }
  return true;
}

// What the extension needs in the web process: (socket path, token, method
// names, time-out in ms).
GVariant* ExtensionData(const std::string& socketPath, const std::string& token, int timeoutMs) {
  GVariantBuilder names;
  g_variant_builder_init(&names, G_VARIANT_TYPE("as"));
  for (const bright_setup::JsMethod& method : bright_setup::JsMethodTable())
    g_variant_builder_add(&names, "s", std::string(method.name).c_str());
  return g_variant_new("(ssasu)", socketPath.c_str(), token.c_str(), &names,
                       static_cast<guint32>(timeoutMs > 0 ? timeoutMs : 1));
}

void OnScriptEvaluated(GObject* view, GAsyncResult* result, gpointer) {
  GError* error = nullptr;
  JSCValue* value =
      webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, &error);
  if (value != nullptr) g_object_unref(value);
  if (error != nullptr) {
    // A page that is gone or broken drops the notification; nothing to do.
    g_debug("notification not delivered: %s", error->message);
    g_error_free(error);
  }
}

}  // namespace

std::unique_ptr<MainWindow> MainWindow::Create(const MainWindowParams& params,
                                               bright_setup::IJsMethods& page,
                                               IMainWindowEvents* events, std::string* error) {
  std::unique_ptr<MainWindow> window(new MainWindow(params, events));
  if (!window->Build(page, error)) return nullptr;
  return window;
}

MainWindow::MainWindow(const MainWindowParams& params, IMainWindowEvents* events)
    : m_params(params), m_startUri(UiDeck::FileUriOfPath(params.startPage)), m_events(events) {}

bool MainWindow::Build(bright_setup::IJsMethods& page, std::string* error) {
  m_runtime = RuntimeFolder::Create(error);
  if (!m_runtime) return false;
  std::string token;
  if (!MakeToken(&token)) {
    *error = "no random numbers for the bridge's token";
    return false;
  }
  m_bridge = BridgeServer::Start(m_runtime->SocketPath(), token, page, error);
  if (!m_bridge) return false;

  // A context of the window's own: its extension folder is this run's, and
  // being ephemeral it writes no caches or site data into the user's home.
  WebKitWebContext* context = webkit_web_context_new_ephemeral();
  webkit_web_context_set_web_extensions_directory(context, m_runtime->Path().c_str());
  webkit_web_context_set_web_extensions_initialization_user_data(
      context, ExtensionData(m_runtime->SocketPath(), token, m_params.callTimeoutMs));

  WebKitSettings* settings = webkit_settings_new();
  // The page can be inspected (WebKit's remote inspector) only when a
  // developer asks for it with WebKit's own variable.
  const char* inspector = g_getenv("WEBKIT_INSPECTOR_HTTP_SERVER");
  webkit_settings_set_enable_developer_extras(settings, inspector != nullptr && *inspector);
  webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
  // The page is small and still: WebKit's accelerated compositing gains it
  // nothing, and on a machine without a GPU its first frame comes up to a
  // second after the window shows, an empty grey window meanwhile.
  webkit_settings_set_hardware_acceleration_policy(settings,
                                                   WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);

  m_view = WEBKIT_WEB_VIEW(
      g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "settings", settings, nullptr));
  g_object_unref(settings);
  g_object_unref(context);  // the view holds it

  m_window = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
  gtk_window_set_title(m_window, m_params.title.c_str());
  gtk_window_set_decorated(m_window, FALSE);
  gtk_window_set_resizable(m_window, FALSE);
  gtk_widget_set_size_request(GTK_WIDGET(m_view), UiDeck::kWindowWidth, UiDeck::kWindowHeight);
  gtk_container_add(GTK_CONTAINER(m_window), GTK_WIDGET(m_view));
  gtk_widget_show(GTK_WIDGET(m_view));

  g_signal_connect(m_view, "button-press-event", G_CALLBACK(&MainWindow::OnButtonPress), this);
  g_signal_connect(m_view, "context-menu", G_CALLBACK(&MainWindow::OnContextMenu), this);
  g_signal_connect(m_view, "drag-motion", G_CALLBACK(&MainWindow::OnDragMotion), this);
  g_signal_connect(m_view, "drag-drop", G_CALLBACK(&MainWindow::OnDragDrop), this);
  g_signal_connect(m_view, "decide-policy", G_CALLBACK(&MainWindow::OnDecidePolicy), this);
  g_signal_connect(m_view, "load-changed", G_CALLBACK(&MainWindow::OnLoadChanged), this);
  g_signal_connect(m_view, "web-process-terminated",
                   G_CALLBACK(&MainWindow::OnWebProcessTerminated), this);
  g_signal_connect(m_window, "delete-event", G_CALLBACK(&MainWindow::OnDeleteEvent), this);

  m_termWatch = g_unix_signal_add(SIGTERM, &MainWindow::OnSessionSignal, this);
  m_hupWatch = g_unix_signal_add(SIGHUP, &MainWindow::OnSessionSignal, this);

  m_poster = std::make_unique<GtkCustomMessagePoster>(
      [this](UiDeck::InstallStatus status, std::int32_t value) {
        if (m_customHandler) m_customHandler(status, value);
      });
  m_loop = g_main_loop_new(nullptr, FALSE);

  webkit_web_view_load_uri(m_view, m_startUri.c_str());
  return true;
}

MainWindow::~MainWindow() {
  if (!m_closed && m_window != nullptr) FinishClosing();
  if (m_closeIdle != 0) g_source_remove(m_closeIdle);
  m_poster.reset();
  m_bridge.reset();
  m_runtime.reset();
  if (m_loop != nullptr) g_main_loop_unref(m_loop);
}

void MainWindow::Run() {
  if (!m_closed) g_main_loop_run(m_loop);
}

bool MainWindow::Show() {
  if (m_closing) return false;
  GdkDisplay* display = gtk_widget_get_display(GTK_WIDGET(m_window));
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
  if (monitor != nullptr) {
    GdkRectangle area{};
    gdk_monitor_get_geometry(monitor, &area);
    const UiDeck::ScreenPoint origin = UiDeck::CentredWindowOrigin(
        {area.x, area.y, area.width, area.height}, UiDeck::kWindowWidth, UiDeck::kWindowHeight);
    gtk_window_move(m_window, origin.x, origin.y);
  }
  gtk_widget_show(GTK_WIDGET(m_window));
  gtk_window_present(m_window);
  return true;
}

bool MainWindow::Minimize() {
  if (m_closing) return false;
  gtk_window_iconify(m_window);
  return true;
}

bool MainWindow::Close() {
  if (m_closing) return !m_closed;
  m_closing = true;
  m_closeIdle = g_idle_add(&MainWindow::OnCloseIdle, this);
  return true;
}

gboolean MainWindow::OnCloseIdle(gpointer self) {
  auto* window = static_cast<MainWindow*>(self);
  window->m_closeIdle = 0;
  window->FinishClosing();
  return G_SOURCE_REMOVE;
}

void MainWindow::FinishClosing() {
  m_closing = true;
  m_closed = true;
  m_poster->Close();
  g_source_remove(m_termWatch);
  g_source_remove(m_hupWatch);
  g_signal_handlers_disconnect_by_data(m_view, this);
  g_signal_handlers_disconnect_by_data(m_window, this);
  gtk_widget_destroy(GTK_WIDGET(m_window));
  m_window = nullptr;
  m_view = nullptr;
  if (g_main_loop_is_running(m_loop)) g_main_loop_quit(m_loop);
}

bool MainWindow::Notify(const std::string& api, const std::string& method,
                        const std::string& text) {
  return Deliver(UiDeck::NotifyScript(api, method, text));
}

bool MainWindow::Notify(const std::string& api, const std::string& method, int number) {
  return Deliver(UiDeck::NotifyScript(api, method, number));
}

bool MainWindow::Notify(const std::string& api, const std::string& method) {
  return Deliver(UiDeck::NotifyScript(api, method));
}

bool MainWindow::Deliver(const std::string& script) {
  if (m_closing) return false;
  switch (m_scripts.Submit(script)) {
    case UiDeck::PageScriptQueue::Admission::kRunNow:
      Evaluate(script);
      return true;
    case UiDeck::PageScriptQueue::Admission::kHeld:
      return true;
    case UiDeck::PageScriptQueue::Admission::kRefused:
      break;
  }
  return false;
}

void MainWindow::Evaluate(const std::string& script) {
  // Asynchronous: the page runs it after the call in progress, if any.
  webkit_web_view_evaluate_javascript(m_view, script.c_str(), static_cast<gssize>(script.size()),
                                      nullptr, nullptr, nullptr, &OnScriptEvaluated, nullptr);
}

UiDeck::ICustomMessagePoster& MainWindow::CustomMessages() { return *m_poster; }

void MainWindow::SetCustomMessageHandler(CustomMessageHandler handler) {
  m_customHandler = std::move(handler);
}

std::string MainWindow::BridgeSocketPath() const { return m_runtime->SocketPath(); }

std::size_t MainWindow::BridgeConnections() const { return m_bridge->ConnectionsAccepted(); }

gboolean MainWindow::OnButtonPress(GtkWidget* view, GdkEventButton* event, gpointer self) {
  auto* window = static_cast<MainWindow*>(self);
  if (event->type != GDK_BUTTON_PRESS || event->button != GDK_BUTTON_PRIMARY) return FALSE;
  // The point in the view's own coordinates, from the screen position: the
  // event may come from any of the view's GDK windows.
  GtkWidget* top = GTK_WIDGET(window->m_window);
  gint originX = 0;
  gint originY = 0;
  gdk_window_get_origin(gtk_widget_get_window(top), &originX, &originY);
  gint x = 0;
  gint y = 0;
  if (!gtk_widget_translate_coordinates(top, view, static_cast<gint>(event->x_root) - originX,
                                        static_cast<gint>(event->y_root) - originY, &x, &y))
    return FALSE;
  if (!UiDeck::InDragStrip(x, y, webkit_web_view_get_zoom_level(window->m_view))) return FALSE;
  gtk_window_begin_move_drag(window->m_window, static_cast<gint>(event->button),
                             static_cast<gint>(event->x_root), static_cast<gint>(event->y_root),
                             event->time);
  return TRUE;
}

gboolean MainWindow::OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*,
                                   WebKitHitTestResult* hit, gpointer) {
  const bool show = UiDeck::ShowsContextMenu(webkit_hit_test_result_context_is_editable(hit),
                                             webkit_hit_test_result_context_is_selection(hit));
  return show ? FALSE : TRUE;  // TRUE: handled, no menu
}

gboolean MainWindow::OnDragMotion(GtkWidget*, GdkDragContext* context, gint, gint, guint time,
                                  gpointer) {
  gdk_drag_status(context, static_cast<GdkDragAction>(0), time);  // nothing can be dropped here
  return TRUE;
}

gboolean MainWindow::OnDragDrop(GtkWidget*, GdkDragContext* context, gint, gint, guint time,
                                gpointer) {
  gtk_drag_finish(context, FALSE, FALSE, time);
  return TRUE;
}

gboolean MainWindow::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                    WebKitPolicyDecisionType type, gpointer self) {
  auto* window = static_cast<MainWindow*>(self);
  if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
    WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
        WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    if (uri != nullptr && UiDeck::IsInsideLayout(uri, window->m_params.layoutFolder)) return FALSE;
  } else if (type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
    return FALSE;  // responses: WebKit's own decision
  }
  // Links leave the page only through OpenUrl and the desktop's opener.
  webkit_policy_decision_ignore(decision);
  return TRUE;
}

void MainWindow::OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
  auto* window = static_cast<MainWindow*>(self);
  if (event == WEBKIT_LOAD_STARTED) {
    window->m_scripts.PageGone();
  } else if (event == WEBKIT_LOAD_FINISHED) {
    for (const std::string& script : window->m_scripts.PageLoaded()) window->Evaluate(script);
  }
}

void MainWindow::OnWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                                        gpointer self) {
  auto* window = static_cast<MainWindow*>(self);
  if (window->m_closing || reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API) return;
  // The page starts again from the beginning; the program gives it back its
  // state through notifications, which wait for the new page.
  window->m_scripts.PageGone();
  webkit_web_view_load_uri(window->m_view, window->m_startUri.c_str());
  if (window->m_events != nullptr) window->m_events->OnPageRestarted();
}

gboolean MainWindow::OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer self) {
  static_cast<MainWindow*>(self)->Close();
  return TRUE;  // closed from the main loop, as Close does
}

gboolean MainWindow::OnSessionSignal(gpointer self) {
  auto* window = static_cast<MainWindow*>(self);
  if (!window->m_closing) {
    if (window->m_events != nullptr) window->m_events->OnSessionEnding();
    window->Close();
  }
  return G_SOURCE_CONTINUE;
}

}  // namespace atl_web_core
