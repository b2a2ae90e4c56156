// norvane-program-driver: runs the installer program itself (the same
// entry as norvane-installer) and drives its page from inside the process,
// step by step, for the end-to-end tests and the demo's headless run.
//
//   norvane-program-driver [--steps STEP,STEP,...] [--shots FOLDER] [-- ARGS]
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
//   close              click the last page's Close
//   shot:NAME          save a picture of the screen as FOLDER/NAME.png
//   print:EXPRESSION   print "EXPRESSION=<value as JSON>" on stdout
//   wait:EXPRESSION    wait (up to 60 s) until EXPRESSION is true in the page
//   signal:NUMBER      raise that signal in this process
//   kill-page          kill the page's web process
//   hold               do nothing more; the run goes on until it ends
// Everything the steps print goes to stdout, one line each; "driver: ok"
// once every step has passed.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <cstdlib>
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
  bool failed = false;
};

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

bool Shot(const std::string& name) {
  // "Loaded" is not "painted": give the page a moment to draw.
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
    Click("#close-button");
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
  if (name == "kill-page") {
    webkit_web_view_terminate_web_process(g_state.window->View());
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
    // Driven from the main loop once it runs.
    g_idle_add(&Drive, nullptr);
  };
  const int status =
      bright_setup::RunProgram(static_cast<int>(programArgs.size() - 1), programArgs.data(), hooks);
  return g_state.failed ? 3 : status;
}
