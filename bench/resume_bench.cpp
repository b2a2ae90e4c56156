// Bytes that cross the network for a download cut at 60 % and then
// finished: resumed with Range (what the program does) against starting
// over (what a server that ignores Range makes it do), from the same
// in-process loopback server in the same run. Prints the bytes the server
// sent for each and their ratio. A measurement, not a test.
//
//   resume_bench [MiB, default 100]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "net/file_download.h"
#include "support/paths.h"
#include "test_server.h"

namespace {

namespace fs = std::filesystem;
using QuickKit::test::TestRequest;
using QuickKit::test::TestResponse;

class NoPrompt : public QuickKit::IReconnectPrompt {
 public:
  Answer Ask(QuickKit::WindowHandle, const std::string&, const std::string&) override {
    return Answer::No;
  }
  void PostClose(QuickKit::WindowHandle) override {}
};

struct Figures {
  bool complete = false;
  std::uint64_t sent = 0;
  double seconds = 0;
};

// The first answer is cut at 60 %; a later one continues the part when
// honourRange, else sends the whole file again.
Figures Measure(const std::string& body, bool honourRange, const fs::path& cache) {
  int served = 0;
  auto server = QuickKit::test::StartTestServer([&](const TestRequest& request) {
    if (served++ == 0) return QuickKit::test::BodyCutAt(body, body.size() * 6 / 10, "\"bench\"");
    TestRequest asked = request;
    if (!honourRange) asked.range.clear();
    return QuickKit::test::RangedBody(asked, body, "\"bench\"");
  });
  Figures figures;
  if (server == nullptr) return figures;
  QuickKit::connectionPromptSettled = true;
  NoPrompt prompt;
  QuickKit::DownloadRequest request;
  request.url = "http://127.0.0.1:" + std::to_string(server->Port()) + "/bench.bin";
  request.cacheFolder = QuickKit::PathToUtf8(cache);
  request.fileName = "bench.bin";
  QuickKit::DownloadControl control;
  control.prompt = &prompt;
  control.cancel = std::make_shared<QuickKit::TransferCancel>();
  control.retry.waits = {std::chrono::milliseconds(0)};
  const auto start = std::chrono::steady_clock::now();
  const QuickKit::DownloadResult result = QuickKit::DownloadFile(request, control);
  figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  figures.complete = result.status == QuickKit::DownloadStatus::Complete &&
                     fs::file_size(QuickKit::PathFromUtf8(result.path)) == body.size();
  figures.sent = server->BodyBytesSent();
  std::error_code ignored;
  fs::remove_all(cache, ignored);
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  const long mib = argc > 1 ? std::atol(argv[1]) : 100;
  if (mib <= 0) return 2;
  const std::string body = QuickKit::test::PatternBytes(static_cast<std::size_t>(mib) << 20);
  const fs::path cache = fs::temp_directory_path() /
                         ("norvane-resume-bench-" + std::to_string(std::random_device()()));
  const Figures resumed = Measure(body, true, cache);
  const Figures over = Measure(body, false, cache);
  if (!resumed.complete || !over.complete) {
    std::printf("resume_bench: a download did not complete\n");
    return 1;
  }
  const double file = static_cast<double>(body.size());
  std::printf("%ld MiB download cut at 60 %%, then finished:\n", mib);
  std::printf("  resumed (Range)   : %12llu bytes sent (%.2f x the file) in %.2f s\n",
              static_cast<unsigned long long>(resumed.sent),
              static_cast<double>(resumed.sent) / file, resumed.seconds);
  std::printf("  started over      : %12llu bytes sent (%.2f x the file) in %.2f s\n",
              static_cast<unsigned long long>(over.sent), static_cast<double>(over.sent) / file,
              over.seconds);
  std::printf("  resumed / over    : %.3f\n",
              static_cast<double>(resumed.sent) / static_cast<double>(over.sent));
  return 0;
}
