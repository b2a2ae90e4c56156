// Start to page painted: the time from the exec of the installer program to
// the first frame on the screen that shows its page, and how much of that
// time is the program's own code on the user-interface thread.
//
//   start_to_paint_bench [ROUNDS]     (default 5; needs an X display and the
//                                      demo server's NORVANE_* settings)
//
// Each round starts this program again as the installer program (the same
// entry as norvane-installer) and times it:
//   - the frame: a thread with an X connection of its own reads the
//     window's area of the screen every few milliseconds from the moment the
//     window is mapped; the first frame showing the page is the first read
//     that equals the settled page (read 1.5 s later), timed at the end of
//     that read;
//   - our own code: main() to the hand-over to WebKit (GTK's own start-up
//     left out: it runs first and is timed alone), the start-up after the
//     window exists (catalogue, QR code, installer, until the main loop
//     runs), and every page call answered until WindowIsReady (timed around
//     the script object, through the entry's page hook). The window's
//     creation (the WebKit context and view, our bridge socket) is shown
//     apart, as WebKit's.
// Prints each round and the medians; never fails.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/linux_entry.h"

extern char** environ;

namespace {

using bright_setup::IJsMethods;

// Wall-clock nanoseconds: comparable across the exec.
std::int64_t NowNs() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

double Ms(std::int64_t ns) { return static_cast<double>(ns) / 1e6; }

// Times every page call until WindowIsReady has been answered.
class TimedPage final : public IJsMethods {
  // First, so that its result type is known where the methods use it.
  template <typename Call>
  auto Timed(Call call) {
    const std::int64_t start = NowNs();
    struct Account {
      TimedPage* self;
      std::int64_t start;
      ~Account() {
        if (self->readyNs != 0) return;  // only the start-up is counted
        self->handlerNs += NowNs() - start;
        ++self->calls;
      }
    } account{this, start};
    return call();
  }

 public:
  explicit TimedPage(IJsMethods& target) : m_target(target) {}

  std::int64_t handlerNs = 0;
  int calls = 0;
  std::int64_t readyNs = 0;  // when WindowIsReady was answered

  bool Close() override {
    return Timed([&] { return m_target.Close(); });
  }
  bool Minimize() override {
    return Timed([&] { return m_target.Minimize(); });
  }
  int IsCppConnected() override {
    return Timed([&] { return m_target.IsCppConnected(); });
  }
  int GetInstallPercents() override {
    return Timed([&] { return m_target.GetInstallPercents(); });
  }
  std::string GetLanguage() override {
    return Timed([&] { return m_target.GetLanguage(); });
  }
  std::string GetAreaCollection() override {
    return Timed([&] { return m_target.GetAreaCollection(); });
  }
  std::string GetProductCollection() override {
    return Timed([&] { return m_target.GetProductCollection(); });
  }
  void CheckAreaById(const std::string& a) override {
    Timed([&] { m_target.CheckAreaById(a); });
  }
  void UncheckAreaById(const std::string& a) override {
    Timed([&] { m_target.UncheckAreaById(a); });
  }
  void CheckProductById(const std::string& a) override {
    Timed([&] { m_target.CheckProductById(a); });
  }
  void UncheckProductById(const std::string& a) override {
    Timed([&] { m_target.UncheckProductById(a); });
  }
  void OpenUrl(const std::string& a) override {
    Timed([&] { m_target.OpenUrl(a); });
  }
  std::string GetAttr(const std::string& a) override {
    return Timed([&] { return m_target.GetAttr(a); });
  }
  void StartInstall() override {
    Timed([&] { m_target.StartInstall(); });
  }
  void StopInstall() override {
    Timed([&] { m_target.StopInstall(); });
  }
  void WindowIsReady() override {
    Timed([&] { m_target.WindowIsReady(); });
    if (readyNs == 0) readyNs = NowNs();
  }
  void SendOtherDevice(const std::string& a) override {
    Timed([&] { m_target.SendOtherDevice(a); });
  }
  void Share(const std::string& a) override {
    Timed([&] { m_target.Share(a); });
  }
  void SendShareMessage(const std::string& a, const std::string& b) override {
    Timed([&] { m_target.SendShareMessage(a, b); });
  }
  void ReportIEVersion(const std::string& a) override {
    Timed([&] { m_target.ReportIEVersion(a); });
  }
  void UserClick(const std::string& a) override {
    Timed([&] { m_target.UserClick(a); });
  }
  void RetryInstall() override {
    Timed([&] { m_target.RetryInstall(); });
  }

  IJsMethods& m_target;
};

// Reads a rectangle of the screen over an X connection of its own, keeping
// each read that differs from the one before.
class ScreenWatcher {
 public:
  struct Frame {
    std::int64_t readNs = 0;  // when the read had ended
    std::vector<std::uint32_t> pixels;
  };

  ~ScreenWatcher() { Stop(); }

  bool Start(int x, int y, int width, int height) {
    m_display = XOpenDisplay(nullptr);
    if (m_display == nullptr) return false;
    m_thread = std::thread([=, this] { Watch(x, y, width, height); });
    return true;
  }

  std::vector<Frame> Stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    if (m_display != nullptr) XCloseDisplay(m_display);
    m_display = nullptr;
    return std::move(m_frames);
  }

 private:
  void Watch(int x, int y, int width, int height) {
    const Window root = DefaultRootWindow(m_display);
    while (!m_stop) {
      XImage* image = XGetImage(m_display, root, x, y, static_cast<unsigned>(width),
                                static_cast<unsigned>(height), AllPlanes, ZPixmap);
      const std::int64_t readNs = NowNs();
      if (image != nullptr) {
        Frame frame;
        frame.readNs = readNs;
        frame.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        for (int row = 0; row < height; ++row) {
          std::uint32_t* line = frame.pixels.data() + static_cast<std::size_t>(row) * width;
          if (image->bits_per_pixel == 32) {
            std::memcpy(line,
                        image->data + static_cast<std::ptrdiff_t>(row) * image->bytes_per_line,
                        static_cast<std::size_t>(width) * sizeof(std::uint32_t));
          } else {
            for (int column = 0; column < width; ++column)
              line[column] = static_cast<std::uint32_t>(XGetPixel(image, column, row));
          }
        }
        XDestroyImage(image);
        if (m_frames.empty() || m_frames.back().pixels != frame.pixels)
          m_frames.push_back(std::move(frame));
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  Display* m_display = nullptr;
  std::thread m_thread;
  std::atomic<bool> m_stop{false};
  std::vector<Frame> m_frames;  // the watching thread's until Stop
};

struct Round {
  std::int64_t execNs = 0;
  std::int64_t mainNs = 0;
  std::int64_t gtkReadyNs = 0;
  std::int64_t beforeWindowNs = 0;
  std::int64_t windowNs = 0;
  std::int64_t loopNs = 0;
  std::int64_t mappedNs = 0;
  std::unique_ptr<TimedPage> page;
  atl_web_core::MainWindow* window = nullptr;
  ScreenWatcher watcher;
  bool watching = false;
};

Round g_round;

// The share of pixels two frames have in common.
double Likeness(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  std::size_t same = 0;
  for (std::size_t i = 0; i < a.size(); ++i) same += a[i] == b[i] ? 1 : 0;
  return static_cast<double>(same) / static_cast<double>(a.size());
}

gboolean OnMapped(GtkWidget* widget, GdkEvent*, gpointer) {
  if (g_round.mappedNs != 0) return FALSE;
  g_round.mappedNs = NowNs();
  int x = 0;
  int y = 0;
  gdk_window_get_origin(gtk_widget_get_window(widget), &x, &y);
  const int scale = gtk_widget_get_scale_factor(widget);
  g_round.watching =
      g_round.watcher.Start(x * scale, y * scale, gtk_widget_get_allocated_width(widget) * scale,
                            gtk_widget_get_allocated_height(widget) * scale);
  // Read on until the page has long settled, then end the program.
  g_timeout_add(
      1500,
      [](gpointer) -> gboolean {
        g_round.window->Close();
        return G_SOURCE_REMOVE;
      },
      nullptr);
  return FALSE;
}

// One round, in the process started for it: prints one line of figures.
int RunRound(std::int64_t execNs, char* program) {
  g_round.execNs = execNs;
  g_round.mainNs = NowNs();
  int argc = 1;
  char* args[] = {program, nullptr};
  char** argv = args;
  if (!gtk_init_check(&argc, &argv)) {
    std::printf("no display\n");
    return 1;
  }
  g_round.gtkReadyNs = NowNs();

  bright_setup::EntryHooks hooks;
  hooks.pageMethods = [](IJsMethods& page) -> IJsMethods& {
    g_round.beforeWindowNs = NowNs();
    g_round.page = std::make_unique<TimedPage>(page);
    return *g_round.page;
  };
  hooks.windowCreated = [](bright_setup::InstallerApp&, atl_web_core::MainWindow& window) {
    g_round.windowNs = NowNs();
    g_round.window = &window;
    g_signal_connect(window.Window(), "map-event", G_CALLBACK(&OnMapped), nullptr);
    g_idle_add(
        [](gpointer) -> gboolean {
          g_round.loopNs = NowNs();
          return G_SOURCE_REMOVE;
        },
        nullptr);
  };
  const int status = bright_setup::RunProgram(argc, argv, hooks);
  const std::vector<ScreenWatcher::Frame> frames = g_round.watcher.Stop();
  if (status != 0 || g_round.page == nullptr || g_round.page->readyNs == 0 || frames.empty()) {
    std::printf("round failed (status %d, %zu frames)\n", status, frames.size());
    return 1;
  }
  std::int64_t paintedNs = 0;
  for (const ScreenWatcher::Frame& frame : frames) {
    if (Likeness(frame.pixels, frames.back().pixels) >= 0.999) {
      paintedNs = frame.readNs;
      break;
    }
  }
  const Round& r = g_round;
  const std::int64_t ownBefore = r.beforeWindowNs - r.gtkReadyNs;
  const std::int64_t ownAfter = r.loopNs - r.windowNs;
  const std::int64_t own = ownBefore + ownAfter + r.page->handlerNs;
  std::printf(
      "painted=%.1f own=%.1f exec_to_main=%.1f gtk_init=%.1f own_before_window=%.1f "
      "window_creation=%.1f own_after_window=%.1f handlers=%.1f calls=%d ready=%.1f "
      "mapped=%.1f frames=%zu\n",
      Ms(paintedNs - r.execNs), Ms(own), Ms(r.mainNs - r.execNs), Ms(r.gtkReadyNs - r.mainNs),
      Ms(ownBefore), Ms(r.windowNs - r.beforeWindowNs), Ms(ownAfter), Ms(r.page->handlerNs),
      r.page->calls, Ms(r.page->readyNs - r.execNs), Ms(r.mappedNs - r.execNs), frames.size());
  return 0;
}

// Runs one round in a new process; its line of figures.
std::string StartRound(const char* self) {
  int out[2];
  if (pipe(out) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  const std::string exec = std::to_string(NowNs());
  std::vector<char*> argv = {const_cast<char*>(self), const_cast<char*>("--round"),
                             const_cast<char*>(exec.c_str()), nullptr};
  pid_t pid = 0;
  const bool started = posix_spawn(&pid, self, &actions, nullptr, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  std::string text;
  char buffer[512];
  for (ssize_t n; started && (n = read(out[0], buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<std::size_t>(n));
  close(out[0]);
  if (started) waitpid(pid, nullptr, 0);
  return text;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--round") == 0)
    return RunRound(std::strtoll(argv[2], nullptr, 10), argv[0]);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::map<std::string, std::vector<double>> figures;
  for (int round = 1; round <= rounds; ++round) {
    const std::string line = StartRound("/proc/self/exe");
    std::printf("round %d: %s", round, line.empty() ? "no output\n" : line.c_str());
    if (line.rfind("painted=", 0) != 0) continue;
    std::istringstream fields(line);
    for (std::string field; fields >> field;) {
      const std::size_t eq = field.find('=');
      figures[field.substr(0, eq)].push_back(std::strtod(field.c_str() + eq + 1, nullptr));
    }
  }
  if (figures.empty()) return 0;
  std::printf(
      "start to page painted: median %.0f ms over %zu rounds (target 1500 ms)\n"
      "  our own code on the user-interface thread: median %.1f ms (target 50 ms):\n"
      "    before the window %.1f, after it until the loop runs %.1f, page calls until "
      "WindowIsReady %.1f (%.0f calls)\n"
      "  not ours: exec to main %.1f, GTK start-up %.1f, window and WebKit view creation %.1f\n"
      "  WindowIsReady answered at %.0f ms, window mapped at %.0f ms\n",
      Median(figures["painted"]), figures["painted"].size(), Median(figures["own"]),
      Median(figures["own_before_window"]), Median(figures["own_after_window"]),
      Median(figures["handlers"]), Median(figures["calls"]), Median(figures["exec_to_main"]),
      Median(figures["gtk_init"]), Median(figures["window_creation"]), Median(figures["ready"]),
      Median(figures["mapped"]));
  return 0;
}
