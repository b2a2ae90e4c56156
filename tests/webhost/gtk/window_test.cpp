// The real window under Xvfb, with a fake of the page methods behind the
// real bridge: page script is evaluated in the page, the mouse is moved
// with xdotool at points read from the page.
#include "webhost/gtk/main_window.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <errno.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "fake_js_methods.h"
#include "webhost/bridge_wire.h"
#include "window_driver.h"

namespace atl_web_core {
namespace {

using namespace window_driver;
using std::chrono::milliseconds;

const std::string kTestLayout = NORVANE_TEST_LAYOUT;  // tests/data/window
const std::string kRealLayout = NORVANE_REAL_LAYOUT;  // resources/layout

class RecordingEvents : public IMainWindowEvents {
 public:
  void OnSessionEnding() override { ++sessionEndings; }
  void OnPageRestarted() override {
    ++restarts;
    if (onRestart) onRestart();
  }
  int sessionEndings = 0;
  int restarts = 0;
  std::function<void()> onRestart;
};

class WindowTest : public ::testing::Test {
 protected:
  void Open(int callTimeoutMs = 5000, bool waitForPage = true) {
    MainWindowParams params;
    params.startPage = kTestLayout + "/index.html";
    params.layoutFolder = kTestLayout;
    params.callTimeoutMs = callTimeoutMs;
    OpenWith(params, waitForPage);
  }

  void OpenWith(const MainWindowParams& params, bool waitForPage = true) {
    std::string error;
    m_window = MainWindow::Create(params, m_page, &m_events, &error);
    ASSERT_TRUE(m_window) << error;
    if (waitForPage) {
      ASSERT_TRUE(WaitForPage(View()));
    }
  }

  WebKitWebView* View() const { return m_window->View(); }

  // The script's value as JSON; fails the test on an error.
  std::string Js(const std::string& script) {
    const JsResult result = Evaluate(View(), script);
    EXPECT_TRUE(result.ok) << script << ": " << result.error;
    return result.json;
  }

  void ShowAndWait() {
    ASSERT_TRUE(m_window->Show());
    ASSERT_TRUE(RunUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(m_window->Window())); }));
    RunFor(milliseconds(300));  // placed and painted
  }

  // The centre of an element of the page, on the screen.
  void CentreOf(const std::string& id, int* x, int* y) {
    Rect box;
    ASSERT_TRUE(ElementRect(View(), id, &box));
    PageToScreen(View(), (box.left + box.right) / 2, (box.top + box.bottom) / 2, x, y);
  }

  bright_setup::FakeJsMethods m_page;
  RecordingEvents m_events;
  std::unique_ptr<MainWindow> m_window;
};

// --- The bridge ---------------------------------------------------------

TEST_F(WindowTest, SynchronousCallsCarryStringsAndIntegersWhole) {
  m_page.installPercents = -7;
  Open();
  // GetAttr echoes a name it has no value for, so each string makes the
  // whole round trip, page to program and back.
  EXPECT_EQ(Js(R"JS((function () {
      var e = window.external;
      var odd = 'caf\u00e9 \u0416 \ud83d\ude00 a\u0000b \u2028 "q" \\ </script>';
      var big = new Array(200001).join('\u00e9x\u0000');  // 600000 characters
      return [e.GetAttr(odd) === odd, e.GetAttr(big) === big, e.GetAttr(''),
              e.IsCppConnected(), e.GetInstallPercents(), e.GetLanguage(),
              typeof e.StartInstall(), e.SendShareMessage('a@b.c', ' ')];
    })())JS"),
            R"([true,true,"",1,-7,"en","undefined",null])");
  ASSERT_EQ(m_page.calls.size(), 8u);
  std::string odd = "caf\xC3\xA9 \xD0\x96 \xF0\x9F\x98\x80 a";
  odd += '\0';
  odd += "b \xE2\x80\xA8 \"q\" \\ </script>";
  EXPECT_EQ(m_page.calls[0], "GetAttr(" + odd + ")");
  EXPECT_EQ(m_page.calls[1].size(), std::string("GetAttr()").size() + 3 * 200000 + 200000);
  EXPECT_EQ(m_page.calls[7], "SendShareMessage(a@b.c, )");
  EXPECT_EQ(m_window->BridgeConnections(), 1u);  // one connection for all calls
}

TEST_F(WindowTest, UnknownMethodsAndWrongArgumentsThrowInThePage) {
  Open();
  EXPECT_EQ(Js(R"JS((function () {
      var e = window.external, out = [];
      function attempt(f) {
        try { f(); out.push('no error'); } catch (x) { out.push(String(x.message)); }
      }
      out.push('SetLanguage' in e, typeof e.GetIsAreaSelected);
      try { e.SetLanguage('en'); out.push('no error'); } catch (x) { out.push(x.name); }
      attempt(function () { e.GetAttr(5); });
      attempt(function () { e.GetAttr(); });
      attempt(function () { e.CheckAreaById('Device', 'Money'); });
      attempt(function () { e.GetAttr({name: 'eula'}); });
      out.push(e.GetAttr('after the errors'));
      return out;
    })())JS"),
            "[false,\"undefined\",\"TypeError\","
            "\"window.external.GetAttr: argument 1 (attributeName) must be a string\","
            "\"window.external.GetAttr: expects 1 argument, got 0\","
            "\"window.external.CheckAreaById: expects 1 argument, got 2\","
            "\"window.external.GetAttr: argument 1 (attributeName) must be a string\","
            "\"after the errors\"]");
  EXPECT_EQ(m_page.calls, std::vector<std::string>{"GetAttr(after the errors)"});
}

int ConnectTo(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

TEST_F(WindowTest, ForeignClientsAreRefused) {
  Open();
  const std::string socketPath = m_window->BridgeSocketPath();
  struct stat info {};
  ASSERT_EQ(stat(std::filesystem::path(socketPath).parent_path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  // Without the token (a call straight away, or a wrong token first) the
  // program closes the connection without running anything.
  for (const std::string& opening : {std::string(), std::string("a guessed token")}) {
    const int fd = ConnectTo(socketPath);
    ASSERT_GE(fd, 0);
    std::string bytes;
    if (!opening.empty()) UiDeck::bridge_wire::AppendFrame(bytes, opening);
    UiDeck::bridge_wire::AppendFrame(bytes, UiDeck::bridge_wire::Request("Close", "[]"));
    ASSERT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
    char reply[64];
    ssize_t n = -1;
    ASSERT_TRUE(RunUntil([&] {
      n = recv(fd, reply, sizeof(reply), MSG_DONTWAIT);
      return n >= 0;
    }));
    EXPECT_EQ(n, 0) << "an answer instead of the end of the connection";
    close(fd);
  }
  EXPECT_TRUE(m_page.calls.empty());

  // Another user is refused by the peer check even when the folder and the
  // socket are opened to everyone (only root can try this).
  if (getuid() == 0) {
    // The run's folder, and above it the test's private runtime folder and tree.
    const std::filesystem::path folder = std::filesystem::path(socketPath).parent_path();
    const std::filesystem::path opened[] = {folder, folder.parent_path(),
                                            folder.parent_path().parent_path()};
    for (const auto& path : opened) chmod(path.c_str(), 0755);
    chmod(socketPath.c_str(), 0666);
    const pid_t child = fork();
    if (child == 0) {
      if (setuid(65534) != 0) _exit(2);
      const int fd = ConnectTo(socketPath);
      if (fd < 0) _exit(3);
      std::string bytes;
      UiDeck::bridge_wire::AppendFrame(bytes, "any token");
      (void)!send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      char c = 0;
      const ssize_t n = recv(fd, &c, 1, 0);  // the program hangs up at once
      _exit(n == 0 || (n < 0 && errno == ECONNRESET) ? 0 : 4);
    }
    int status = -1;
    ASSERT_TRUE(RunUntil([&] { return waitpid(child, &status, WNOHANG) == child; }));
    for (const auto& path : opened) chmod(path.c_str(), 0700);
    chmod(socketPath.c_str(), 0600);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  // The two attempts above passed the peer check; the other user's did not.
  EXPECT_EQ(m_window->BridgeConnections(), 2u);
  EXPECT_EQ(Js("window.external.GetLanguage()"), "\"en\"");  // the page's own still works
}

TEST_F(WindowTest, ACallThatTimesOutThrowsAndTheNextReconnects) {
  Open(500);
  bool first = true;
  m_page.onCall = [&](const std::string& name) {
    if (name == "GetLanguage" && first) {
      first = false;
      g_usleep(1500 * 1000);  // the program busy for longer than the page waits
    }
  };
  const std::string timedOut = Js(R"JS((function () {
      var start = Date.now();
      try { window.external.GetLanguage(); return 'no error'; }
      catch (e) { return e.message + ' after ' + (Date.now() - start) + ' ms'; }
    })())JS");
  EXPECT_EQ(timedOut.rfind("\"window.external.GetLanguage: no answer from the program in time", 0),
            0u)
      << timedOut;
  std::printf("time-out of 500 ms: %s\n", timedOut.c_str());
  // The late answer went to the old connection; the next call has its own.
  EXPECT_EQ(Js("[window.external.GetLanguage(), window.external.IsCppConnected()]"), "[\"en\",1]");
  EXPECT_EQ(m_window->BridgeConnections(), 2u);
}

// --- The window ---------------------------------------------------------

TEST_F(WindowTest, HiddenUntilShownThenCentredAtItsSize) {
  Open();
  GtkWidget* window = GTK_WIDGET(m_window->Window());
  RunFor(milliseconds(300));
  EXPECT_FALSE(gtk_widget_get_visible(window));
  EXPECT_FALSE(gtk_widget_get_mapped(window));
  EXPECT_FALSE(gtk_window_get_decorated(m_window->Window()));

  ShowAndWait();
  GdkRectangle monitor{};
  gdk_monitor_get_geometry(gdk_display_get_primary_monitor(gdk_display_get_default()) != nullptr
                               ? gdk_display_get_primary_monitor(gdk_display_get_default())
                               : gdk_display_get_monitor(gdk_display_get_default(), 0),
                           &monitor);
  int x = 0;
  int y = 0;
  WindowOrigin(m_window->Window(), &x, &y);
  EXPECT_EQ(x, monitor.x + (monitor.width - 858) / 2);
  EXPECT_EQ(y, monitor.y + (monitor.height - 610) / 2);
  GdkWindow* gdkWindow = gtk_widget_get_window(window);
  EXPECT_EQ(gdk_window_get_width(gdkWindow), 858);
  EXPECT_EQ(gdk_window_get_height(gdkWindow), 610);
  // The page fills it: 858 CSS pixels wide at zoom 1.
  EXPECT_EQ(Js("[window.innerWidth, window.innerHeight]"), "[858,610]");
}

// The shipped page starts up through the bridge and asks to be shown.
TEST_F(WindowTest, TheRealPageCallsWindowIsReadyThroughTheBridge) {
  MainWindowParams params;
  params.startPage = kRealLayout + "/production/index.html";
  params.layoutFolder = kRealLayout;
  m_page.onWindowIsReady = [&] { m_window->Show(); };
  OpenWith(params, false);
  EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(m_window->Window())));
  ASSERT_TRUE(RunUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(m_window->Window())); }));
  EXPECT_EQ(m_page.calls.back(), "WindowIsReady");
  // It read its language and collections from the program, not its emulator.
  EXPECT_NE(std::find(m_page.calls.begin(), m_page.calls.end(), "GetLanguage"), m_page.calls.end());
  EXPECT_NE(std::find(m_page.calls.begin(), m_page.calls.end(), "GetAreaCollection"),
            m_page.calls.end());
}

TEST_F(WindowTest, TheStripMovesTheWindowAndAPressJustBelowItDoesNot) {
  Open();
  ShowAndWait();
  Rect strip;
  ASSERT_TRUE(ElementRect(View(), "strip", &strip));
  int x = 0;
  int y = 0;
  PageToScreen(View(), strip.right - 1, strip.bottom - 1, &x, &y);  // the strip's last pixel
  int before[2];
  WindowOrigin(m_window->Window(), &before[0], &before[1]);
  // The mouse moves in screen pixels, the window in GTK's (CSS pixels at
  // zoom 1): they differ by the GDK scale (see the test run at GDK_SCALE=2).
  const int scale = gtk_widget_get_scale_factor(GTK_WIDGET(View()));
  ASSERT_TRUE(DragMouse(x, y, -60 * scale, 40 * scale));
  int after[2];
  ASSERT_TRUE(RunUntil([&] {
    WindowOrigin(m_window->Window(), &after[0], &after[1]);
    return after[0] != before[0];
  }));
  RunFor(milliseconds(200));
  WindowOrigin(m_window->Window(), &after[0], &after[1]);
  EXPECT_EQ(after[0] - before[0], -60);
  EXPECT_EQ(after[1] - before[1], 40);
  EXPECT_EQ(Js("events.indexOf('mousedown')"), "-1");  // the page never saw that press

  // One CSS pixel below the strip the press is the page's.
  PageToScreen(View(), strip.left + 10, strip.bottom, &x, &y);
  ASSERT_TRUE(DragMouse(x, y, -60 * scale, 40 * scale));
  RunFor(milliseconds(300));
  int still[2];
  WindowOrigin(m_window->Window(), &still[0], &still[1]);
  EXPECT_EQ(still[0], after[0]);
  EXPECT_EQ(still[1], after[1]);
  EXPECT_NE(Js("events.indexOf('mousedown')"), "-1");
}

TEST_F(WindowTest, ContextMenuOnlyInAnInputField) {
  Open();
  ShowAndWait();
  int x = 0;
  int y = 0;
  CentreOf("text", &x, &y);
  ASSERT_TRUE(RightClick(x, y));
  ASSERT_TRUE(RunUntil([&] { return Js("events.indexOf('contextmenu') >= 0") == "true"; }));
  RunFor(milliseconds(500));
  EXPECT_FALSE(MenuShown()) << "a menu on plain text";

  CentreOf("field", &x, &y);
  ASSERT_TRUE(RightClick(x, y));
  EXPECT_TRUE(RunUntil([] { return MenuShown(); }, milliseconds(5000))) << "no menu in the field";
  Xdotool({"key", "Escape"});
}

// What the drag source of the drop test saw.
struct DragSeen {
  int begun = 0;
  int dataAsked = 0;
  int ended = 0;
};

void OnDragBegin(GtkWidget*, GdkDragContext*, gpointer seen) {
  ++static_cast<DragSeen*>(seen)->begun;
}

void OnDragDataGet(GtkWidget*, GdkDragContext*, GtkSelectionData* data, guint, guint,
                   gpointer seen) {
  ++static_cast<DragSeen*>(seen)->dataAsked;
  const gchar* list[] = {"file:///etc/hostname", nullptr};
  gtk_selection_data_set_uris(data, const_cast<gchar**>(list));
}

void OnDragEnd(GtkWidget*, GdkDragContext*, gpointer seen) {
  ++static_cast<DragSeen*>(seen)->ended;
}

TEST_F(WindowTest, NothingCanBeDroppedOntoThePage) {
  Open();
  ShowAndWait();
  // A drag source of our own beside the window, offering a file.
  GtkWidget* source = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_decorated(GTK_WINDOW(source), FALSE);
  GtkWidget* box = gtk_event_box_new();
  gtk_container_add(GTK_CONTAINER(box), gtk_label_new("drag me"));
  gtk_container_add(GTK_CONTAINER(source), box);
  gtk_widget_set_size_request(source, 120, 80);
  int windowX = 0;
  int windowY = 0;
  WindowOrigin(m_window->Window(), &windowX, &windowY);
  gtk_window_move(GTK_WINDOW(source), windowX + 858 + 20, windowY + 100);
  GtkTargetEntry uris = {const_cast<char*>("text/uri-list"), 0, 0};
  gtk_drag_source_set(
      box, GDK_BUTTON1_MASK, &uris, 1,
      static_cast<GdkDragAction>(GDK_ACTION_COPY | GDK_ACTION_MOVE | GDK_ACTION_LINK));
  DragSeen seen;
  g_signal_connect(box, "drag-begin", G_CALLBACK(&OnDragBegin), &seen);
  g_signal_connect(box, "drag-data-get", G_CALLBACK(&OnDragDataGet), &seen);
  g_signal_connect(box, "drag-end", G_CALLBACK(&OnDragEnd), &seen);
  gtk_widget_show_all(source);
  ASSERT_TRUE(RunUntil([&] { return gtk_widget_get_mapped(source); }));
  RunFor(milliseconds(300));

  int fromX = 0;
  int fromY = 0;
  gdk_window_get_origin(gtk_widget_get_window(source), &fromX, &fromY);
  fromX += 60;
  fromY += 40;
  int toX = 0;
  int toY = 0;
  CentreOf("text", &toX, &toY);
  const std::string uriBefore = webkit_web_view_get_uri(View());
  ASSERT_TRUE(DragMouse(fromX, fromY, toX - fromX, toY - fromY));
  ASSERT_TRUE(RunUntil([&] { return seen.ended > 0; }, milliseconds(5000)));
  RunFor(milliseconds(300));

  EXPECT_EQ(seen.begun, 1) << "the drag never started: the test proves nothing";
  EXPECT_EQ(seen.dataAsked, 0) << "the page asked for the dropped data";
  EXPECT_EQ(Js("[events.indexOf('dragenter'), events.indexOf('drop')]"), "[-1,-1]");
  EXPECT_EQ(webkit_web_view_get_uri(View()), uriBefore);
  EXPECT_EQ(Js("window.pageReady"), "true");  // the same document
  gtk_widget_destroy(source);
}

TEST_F(WindowTest, NoNavigationAwayFromTheLayoutAndNoNewWindows) {
  Open();
  ShowAndWait();
  const std::string start = webkit_web_view_get_uri(View());
  for (const char* away : {"file:///etc/hostname", "https://www.norvanelab.com/free/",
                           "data:text/html,<p>elsewhere</p>", "other.html/../../../index.html"}) {
    Js(std::string("location.href = '") + away + "'; 1");
    RunFor(milliseconds(400));
    EXPECT_EQ(webkit_web_view_get_uri(View()), start) << away;
    EXPECT_EQ(Js("window.pageReady"), "true") << away;
  }

  // A link with a target opens no window, whether followed by script or by
  // the user's own click.
  const guint toplevelsBefore = g_list_length(gtk_window_list_toplevels());
  EXPECT_EQ(Js("window.open('other.html') === null"), "true");
  int x = 0;
  int y = 0;
  CentreOf("popup", &x, &y);
  ASSERT_TRUE(Xdotool({"mousemove", std::to_string(x), std::to_string(y), "click", "1"}));
  RunFor(milliseconds(500));
  GList* toplevels = gtk_window_list_toplevels();
  EXPECT_EQ(g_list_length(toplevels), toplevelsBefore);
  g_list_free(toplevels);
  EXPECT_EQ(webkit_web_view_get_uri(View()), start);

  // Inside the layout the page may go where it likes.
  CentreOf("inside", &x, &y);
  ASSERT_TRUE(Xdotool({"mousemove", std::to_string(x), std::to_string(y), "click", "1"}));
  ASSERT_TRUE(RunUntil([&] {
    return std::string(webkit_web_view_get_uri(View())).find("/other.html") != std::string::npos;
  }));
}

TEST_F(WindowTest, NotificationsMadeBeforeLoadArriveAfterItInOrder) {
  Open(5000, false);
  ASSERT_TRUE(m_window->Notify("ClientAPI", "GoToPage", 3));
  ASSERT_TRUE(m_window->Notify("NoSuchAPI", "Anything"));  // lost without harm
  static const char kText[] = "it's \"q\"\\\n\0!";
  ASSERT_TRUE(m_window->Notify("ClientAPI", "ChangedAttr", std::string(kText, sizeof(kText) - 1)));
  ASSERT_TRUE(m_window->Notify("AreaAPI", "CollectionChanged"));
  ASSERT_TRUE(m_window->Notify("ProductAPI", "CollectionChanged"));
  ASSERT_TRUE(WaitForPage(View()));
  const std::string expected =
      R"(["GoToPage number 3","ChangedAttr string it's \"q\"\\\n\u0000!","AreaAPI 0","ProductAPI 0"])";
  ASSERT_TRUE(RunUntil([&] { return Js("notes") == expected; })) << Js("notes");
  // Once loaded, notifications go straight in.
  ASSERT_TRUE(m_window->Notify("ClientAPI", "GoToPage", 4));
  EXPECT_TRUE(RunUntil([&] { return Js("notes.length") == "5"; }));
  EXPECT_EQ(Js("notes[4]"), "\"GoToPage number 4\"");
}

TEST_F(WindowTest, AKilledWebProcessBringsThePageBackAndTellsTheOwner) {
  Open();
  ASSERT_EQ(Js("window.external.GetLanguage()"), "\"en\"");
  // The owner gives the new page its state back as soon as it hears.
  m_events.onRestart = [&] { m_window->Notify("ClientAPI", "GoToPage", 3); };
  const std::vector<int> webProcesses = ChildProcesses("WebKitWebProcess");
  ASSERT_EQ(webProcesses.size(), 1u);
  ASSERT_EQ(kill(webProcesses[0], SIGKILL), 0);
  ASSERT_TRUE(RunUntil([&] { return m_events.restarts == 1; }));
  ASSERT_TRUE(WaitForPage(View()));
  ASSERT_TRUE(RunUntil([&] { return Js("notes.join()") == "\"GoToPage number 3\""; }))
      << Js("notes");
  EXPECT_EQ(Js("window.external.GetLanguage()"), "\"en\"");
  EXPECT_EQ(m_window->BridgeConnections(), 2u);
  EXPECT_EQ(m_events.sessionEndings, 0);
}

TEST_F(WindowTest, TheSessionsEndClosesTheWindowAndSaysSo) {
  for (const int signal : {SIGTERM, SIGHUP}) {
    Open();
    ShowAndWait();
    m_events = RecordingEvents();
    bool timedOut = false;
    const guint guard = g_timeout_add(
        10000,
        [](gpointer flag) -> gboolean {
          *static_cast<bool*>(flag) = true;
          return G_SOURCE_REMOVE;
        },
        &timedOut);
    raise(signal);
    m_window->Run();  // returns once the window has closed
    if (!timedOut) g_source_remove(guard);
    EXPECT_FALSE(timedOut) << strsignal(signal);
    EXPECT_TRUE(m_window->IsClosed());
    EXPECT_EQ(m_events.sessionEndings, 1) << strsignal(signal);
    EXPECT_FALSE(m_window->Notify("ClientAPI", "GoToPage", 1));
    m_window.reset();
  }
  // The user's own Close from the page is not the session's end.
  m_events = RecordingEvents();
  Open();
  m_page.onCall = [&](const std::string& name) {
    if (name == "Close") m_window->Close();
  };
  webkit_web_view_evaluate_javascript(View(), "window.external.Close()", -1, nullptr, nullptr,
                                      nullptr, nullptr, nullptr);
  m_window->Run();
  EXPECT_EQ(m_page.calls, std::vector<std::string>{"Close"});
  EXPECT_TRUE(m_window->IsClosed());
  EXPECT_EQ(m_events.sessionEndings, 0);
}

TEST_F(WindowTest, DeveloperToolsOnlyWhenTheInspectorIsAskedFor) {
  Open();
  EXPECT_FALSE(webkit_settings_get_enable_developer_extras(webkit_web_view_get_settings(View())));
  m_window.reset();
  setenv("WEBKIT_INSPECTOR_HTTP_SERVER", "127.0.0.1:0", 1);
  Open();
  unsetenv("WEBKIT_INSPECTOR_HTTP_SERVER");
  EXPECT_TRUE(webkit_settings_get_enable_developer_extras(webkit_web_view_get_settings(View())));
}

}  // namespace
}  // namespace atl_web_core

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!::testing::GTEST_FLAG(list_tests) && !window_driver::InitProcess(&argc, &argv)) {
    std::fprintf(stderr, "no display: run under xvfb-run -a\n");
    return 1;
  }
  const int result = RUN_ALL_TESTS();
  window_driver::EndProcess();
  return result;
}
