// norvane-program-driver: runs the installer program itself (the same
// entry as norvane-installer) and drives its page from inside the process,
// step by step, for the end-to-end tests and the demo's headless run.
//
//   norvane-program-driver [--steps STEP,STEP,...] [--shots FOLDER] [--hold-ready]
//                          [-- ARGS]
//
// --hold-ready holds back the page's call of WindowIsReady (the page's
// window.external is wrapped before its first script runs) until the step
// release-ready lets it through.
//
// Steps (run in order once the window exists; the first failing one ends
// the run, closes the window and makes the exit status 3):
//   shown              wait until the window is on screen
//   route:ROUTE        wait until the page shows ROUTE (data-route)
//   click:SELECTOR     click the first element matching the CSS selector
//   continue           click Choose on the welcome page, wait for the areas
//   area:ID            click the tile of area ID
//   install            click Install, wait for the installing page
//   done               wait (up to 120 s) for the last page
//   stop               click Stop
//   close[:SELECTOR]   click the last page's Close (or the element), wait
//                      until the window has closed
//   shot:NAME          save a picture of the screen as FOLDER/NAME.png
//   print:EXPRESSION   print "EXPRESSION=<value as JSON>" on stdout
//   wait:EXPRESSION    wait (up to 60 s) until EXPRESSION is true in the page
//   signal:NUMBER      raise that signal in this process
//   kill-page          kill the page's web process (SIGKILL), wait until the
//                      window has seen it go
//   loaded             wait until the page has finished loading
//   hidden             fail unless the window is neither visible nor mapped
//   release-ready      let the held WindowIsReady call through
//   drag:POINT         press the left button at POINT, drag by (-60, 40)
//                      window pixels and release; print "moved=DX DY", how far
//                      the window moved
//   right-click:POINT  right-click at POINT; once the page has seen the click,
//                      print "menu=1" when a context menu opened, else "menu=0"
//   installer-log:TEXT wait (up to 60 s) until the demo installers' log
//                      (NORVANE_DEMO_LOG) holds TEXT
//   mark               print "mark=<milliseconds of a monotonic clock>"
//   hold               do nothing more; the run goes on until it ends
// A POINT is a page expression whose value is "X Y" in CSS pixels of the
// page, for example the corner of an element read from its
// getBoundingClientRect().
// Everything the steps print goes to stdout, one line each; "driver: ok"
// once every step has passed.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/linux_entry.h"
#include "window_driver.h"

namespace {

using std::chrono::milliseconds;

struct DriverState {
  std::vector<std::string> steps;
  std::string shots;
  atl_web_core::MainWindow* window = nullptr;
  bool holdReady = false;
  int webProcessEnds = 0;
  bool failed = false;
};

// Run in the page before its own scripts when --hold-ready is given: the
// page's window.external becomes a copy whose WindowIsReady only notes the
// call; norvaneReleaseReady() makes the real one.
constexpr char kHoldReadyScript[] = R"js(
(function () {
  var real = window.external;
  var copy = {};
  Object.keys(real).forEach(function (name) {
    copy[name] = function () { return real[name].apply(real, arguments); };
  });
  copy.WindowIsReady = function () { window.norvaneReadyHeld = true; };
  window.norvaneReleaseReady = function () { real.WindowIsReady(); return true; };
  window.external = copy;
})();
)js";

DriverState g_state;

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'' || c == '\\') out += '\\';
    out += c;
  }
  return out + "'";
}

bool PageTrue(const std::string& expression) {
  const window_driver::JsResult r =
      window_driver::Evaluate(g_state.window->View(), "!!(" + expression + ")");
  return r.ok && r.json == "true";
}

bool WaitFor(const std::string& expression, milliseconds limit) {
  return window_driver::RunUntil(
      [&] { return g_state.window->View() != nullptr && PageTrue(expression); }, limit);
}

std::string RouteIs(const std::string& route) {
  return "document.getElementById('main-region') && "
         "document.getElementById('main-region').getAttribute('data-route') === " +
         Quote(route);
}

bool Click(const std::string& selector) {
  // Waits for the element: the page may still be drawing it.
  const std::string element = "document.querySelector(" + Quote(selector) + ")";
  if (!WaitFor(element + " && !" + element + ".disabled", milliseconds(20000))) return false;
  return window_driver::Evaluate(g_state.window->View(), element + ".click(); true").ok;
}

// Whether the window shows more than one colour: its blank background is
// all one.
bool WindowDrawn() {
  GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(g_state.window->Window()));
  if (window == nullptr) return false;
  GdkPixbuf* picture = gdk_pixbuf_get_from_window(window, 0, 0, gdk_window_get_width(window),
                                                  gdk_window_get_height(window));
  if (picture == nullptr) return false;
  const guchar* pixels = gdk_pixbuf_read_pixels(picture);
  const int channels = gdk_pixbuf_get_n_channels(picture);
  const int stride = gdk_pixbuf_get_rowstride(picture);
  bool drawn = false;
  for (int y = 0; y < gdk_pixbuf_get_height(picture) && !drawn; ++y) {
    for (int x = 0; x < gdk_pixbuf_get_width(picture) && !drawn; ++x) {
      drawn = std::memcmp(pixels + y * stride + x * channels, pixels, 3) != 0;
    }
  }
  g_object_unref(picture);
  return drawn;
}

bool Shot(const std::string& name) {
  // "Loaded" is not "painted": the page's first frame may come a good
  // while after the window is on screen (software rendering), and a
  // changed page takes a moment to draw.
  window_driver::RunUntil(&WindowDrawn, milliseconds(20000));
  window_driver::RunFor(milliseconds(600));
  GdkWindow* root = gdk_get_default_root_window();
  GdkPixbuf* picture = gdk_pixbuf_get_from_window(root, 0, 0, gdk_window_get_width(root),
                                                  gdk_window_get_height(root));
  if (picture == nullptr) return false;
  const std::string path = g_state.shots + "/" + name + ".png";
  const bool saved = gdk_pixbuf_save(picture, path.c_str(), "png", nullptr, nullptr) != FALSE;
  g_object_unref(picture);
  if (saved) std::printf("shot: %s\n", path.c_str());
  return saved;
}

// The point that a POINT expression names, on the screen.
bool ScreenPoint(const std::string& expression, int* x, int* y) {
  const window_driver::JsResult r = window_driver::Evaluate(g_state.window->View(), expression);
  if (!r.ok || r.json.size() < 2) return false;
  std::istringstream in(r.json.substr(1, r.json.size() - 2));  // the JSON string's quotes
  double cssX = 0;
  double cssY = 0;
  if (!(in >> cssX >> cssY)) return false;
  window_driver::PageToScreen(g_state.window->View(), cssX, cssY, x, y);
  return true;
}

bool Drag(const std::string& point) {
  int x = 0;
  int y = 0;
  if (!ScreenPoint(point, &x, &y)) return false;
  GtkWindow* window = g_state.window->Window();
  int before[2];
  window_driver::WindowOrigin(window, &before[0], &before[1]);
  // The mouse moves in screen pixels, the window in GTK's: they differ by
  // the GDK scale.
  const int scale = gtk_widget_get_scale_factor(GTK_WIDGET(window));
  if (!window_driver::DragMouse(x, y, -60 * scale, 40 * scale)) return false;
  int after[2];
  window_driver::RunUntil(
      [&] {
        window_driver::WindowOrigin(window, &after[0], &after[1]);
        return after[0] != before[0] || after[1] != before[1];
      },
      milliseconds(1000));
  window_driver::RunFor(milliseconds(200));  // the rest of the move, if any
  window_driver::WindowOrigin(window, &after[0], &after[1]);
  std::printf("moved=%d %d\n", after[0] - before[0], after[1] - before[1]);
  return true;
}

bool RightClick(const std::string& point) {
  int x = 0;
  int y = 0;
  if (!window_driver::Evaluate(g_state.window->View(),
                               "window.norvaneContextMenus = 0; document.addEventListener("
                               "'contextmenu', function () { ++window.norvaneContextMenus; }); 0")
           .ok ||
      !ScreenPoint(point, &x, &y) || !window_driver::RightClick(x, y) ||
      !WaitFor("window.norvaneContextMenus > 0", milliseconds(5000)))
    return false;
  // A menu opens, if at all, right after the page has let the click go.
  const bool shown =
      window_driver::RunUntil([] { return window_driver::MenuShown(); }, milliseconds(500));
  std::printf("menu=%d\n", shown ? 1 : 0);
  if (shown) window_driver::Xdotool({"key", "Escape"});
  return true;
}

bool KillPage() {
  const std::vector<int> pages = window_driver::ChildProcesses("WebKitWebProcess");
  if (pages.size() != 1 || kill(pages[0], SIGKILL) != 0) return false;
  const int ends = g_state.webProcessEnds;
  return window_driver::RunUntil([&] { return g_state.webProcessEnds > ends; },
                                 milliseconds(10000));
}

bool InstallerLogHas(const std::string& text) {
  const char* log = std::getenv("NORVANE_DEMO_LOG");
  if (log == nullptr) return false;
  return window_driver::RunUntil(
      [&] {
        std::ifstream in(log);
        std::stringstream content;
        content << in.rdbuf();
        return content.str().find(text) != std::string::npos;
      },
      milliseconds(60000));
}

bool RunStep(const std::string& step) {
  const std::size_t colon = step.find(':');
  const std::string name = step.substr(0, colon);
  const std::string arg = colon == std::string::npos ? std::string() : step.substr(colon + 1);
  if (name == "shown") {
    return window_driver::RunUntil(
        [] {
          return g_state.window->Window() != nullptr &&
                 gtk_widget_get_visible(GTK_WIDGET(g_state.window->Window()));
        },
        milliseconds(30000));
  }
  if (name == "route") return WaitFor(RouteIs(arg), milliseconds(30000));
  if (name == "click") return Click(arg);
  if (name == "continue")
    return Click("#continue") && WaitFor(RouteIs("install"), milliseconds(20000));
  if (name == "area") return Click(".tile-area[data-id=" + arg + "]");
  if (name == "install") {
    return Click("#install-button") &&
           WaitFor(RouteIs("simplePage/install_progress"), milliseconds(20000));
  }
  if (name == "done") return WaitFor(RouteIs("simplePage/install_done"), milliseconds(120000));
  if (name == "stop") return Click("#stop-button");
  if (name == "close") {
    // The window goes while the click is still being answered.
    Click(arg.empty() ? "#close-button" : arg);
    return window_driver::RunUntil([] { return g_state.window->IsClosed(); }, milliseconds(10000));
  }
  if (name == "shot") return Shot(arg);
  if (name == "print") {
    const window_driver::JsResult r = window_driver::Evaluate(g_state.window->View(), arg);
    std::printf("%s=%s\n", arg.c_str(), r.ok ? r.json.c_str() : ("error: " + r.error).c_str());
    return r.ok;
  }
  if (name == "wait") return WaitFor(arg, milliseconds(60000));
  if (name == "signal") {
    std::fflush(stdout);
    raise(std::atoi(arg.c_str()));
    return true;
  }
  if (name == "kill-page") return KillPage();
  if (name == "loaded") {
    return window_driver::RunUntil(
        [] {
          return !webkit_web_view_is_loading(g_state.window->View()) &&
                 PageTrue("document.readyState === 'complete'");
        },
        milliseconds(30000));
  }
  if (name == "hidden") {
    GtkWidget* window = GTK_WIDGET(g_state.window->Window());
    return !gtk_widget_get_visible(window) && !gtk_widget_get_mapped(window);
  }
  if (name == "release-ready") return PageTrue("window.norvaneReleaseReady()");
  if (name == "drag") return Drag(arg);
  if (name == "right-click") return RightClick(arg);
  if (name == "installer-log") return InstallerLogHas(arg);
  if (name == "mark") {
    std::printf("mark=%lld\n",
                static_cast<long long>(std::chrono::duration_cast<milliseconds>(
                                           std::chrono::steady_clock::now().time_since_epoch())
                                           .count()));
    return true;
  }
  if (name == "hold") return true;
  std::printf("driver: unknown step %s\n", step.c_str());
  return false;
}

gboolean Drive(gpointer) {
  for (const std::string& step : g_state.steps) {
    // The window may have closed under a step (the program ends the run).
    if ((g_state.window->IsClosed() && step != "hold") || !RunStep(step)) {
      std::printf("driver: step %s failed\n", step.c_str());
      g_state.failed = true;
      if (!g_state.window->IsClosed()) g_state.window->Close();
      std::fflush(stdout);
      return G_SOURCE_REMOVE;
    }
    std::printf("step: %s\n", step.c_str());
    std::fflush(stdout);
  }
  std::printf("driver: ok\n");
  std::fflush(stdout);
  return G_SOURCE_REMOVE;
}

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    if (!item.empty()) out.push_back(item);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> programArgs = {argv[0]};
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--steps" && i + 1 < argc) {
      g_state.steps = Split(argv[++i]);
    } else if (arg == "--hold-ready") {
      g_state.holdReady = true;
    } else if (arg == "--shots" && i + 1 < argc) {
      g_state.shots = argv[++i];
    } else if (arg == "--") {
      for (++i; i < argc; ++i) programArgs.push_back(argv[i]);
    } else {
      programArgs.push_back(argv[i]);
    }
  }
  programArgs.push_back(nullptr);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);

  bright_setup::EntryHooks hooks;
  hooks.windowCreated = [](bright_setup::InstallerApp&, atl_web_core::MainWindow& window) {
    g_state.window = &window;
    g_signal_connect(window.View(), "web-process-terminated",
                     G_CALLBACK(+[](WebKitWebView*, WebKitWebProcessTerminationReason, gpointer) {
                       ++g_state.webProcessEnds;
                     }),
                     nullptr);
    if (g_state.holdReady) {
      // The page is loading already, but its document comes later than this.
      WebKitUserScript* script =
          webkit_user_script_new(kHoldReadyScript, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                 WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
      webkit_user_content_manager_add_script(
          webkit_web_view_get_user_content_manager(window.View()), script);
      webkit_user_script_unref(script);
    }
    // Driven from the main loop once it runs.
    g_idle_add(&Drive, nullptr);
  };
  const int status =
      bright_setup::RunProgram(static_cast<int>(programArgs.size() - 1), programArgs.data(), hooks);
  return g_state.failed ? 3 : status;
}
