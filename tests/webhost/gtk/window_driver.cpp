#include "window_driver.h"

#include <dirent.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace window_driver {
namespace {

std::string g_privateRoot;

void OnEvaluated(GObject* view, GAsyncResult* result, gpointer data) {
  auto* out = static_cast<JsResult*>(data);
  GError* error = nullptr;
  JSCValue* value =
      webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, &error);
  if (value == nullptr) {
    out->error = error != nullptr ? error->message : "no value";
    if (error != nullptr) g_error_free(error);
  } else {
    char* json = jsc_value_is_undefined(value) ? nullptr : jsc_value_to_json(value, 0);
    out->json = json != nullptr ? json : "undefined";
    g_free(json);
    g_object_unref(value);
    out->ok = true;
  }
}

}  // namespace

bool InitProcess(int* argc, char*** argv) {
  char pattern[] = "/tmp/norvane-window-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return false;
  g_privateRoot = pattern;
  const std::pair<const char*, const char*> folders[] = {
      {"HOME", "/home"},
      {"XDG_CONFIG_HOME", "/config"},
      {"XDG_DATA_HOME", "/data"},
      {"XDG_CACHE_HOME", "/cache"},
      {"XDG_RUNTIME_DIR", "/runtime"},
  };
  for (const auto& [variable, folder] : folders) {
    const std::string path = g_privateRoot + folder;
    std::filesystem::create_directories(path);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    setenv(variable, path.c_str(), 1);
  }
  setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 0);
  setenv("NO_AT_BRIDGE", "1", 0);  // no accessibility bus in tests
  unsetenv("WEBKIT_INSPECTOR_HTTP_SERVER");
  return gtk_init_check(argc, argv);
}

void EndProcess() {
  std::error_code ignored;
  if (!g_privateRoot.empty()) std::filesystem::remove_all(g_privateRoot, ignored);
}

bool RunUntil(const std::function<bool()>& done, milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    // Wakes at least every 10 ms, so that a condition outside GLib is seen.
    GSource* tick = g_timeout_source_new(10);
    g_source_set_callback(
        tick, [](gpointer) -> gboolean { return G_SOURCE_REMOVE; }, nullptr, nullptr);
    g_source_attach(tick, nullptr);
    g_main_context_iteration(nullptr, TRUE);
    g_source_destroy(tick);
    g_source_unref(tick);
  }
  return true;
}

void RunFor(milliseconds time) {
  const auto end = std::chrono::steady_clock::now() + time;
  RunUntil([&] { return std::chrono::steady_clock::now() >= end; }, time + milliseconds(1000));
}

JsResult Evaluate(WebKitWebView* view, const std::string& script, milliseconds limit) {
  struct State {
    JsResult result;
    bool done = false;
  };
  auto* state =
      new State;  // the callback may come after a time-out: leaked then, never freed twice
  webkit_web_view_evaluate_javascript(
      view, script.c_str(), static_cast<gssize>(script.size()), nullptr, nullptr, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        auto* s = static_cast<State*>(data);
        OnEvaluated(source, result, &s->result);
        s->done = true;
      },
      state);
  if (!RunUntil([&] { return state->done; }, limit)) {
    JsResult timedOut;
    timedOut.error = "no result in time";
    return timedOut;
  }
  JsResult result = state->result;
  delete state;
  return result;
}

bool WaitForPage(WebKitWebView* view, milliseconds limit) {
  return RunUntil(
      [&] {
        if (webkit_web_view_is_loading(view)) return false;
        const JsResult ready = Evaluate(view, "window.pageReady === true");
        return ready.ok && ready.json == "true";
      },
      limit);
}

bool ElementRect(WebKitWebView* view, const std::string& id, Rect* rect) {
  const JsResult r = Evaluate(view, "(function(){var b=document.getElementById('" + id +
                                        "').getBoundingClientRect();"
                                        "return [b.left,b.top,b.right,b.bottom].join(' ');})()");
  if (!r.ok) return false;
  std::istringstream in(r.json.substr(1, r.json.size() - 2));  // the JSON string's quotes
  return static_cast<bool>(in >> rect->left >> rect->top >> rect->right >> rect->bottom);
}

void PageToScreen(WebKitWebView* view, double cssX, double cssY, int* x, int* y) {
  // Logical GTK pixels are CSS pixels times the page zoom; the X screen
  // has the GDK scale on top.
  GtkWidget* widget = GTK_WIDGET(view);
  GtkWidget* top = gtk_widget_get_toplevel(widget);
  gint originX = 0;
  gint originY = 0;
  gdk_window_get_origin(gtk_widget_get_window(top), &originX, &originY);
  gint offsetX = 0;
  gint offsetY = 0;
  gtk_widget_translate_coordinates(widget, top, 0, 0, &offsetX, &offsetY);
  const double zoom = webkit_web_view_get_zoom_level(view);
  const int scale = gtk_widget_get_scale_factor(widget);
  *x = (originX + offsetX + static_cast<int>(cssX * zoom)) * scale;
  *y = (originY + offsetY + static_cast<int>(cssY * zoom)) * scale;
}

bool Xdotool(const std::vector<std::string>& args) {
  std::vector<std::string> command = {"xdotool"};
  command.insert(command.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : command) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, "xdotool", nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  bool ended = false;
  RunUntil([&] {
    ended = waitpid(pid, &status, WNOHANG) == pid;
    return ended;
  });
  if (!ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return false;
  }
  RunFor(milliseconds(100));  // let the window see the events
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool DragMouse(int x, int y, int dx, int dy) {
  bool ok =
      Xdotool({"mousemove", std::to_string(x), std::to_string(y)}) && Xdotool({"mousedown", "1"});
  constexpr int kSteps = 5;
  for (int i = 1; ok && i <= kSteps; ++i)
    ok = Xdotool(
        {"mousemove", std::to_string(x + dx * i / kSteps), std::to_string(y + dy * i / kSteps)});
  return Xdotool({"mouseup", "1"}) && ok;
}

bool RightClick(int x, int y) {
  return Xdotool({"mousemove", std::to_string(x), std::to_string(y)}) && Xdotool({"click", "3"});
}

void WindowOrigin(GtkWindow* window, int* x, int* y) {
  gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(window)), x, y);
}

bool MenuShown() {
  bool shown = false;
  GList* windows = gtk_window_list_toplevels();
  for (GList* item = windows; item != nullptr; item = item->next) {
    GtkWindow* window = GTK_WINDOW(item->data);
    if (gtk_window_get_window_type(window) != GTK_WINDOW_POPUP ||
        !gtk_widget_get_mapped(GTK_WIDGET(window)))
      continue;
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(window));
    if (child != nullptr && GTK_IS_MENU(child)) shown = true;
  }
  g_list_free(windows);
  return shown;
}

std::vector<int> ChildProcesses(const std::string& name) {
  std::vector<int> found;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return found;
  const int self = getpid();
  while (dirent* entry = readdir(proc)) {
    const int pid = atoi(entry->d_name);
    if (pid <= 0) continue;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    // pid (comm) state ppid ...: comm may hold blanks, so read after the last ')'.
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(line.substr(close + 1));
    std::string state;
    int parent = 0;
    rest >> state >> parent;
    if (parent != self) continue;
    std::ifstream cmdline("/proc/" + std::to_string(pid) + "/cmdline");
    std::string program;
    std::getline(cmdline, program, '\0');
    if (std::filesystem::path(program).filename().string().rfind(name, 0) == 0)
      found.push_back(pid);
  }
  closedir(proc);
  return found;
}

}  // namespace window_driver
