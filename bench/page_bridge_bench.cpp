// The page-to-program call round trip on Linux: the real window (hidden),
// the real page bridge, a stand-in for the page methods that answers at
// once. Calls are timed in the page with performance.now() around
// synchronous window.external calls, so a figure covers the page's side,
// the web-process extension, the socket both ways, the dispatch and the
// JSON conversions. The page's clock moves in 1 ms steps, so calls are
// timed in batches and each figure is the mean of one batch; median and
// p90 are taken over the batches. The reference is the floor of any
// blocking round trip between two processes here: one byte to a child
// process and the answer's size back over a socket pair, timed per round
// trip in the same run.
//
// Run under a display: scripts/bench does `xvfb-run -a`.
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fake_js_methods.h"
#include "webhost/gtk/main_window.h"
#include "window_driver.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWarmUp = 300;
constexpr int kBatches = 100;
constexpr int kPerBatch = 500;
constexpr int kBigPerBatch = 20;  // 64 KiB answers: fewer per batch

struct Figures {
  double median = 0;
  double p90 = 0;
};

Figures Summarise(std::vector<double> microseconds) {
  std::sort(microseconds.begin(), microseconds.end());
  const auto at = [&](double q) {
    return microseconds[static_cast<std::size_t>(q * static_cast<double>(microseconds.size() - 1))];
  };
  return {at(0.5), at(0.9)};
}

// Times `batches` batches of `perBatch` calls of `call` in the page; gives
// the mean time of one call in each batch, in microseconds.
// performance.now() moves in steps of a millisecond in WebKitGTK, too
// coarse for one call, so each figure is a batch's mean.
std::vector<double> TimeInPage(WebKitWebView* view, const std::string& call, int batches,
                               int perBatch) {
  const std::string script =
      "(function(){var e=window.external,t=new Array(" + std::to_string(batches) +
      ");for(var b=0;b<t.length;b++){var a=performance.now();for(var i=0;i<" +
      std::to_string(perBatch) + ";i++){" + call + ";}t[b]=(performance.now()-a)*1000/" +
      std::to_string(perBatch) + ";}return t.join(' ');})()";
  const window_driver::JsResult result =
      window_driver::Evaluate(view, script, std::chrono::milliseconds(300000));
  std::vector<double> times;
  if (!result.ok) {
    std::fprintf(stderr, "page_bridge_bench: %s\n", result.error.c_str());
    return times;
  }
  std::istringstream in(result.json.substr(1, result.json.size() - 2));
  for (double t = 0; in >> t;) times.push_back(t);
  return times;
}

// The reference: one byte to a child process, and `answer` bytes back,
// over a socket pair; each round trip timed in this process.
std::vector<double> SocketPairRoundTrips(int count, std::size_t answer) {
  int ends[2];
  std::vector<double> times;
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return times;
  const pid_t child = fork();
  if (child == 0) {
    close(ends[0]);
    const std::string reply(answer, 'a');
    char c = 0;
    while (read(ends[1], &c, 1) == 1 &&
           write(ends[1], reply.data(), reply.size()) == static_cast<ssize_t>(reply.size())) {
    }
    _exit(0);
  }
  close(ends[1]);
  std::string buffer(answer, '\0');
  for (int i = 0; i < kWarmUp + count; ++i) {
    const auto start = Clock::now();
    const char c = 'x';
    if (write(ends[0], &c, 1) != 1) break;
    std::size_t got = 0;
    while (got < answer) {
      const ssize_t n = read(ends[0], buffer.data() + got, answer - got);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    if (got < answer) break;
    if (i >= kWarmUp)
      times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  close(ends[0]);
  waitpid(child, nullptr, 0);
  return times;
}

// The smallest step performance.now() shows in the page, in microseconds.
double PageTimerStep(WebKitWebView* view) {
  const window_driver::JsResult r = window_driver::Evaluate(
      view,
      "(function(){var s=Infinity,p=performance.now();for(var i=0;i<200000;i++){"
      "var n=performance.now();if(n>p){s=Math.min(s,n-p);p=n;}}return s*1000;})()");
  return r.ok ? std::stod(r.json) : -1;
}

void Print(const char* what, const std::vector<double>& times, double reference) {
  if (times.empty()) {
    std::printf("%-44s no figures\n", what);
    return;
  }
  const Figures f = Summarise(times);
  std::printf("%-44s median %7.1f us   p90 %7.1f us   (%zu figures", what, f.median, f.p90,
              times.size());
  if (reference > 0) std::printf(", %.1fx the socket pair", f.median / reference);
  std::printf(")\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (!window_driver::InitProcess(&argc, &argv)) {
    std::fprintf(stderr, "page_bridge_bench: no display (run it under xvfb-run -a)\n");
    return 1;
  }
  bright_setup::FakeJsMethods page;
  page.attributes["big"] = std::string(64 * 1024, 'a');
  atl_web_core::MainWindowParams params;
  params.startPage = std::string(NORVANE_TEST_LAYOUT) + "/index.html";
  params.layoutFolder = NORVANE_TEST_LAYOUT;
  std::string error;
  auto window = atl_web_core::MainWindow::Create(params, page, nullptr, &error);
  if (!window || !window_driver::WaitForPage(window->View())) {
    std::fprintf(stderr, "page_bridge_bench: no window: %s\n", error.c_str());
    window_driver::EndProcess();
    return 1;
  }
  WebKitWebView* view = window->View();
  TimeInPage(view, "e.GetInstallPercents()", 1, kWarmUp);

  const std::vector<double> reference = SocketPairRoundTrips(kBatches * kPerBatch, 1);
  const std::vector<double> bigReference = SocketPairRoundTrips(kBatches * kBigPerBatch, 64 * 1024);
  const double referenceMedian = reference.empty() ? 0 : Summarise(reference).median;
  const double bigReferenceMedian = bigReference.empty() ? 0 : Summarise(bigReference).median;
  std::ifstream loadFile("/proc/loadavg");
  std::string load;
  std::getline(loadFile, load);
  std::printf("Page-to-program call round trip (target: median under 150 us)\n");
  std::printf("load average at start: %s\n", load.c_str());
  std::printf("performance.now() step in the page: %.1f us\n", PageTimerStep(view));
  std::printf(
      "(calls timed in %d batches of %d, %d for 64 KiB; figures are batch means;\n"
      " ratios against the socket pair with the same answer size)\n",
      kBatches, kPerBatch, kBigPerBatch);
  Print("socket pair: 1 byte to a child and back", reference, 0);
  Print("socket pair: 1 byte, 64 KiB back", bigReference, 0);
  Print("GetInstallPercents() -> int",
        TimeInPage(view, "e.GetInstallPercents()", kBatches, kPerBatch), referenceMedian);
  Print("CheckAreaById('Device') -> nothing",
        TimeInPage(view, "e.CheckAreaById('Device')", kBatches, kPerBatch), referenceMedian);
  Print("GetAttr('big') -> 64 KiB string",
        TimeInPage(view, "e.GetAttr('big')", kBatches, kBigPerBatch), bigReferenceMedian);
  window.reset();
  window_driver::EndProcess();
  return 0;
}
