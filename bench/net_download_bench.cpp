// Download throughput: InternetStream + CopyStream into a file, against the
// curl command-line tool, from the same in-process loopback server in the
// same run, alternating. Prints both throughputs, the ratio ours/curl (of
// the medians) and the peak RSS growth of this process over the downloads.
// A measurement, not a test: it never fails the build.
//
//   net_download_bench [MiB per download, default 256] [rounds, default 5]
#include <fcntl.h>
#include <httplib.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "net/buffered_stream.h"
#include "net/internet.h"
#include "net/seq_stream.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

long PeakRssKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Seconds for our download into path; negative on failure.
double OursOnce(const std::string& url, const std::string& path, std::uint64_t expected) {
  const auto start = Clock::now();
  QuickKit::InternetSession session(false);
  if (FAILED(session.Open())) return -1;
  QuickKit::InternetStream stream;
  if (FAILED(stream.OpenUrlStream(&session, url, nullptr))) return -1;
  QuickKit::StreamStat stat;
  stream.Stat(&stat, QuickKit::STATFLAG_NONAME);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  QuickKit::WinFileAsSeqStream file(fd);
  QuickKit::BufferedSeqStream buffered(&file);
  HRESULT hr =
      QuickKit::CopyStream(&stream, nullptr, &buffered, static_cast<std::uint32_t>(stat.size));
  if (SUCCEEDED(hr)) hr = buffered.Flush();
  ::close(fd);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (FAILED(hr) || std::filesystem::file_size(path) != expected) return -1;
  return seconds;
}

double CurlOnce(const std::string& url, const std::string& path, std::uint64_t expected) {
  const auto start = Clock::now();
  std::vector<std::string> args = {"curl", "-s", "-f", "-o", path, url};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  if (std::filesystem::file_size(path) != expected) return -1;
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  const std::uint64_t size = mib << 20;

  // The body is made on the fly from one 64 KiB block, so the server holds
  // no copy of the file.
  static std::string block(64 * 1024, '\0');
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + 7);
  httplib::Server server;
  server.Get("/big", [size](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(size, "application/octet-stream",
                             [](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                               const std::size_t at = offset % block.size();
                               const std::size_t n = std::min(length, block.size() - at);
                               return sink.write(block.data() + at, n);
                             });
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  if (port <= 0) {
    std::fprintf(stderr, "cannot listen on loopback\n");
    return 1;
  }
  std::thread serving([&server] { server.listen_after_bind(); });
  while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));

  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/big";
  const auto folder =
      std::filesystem::temp_directory_path() / ("norvane-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string ourFile = (folder / "ours.bin").string();
  const std::string curlFile = (folder / "curl.bin").string();

  const long rssBefore = PeakRssKiB();
  std::vector<double> ours, curl;
  bool failed = false;
  for (int round = 0; round < rounds && !failed; ++round) {
    const double a = OursOnce(url, ourFile, size);
    std::filesystem::remove(ourFile);
    const double b = CurlOnce(url, curlFile, size);
    std::filesystem::remove(curlFile);
    if (a < 0 || b < 0) {
      std::fprintf(stderr, "round %d: download failed (ours %s, curl %s)\n", round + 1,
                   a < 0 ? "failed" : "ok", b < 0 ? "failed" : "ok");
      failed = true;
      break;
    }
    ours.push_back(static_cast<double>(mib) / a);
    curl.push_back(static_cast<double>(mib) / b);
    std::printf("round %d: ours %8.1f MiB/s   curl %8.1f MiB/s\n", round + 1, ours.back(),
                curl.back());
  }
  const long rssAfter = PeakRssKiB();
  server.stop();
  serving.join();
  std::filesystem::remove_all(folder);
  if (failed || ours.empty()) return 1;

  const double ourMedian = Median(ours);
  const double curlMedian = Median(curl);
  std::printf("download of %llu MiB from loopback, %d rounds (medians)\n",
              static_cast<unsigned long long>(mib), rounds);
  std::printf("ours (InternetStream + CopyStream + buffered file): %.1f MiB/s\n", ourMedian);
  std::printf("curl command-line tool:                             %.1f MiB/s\n", curlMedian);
  std::printf("ratio ours/curl: %.2f (target >= 0.90)\n", ourMedian / curlMedian);
  std::printf("peak RSS growth: %.1f MiB (target < 16 MiB)\n",
              static_cast<double>(rssAfter - rssBefore) / 1024.0);
  return 0;
}
