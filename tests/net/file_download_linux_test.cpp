// The receive time-out is honoured by the Linux port only (WinINet under
// Wine ignores it), so the stalled server is tried here.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "net/file_download.h"
#include "no_prompt.h"
#include "process_flags.h"
#include "support/digest.h"
#include "support/paths.h"
#include "test_server.h"

namespace QuickKit {
namespace {

namespace fs = std::filesystem;
using test::TestRequest;
using test::TestResponse;
using test::NoPrompt;

TEST(FileDownloadLinux, AStalledServerTimesOutAndTheRestIsFetched) {
  ScopedProcessFlags flags{&connectionPromptSettled};
  connectionPromptSettled = true;
  const std::string body = test::PatternBytes(200 * 1000);
  auto server = test::StartTestServer([&](const TestRequest& request) {
    if (!request.range.empty()) return test::RangedBody(request, body, "\"v1\"");
    return test::BodyCutAt(body, body.size() * 6 / 10, "\"v1\"", TestResponse::Mode::StallAt);
  });
  ASSERT_NE(server, nullptr);
  const fs::path folder =
      fs::temp_directory_path() / ("norvane-dl-" + std::to_string(std::random_device()()));
  NoPrompt prompt;
  DownloadRequest request;
  request.url = "http://127.0.0.1:" + std::to_string(server->Port()) + "/setup.exe";
  request.cacheFolder = PathToUtf8(folder);
  request.fileName = "setup.exe";
  request.sha256 = Sha256Hex(body);
  DownloadControl control;
  control.prompt = &prompt;
  control.cancel = std::make_shared<TransferCancel>();
  control.waitForStop = [](std::chrono::milliseconds) { return false; };
  control.receiveTimeoutMs = 300;
  const DownloadResult result = DownloadFile(request, control);
  EXPECT_EQ(result.status, DownloadStatus::Complete);
  EXPECT_EQ(result.tries, 2);
  ASSERT_EQ(server->Requests().size(), 2u);
  EXPECT_EQ(server->Requests()[1].range, "bytes=120000-");
  EXPECT_EQ(server->BodyBytesSent(), body.size());
  std::error_code ignored;
  fs::remove_all(folder, ignored);
}

}  // namespace
}  // namespace QuickKit
