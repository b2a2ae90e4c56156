// norvane-demo-installer: what the demo server hands out as the installer
// of every product. The installer program starts a download as it is, with
// no arguments, so this program learns its product from its own file name
// (the program saves a download as "NorvaneInstaller_" + the URL's last
// segment). It takes a few seconds, in a small window of its own when there
// is a display, writes a line to the demo's log, and registers the
// product's uninstall key, so that the next run skips the product.
//
// Environment:
//   NORVANE_DEMO_INSTALL_MS  how long it takes, in milliseconds (default 3000)
//   NORVANE_DEMO_LOG         a file to which its lines are appended too
//
// Exit status: 0 installed, 1 cancelled (its window closed) or the key
// could not be written, 2 started under a name that is no product's.
#include <gtk/gtk.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "demo/demo_products.h"
#include "support/paths.h"
#include "support/program_path.h"
#include "support/registry.h"

namespace {

constexpr long kDefaultInstallMs = 3000;
constexpr long kLongestInstallMs = 10 * 60 * 1000;

long InstallMilliseconds() {
  const char* text = std::getenv("NORVANE_DEMO_INSTALL_MS");
  if (text == nullptr || *text == '\0') return kDefaultInstallMs;
  char* end = nullptr;
  const long ms = std::strtol(text, &end, 10);
  if (*end != '\0' || ms < 0 || ms > kLongestInstallMs) return kDefaultInstallMs;
  return ms;
}

// "HH:MM:SS <product>: <what>" on the standard output and in the demo's log.
void Log(const norvane_demo::DemoProduct& product, const std::string& what) {
  char time[16] = "";
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) != nullptr) std::strftime(time, sizeof time, "%H:%M:%S", &local);
  const std::string line = std::string(time) + " " + std::string(product.name) + ": " + what;
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
  const char* log = std::getenv("NORVANE_DEMO_LOG");
  if (log != nullptr && *log != '\0') {
    std::ofstream file(log, std::ios::app | std::ios::binary);
    file << line << "\n";
    if (!file) std::fprintf(stderr, "norvane-demo-installer: cannot append to %s\n", log);
  }
}

// The window's state, on the GTK main thread.
struct ProgressWindow {
  GtkWidget* window = nullptr;
  GtkProgressBar* bar = nullptr;
  std::chrono::steady_clock::time_point start;
  long ms = 0;
  bool finished = false;
};

gboolean OnTick(gpointer data) {
  auto* progress = static_cast<ProgressWindow*>(data);
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - progress->start)
                           .count();
  const double fraction =
      progress->ms == 0 ? 1.0 : static_cast<double>(elapsed) / static_cast<double>(progress->ms);
  gtk_progress_bar_set_fraction(progress->bar, fraction < 1.0 ? fraction : 1.0);
  if (fraction < 1.0) return G_SOURCE_CONTINUE;
  progress->finished = true;
  gtk_widget_destroy(progress->window);
  return G_SOURCE_REMOVE;
}

// Shows a small window with a progress bar for ms milliseconds. False when
// the user closed it first.
bool RunWindow(const norvane_demo::DemoProduct& product, long ms) {
  ProgressWindow progress;
  progress.ms = ms;
  const std::string name(product.name);
  progress.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(progress.window), (name + " Setup").c_str());
  gtk_window_set_default_size(GTK_WINDOW(progress.window), 380, -1);
  gtk_window_set_resizable(GTK_WINDOW(progress.window), FALSE);
  gtk_window_set_position(GTK_WINDOW(progress.window), GTK_WIN_POS_CENTER);
  gtk_container_set_border_width(GTK_CONTAINER(progress.window), 16);
  // A title bar of its own, so that the window reads as a window of its
  // own over the installer's page even where no window manager draws one
  // (the demo's run under Xvfb).
  GtkWidget* header = gtk_header_bar_new();
  gtk_header_bar_set_title(GTK_HEADER_BAR(header), (name + " Setup").c_str());
  gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(header), TRUE);
  gtk_window_set_titlebar(GTK_WINDOW(progress.window), header);

  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 10);
  GtkWidget* title = gtk_label_new(("Installing " + name + "\u2026").c_str());
  gtk_widget_set_halign(title, GTK_ALIGN_START);
  GtkWidget* bar = gtk_progress_bar_new();
  GtkWidget* note =
      gtk_label_new("A demo installer: it installs nothing but the product's uninstall key.");
  gtk_widget_set_halign(note, GTK_ALIGN_START);
  gtk_box_pack_start(GTK_BOX(box), title, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), bar, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), note, FALSE, FALSE, 0);
  gtk_container_add(GTK_CONTAINER(progress.window), box);
  progress.bar = GTK_PROGRESS_BAR(bar);

  g_signal_connect(progress.window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  progress.start = std::chrono::steady_clock::now();
  const guint tick = g_timeout_add(50, OnTick, &progress);
  gtk_widget_show_all(progress.window);
  gtk_main();
  if (!progress.finished) g_source_remove(tick);
  return progress.finished;
}

bool RegisterUninstallKey(const norvane_demo::DemoProduct& product) {
  QuickKit::RegistryKey key;
  return SUCCEEDED(QuickKit::RegistryKey::Create(QuickKit::RegistryHive::CurrentUser,
                                                 norvane_demo::UninstallKeyPath(product), &key)) &&
         SUCCEEDED(key.SetString("DisplayName", std::string(product.name) + " (demo)")) &&
         SUCCEEDED(key.SetString("DisplayVersion", "1.0.0")) &&
         SUCCEEDED(key.SetString("Publisher", "NorvaneLab"));
}

}  // namespace

// Only the sanitizer build (linux-asan) calls this. The desktop libraries
// keep caches for the life of the process and never free them (fontconfig,
// the D-Bus connection); without these suppressions LeakSanitizer would end
// every windowed run with a report about them.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}
extern "C" const char* __asan_default_options();
extern "C" const char* __asan_default_options() { return "print_suppressions=0"; }

int main(int argc, char** argv) {
  const std::string name =
      QuickKit::PathToUtf8(QuickKit::PathFromUtf8(QuickKit::GetProgramPath()).filename());
  const norvane_demo::DemoProduct* product = norvane_demo::DemoProductForSavedName(name);
  if (product == nullptr) {
    std::fprintf(stderr,
                 "norvane-demo-installer: started as \"%s\", which is no product's download;\n"
                 "the installer program runs it as NorvaneInstaller_<file of the product's "
                 "URL>\n",
                 name.c_str());
    return 2;
  }

  const long ms = InstallMilliseconds();
#ifdef __SANITIZE_ADDRESS__
  // The accessibility bridge keeps two strings for good, and the sanitizer's
  // quick stack walk cannot tell them from a leak of ours.
  setenv("NO_AT_BRIDGE", "1", 0);
#endif
  const bool display = gtk_init_check(&argc, &argv);
  Log(*product, display ? "installing, in its window" : "installing (no display)");
  if (display) {
    if (!RunWindow(*product, ms)) {
      Log(*product, "cancelled: its window was closed");
      return 1;
    }
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
  if (!RegisterUninstallKey(*product)) {
    Log(*product, "failed: cannot write its uninstall key");
    return 1;
  }
  Log(*product, "installed; uninstall key HKCU\\" + norvane_demo::UninstallKeyPath(*product));
  return 0;
}
