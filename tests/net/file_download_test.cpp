#include "net/file_download.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>

#include "no_prompt.h"
#include "process_flags.h"
#include "support/digest.h"
#include "support/paths.h"
#include "test_server.h"

namespace QuickKit {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::TestRequest;
using test::TestResponse;
using test::NoPrompt;

// --- The rules ---

TEST(DownloadRules, TransientFailures) {
  const HRESULT refused = HRESULT_FROM_WIN32(ERROR_INTERNET_CANNOT_CONNECT);
  const HRESULT reset = HRESULT_FROM_WIN32(ERROR_INTERNET_CONNECTION_RESET);
  const HRESULT aborted = HRESULT_FROM_WIN32(ERROR_INTERNET_CONNECTION_ABORTED);
  const HRESULT timeout = HRESULT_FROM_WIN32(ERROR_INTERNET_TIMEOUT);
  const HRESULT unresolved = HRESULT_FROM_WIN32(ERROR_INTERNET_NAME_NOT_RESOLVED);
  const struct {
    HRESULT hr;
    std::uint32_t status;
    bool transient;
  } cases[] = {
      {refused, 0, true},
      {reset, 0, true},
      {aborted, 0, true},
      {timeout, 0, true},
      {reset, 200, true},
      {unresolved, 0, false},
      {E_FAIL, 408, true},
      {E_FAIL, 429, true},
      {E_FAIL, 500, true},
      {E_FAIL, 502, true},
      {E_FAIL, 503, true},
      {E_FAIL, 504, true},
      {E_FAIL, 400, false},
      {E_FAIL, 416, false},
      {E_FAIL, 501, false},
      {E_FAIL, 505, false},
      {E_ACCESSDENIED, 403, false},
      {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), 404, false},
      {kTransferCancelled, 0, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsTransientFailure(c.hr, c.status), c.transient)
        << std::hex << c.hr << std::dec << " status " << c.status;
  }
}

TEST(DownloadRules, RetryWaitsGrowAndHonourAShortRetryAfter) {
  const RetryPolicy policy;  // the program's: 2, 4, 8 s; Retry-After up to 60 s
  const struct {
    int failedTries;
    const char* retryAfter;
    std::optional<std::chrono::milliseconds> wait;
  } cases[] = {
      {1, "", 2s},     {2, "", 4s},
      {3, "", 8s},     {4, "", {}},
      {4, "5", {}},  // no fourth wait, whatever the server says
      {1, "5", 5s},    {2, " 60 ", 60s},
      {1, "0", 0s},    {1, "61", 2s},
      {3, "3600", 8s},  // longer than the program waits: its own wait
      {1, "soon", 2s}, {1, "Fri, 31 Dec 1999 23:59:59 GMT", 2s},
      {1, "-1", 2s},   {0, "", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RetryWait(policy, c.failedTries, c.retryAfter), c.wait)
        << c.failedTries << " '" << c.retryAfter << "'";
  }
}

TEST(DownloadRules, ContentRangeAndTheAnswerToAResume) {
  ContentRange range;
  ASSERT_TRUE(ParseContentRange("bytes 600-999/1000", &range));
  EXPECT_EQ(range.first, 600u);
  EXPECT_EQ(range.last, 999u);
  EXPECT_EQ(range.length, 1000u);
  for (const char* bad : {"bytes 600-999/*", "bytes */1000", "bytes 600-999", "600-999/1000",
                          "bytes 999-600/1000", "bytes 600-1000/1000", "bytes 6x0-999/1000", ""}) {
    EXPECT_FALSE(ParseContentRange(bad, &range)) << bad;
  }

  // Resuming 600 of 1000 bytes saved with validator "v1".
  const struct {
    std::uint32_t status;
    const char* contentRange;
    const char* validator;
    ResumeAnswer answer;
  } cases[] = {
      {206, "bytes 600-999/1000", "v1", ResumeAnswer::Append},
      {206, "bytes 600-999/1000", "", ResumeAnswer::Append},  // no validator repeated
      {200, "", "v1", ResumeAnswer::FromStart},               // Range ignored
      {200, "", "v2", ResumeAnswer::FromStart},               // changed file, sent whole
      {206, "bytes 600-999/1000", "v2", ResumeAnswer::StartOver},
      {206, "bytes 0-999/1000", "v1", ResumeAnswer::StartOver},
      {206, "bytes 600-1099/1100", "v1", ResumeAnswer::StartOver},
      {206, "bytes 600-899/1000", "v1", ResumeAnswer::StartOver},
      {206, "", "v1", ResumeAnswer::StartOver},
      {416, "bytes */1000", "v1", ResumeAnswer::StartOver},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JudgeResumeAnswer(c.status, c.contentRange, c.validator, 600, "v1", 1000), c.answer)
        << c.status << " '" << c.contentRange << "' " << c.validator;
  }

  EXPECT_EQ(ResumeValidator("\"abc\"", "Tue, 1 Jan 2030 00:00:00 GMT"), "\"abc\"");
  EXPECT_EQ(ResumeValidator("W/\"abc\"", "Tue, 1 Jan 2030 00:00:00 GMT"),
            "Tue, 1 Jan 2030 00:00:00 GMT");  // a weak tag may not be used in If-Range
  EXPECT_EQ(ResumeValidator("W/\"abc\"", ""), "");
  EXPECT_EQ(ResumeValidator("", ""), "");
}

TEST(DownloadRules, RoomForTheFileAndItsUnpacking) {
  constexpr std::uint64_t kMiB = 1 << 20;
  EXPECT_EQ(RoomNeeded(10 * kMiB, 0), 74 * kMiB);              // 64 MiB beats 10 %
  EXPECT_EQ(RoomNeeded(1000 * kMiB, 0), 1100 * kMiB);          // 10 % beats 64 MiB
  EXPECT_EQ(RoomNeeded(1000 * kMiB, 600 * kMiB), 500 * kMiB);  // the part on disk counts
  EXPECT_EQ(RoomNeeded(0, 0), 64 * kMiB);
}

TEST(DownloadRules, FreeSpaceOfARealFileSystem) {
  std::uint64_t free = 0;
  ASSERT_EQ(QueryFreeDiskSpace(PathToUtf8(fs::temp_directory_path()), &free), S_OK);
  EXPECT_GT(free, 0u);
  EXPECT_TRUE(FAILED(QueryFreeDiskSpace(
      PathToUtf8(fs::temp_directory_path() / "norvane-no-such-folder" / "below"), &free)));
}

// --- Against the loopback server ---

class Progress : public IProgressCallback {
 public:
  void OnProgress(std::uint32_t done, std::uint32_t total) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    calls.push_back({done, total});
  }
  bool IsCancelled() override { return false; }
  std::vector<std::pair<std::uint32_t, std::uint32_t>> calls;

 private:
  std::mutex m_mutex;
};

// Answers by what the test set for each request in turn; the last answer
// repeats.
class FileDownloadTest : public testing::Test {
 protected:
  using Answer = std::function<TestResponse(const TestRequest&)>;

  void SetUp() override {
    connectionPromptSettled = true;
    m_server = test::StartTestServer([this](const TestRequest& r) { return Serve(r); });
    ASSERT_NE(m_server, nullptr);
    m_folder = fs::temp_directory_path() / ("norvane-dl-" + std::to_string(std::random_device()()));
    m_control.prompt = &m_prompt;
    m_control.cancel = std::make_shared<TransferCancel>();
    // Waits are recorded, not slept: the server decides at once.
    m_control.waitForStop = [this](std::chrono::milliseconds wait) {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_waits.push_back(wait);
      return false;
    };
    m_control.progress = &m_progress;
  }
  void TearDown() override {
    m_server.reset();
    std::error_code ignored;
    fs::remove_all(m_folder, ignored);
  }

  TestResponse Serve(const TestRequest& request) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::size_t turn = std::min(m_served++, m_answers.size() - 1);
    return m_answers[turn](request);
  }

  DownloadResult Download(const std::string& sha256 = "") {
    DownloadRequest request;
    request.url = "http://127.0.0.1:" + std::to_string(m_server->Port()) + "/files/setup.exe";
    request.cacheFolder = PathToUtf8(m_folder);
    request.fileName = "setup.exe";
    request.sha256 = sha256;
    return DownloadFile(request, m_control);
  }

  std::string FileText(const fs::path& path) const {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  fs::path Part() const { return m_folder / "setup.exe.part"; }

  // The body, cut after 60 %, with the validator "v1".
  static Answer CutAt60(const std::string& body) {
    return [body](const TestRequest&) {
      return test::BodyCutAt(body, body.size() * 6 / 10, "\"v1\"");
    };
  }
  static Answer Status(int status, std::vector<std::pair<std::string, std::string>> headers = {}) {
    return [status, headers](const TestRequest&) {
      TestResponse response;
      response.status = status;
      response.headers = headers;
      response.body = "status " + std::to_string(status);
      return response;
    };
  }

  ScopedProcessFlags m_flags{&connectionPromptSettled};
  std::unique_ptr<test::TestHttpServer> m_server;
  std::mutex m_mutex;
  std::vector<Answer> m_answers;
  std::size_t m_served = 0;
  std::vector<std::chrono::milliseconds> m_waits;
  fs::path m_folder;
  NoPrompt m_prompt;
  Progress m_progress;
  DownloadControl m_control;
};

TEST_F(FileDownloadTest, ACutDownloadIsResumedWithOnlyTheMissingPart) {
  const std::string body = test::PatternBytes(1000 * 1000);
  m_answers = {CutAt60(body),
               [&](const TestRequest& r) { return test::RangedBody(r, body, "\"v1\""); }};
  const DownloadResult result = Download(Sha256Hex(body));
  ASSERT_EQ(result.status, DownloadStatus::Complete);
  EXPECT_EQ(FileText(result.path), body);
  EXPECT_EQ(result.path, PathToUtf8(m_folder / "setup.exe"));
  EXPECT_FALSE(fs::exists(Part()));
  EXPECT_FALSE(fs::exists(m_folder / "setup.exe.part.info"));
  // 60 % and then 40 %: the whole file crossed the network once.
  EXPECT_EQ(m_server->BodyBytesSent(), body.size());
  EXPECT_EQ(result.bytesReceived, body.size());
  EXPECT_EQ(result.tries, 2);
  const auto requests = m_server->Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].range, "");
  EXPECT_EQ(requests[1].range, "bytes=600000-");
  EXPECT_EQ(requests[1].ifRange, "\"v1\"");
  EXPECT_EQ(m_waits, std::vector<std::chrono::milliseconds>{2s});
  // The progress of the whole file goes on from the part kept, never back.
  for (std::size_t i = 1; i < m_progress.calls.size(); ++i) {
    EXPECT_GE(m_progress.calls[i].first, m_progress.calls[i - 1].first);
    EXPECT_EQ(m_progress.calls[i].second, body.size());
  }
  EXPECT_EQ(m_progress.calls.back().first, body.size());
}

TEST_F(FileDownloadTest, AnswersThatDoNotContinueThePartStartOver) {
  const std::string body = test::PatternBytes(100 * 1000);
  const std::string changed = test::PatternBytes(100 * 1000 + 7).substr(7);
  const std::size_t cut = body.size() * 6 / 10;
  const auto whole = [](const std::string& bytes, const char* etag) {
    return [bytes, etag](const TestRequest&) {
      TestResponse response;
      response.headers = {{"ETag", etag}};
      response.body = bytes;
      return response;
    };
  };
  const auto part = [&](const char* etag, const std::string& contentRange) {
    return [&body, cut, etag, contentRange](const TestRequest&) {
      TestResponse response;
      response.status = 206;
      response.headers = {{"ETag", etag}, {"Content-Range", contentRange}};
      response.body = body.substr(cut);
      return response;
    };
  };
  const std::string rest = "bytes " + std::to_string(cut) + "-" + std::to_string(body.size() - 1) +
                           "/" + std::to_string(body.size());
  const struct {
    const char* name;
    Answer second;
    std::string expected;     // the file in the end
    std::size_t requests;     // 3: the part was dropped and the whole asked for again
    std::uint64_t bytesSent;  // by the server, every response
  } cases[] = {
      {"Range answered with 200", whole(body, "\"v1\""), body, 2, cut + body.size()},
      {"changed ETag, whole new file", whole(changed, "\"v2\""), changed, 2, cut + body.size()},
      {"206 with another ETag", part("\"v2\"", rest), body, 3,
       cut + (body.size() - cut) + body.size()},
      {"206 from the wrong place", part("\"v1\"", "bytes 0-39999/100000"), body, 3,
       cut + (body.size() - cut) + body.size()},
      {"206 of another length", part("\"v1\"", "bytes 60000-99999/200000"), body, 3,
       cut + (body.size() - cut) + body.size()},
      {"416", Status(416, {{"Content-Range", "bytes */100000"}}), body, 3, cut + 10 + body.size()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    m_server = test::StartTestServer([this](const TestRequest& r) { return Serve(r); });
    ASSERT_NE(m_server, nullptr);
    m_served = 0;
    const std::string& final = c.expected;
    m_answers = {CutAt60(body), c.second, whole(final, c.expected == body ? "\"v1\"" : "\"v2\"")};
    const DownloadResult result = Download(Sha256Hex(c.expected));
    ASSERT_EQ(result.status, DownloadStatus::Complete);
    EXPECT_TRUE(FileText(result.path) == c.expected);
    const auto requests = m_server->Requests();
    ASSERT_EQ(requests.size(), c.requests);
    EXPECT_EQ(requests[1].range, "bytes=" + std::to_string(cut) + "-");
    if (c.requests == 3) {
      EXPECT_EQ(requests[2].range, "");  // the whole, at once
    }
    EXPECT_EQ(m_server->BodyBytesSent(), c.bytesSent);
  }
}

TEST_F(FileDownloadTest, TransientFailuresAreTriedAgainOthersOnce) {
  const std::string body = test::PatternBytes(5000);
  const Answer ok = [&](const TestRequest&) {
    TestResponse response;
    response.body = body;
    return response;
  };
  const struct {
    const char* name;
    std::vector<Answer> answers;
    DownloadStatus status;
    int tries;
    std::vector<std::chrono::milliseconds> waits;
  } cases[] = {
      {"503 then success", {Status(503), ok}, DownloadStatus::Complete, 2, {2s}},
      {"Retry-After honoured",
       {Status(503, {{"Retry-After", "7"}}), Status(429), ok},
       DownloadStatus::Complete,
       3,
       {7s, 4s}},
      {"Retry-After too long",
       {Status(503, {{"Retry-After", "120"}}), ok},
       DownloadStatus::Complete,
       2,
       {2s}},
      {"always 502: three more tries", {Status(502)}, DownloadStatus::Failed, 4, {2s, 4s, 8s}},
      {"404 once", {Status(404), ok}, DownloadStatus::Failed, 1, {}},
      {"403 once", {Status(403), ok}, DownloadStatus::Failed, 1, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    m_server = test::StartTestServer([this](const TestRequest& r) { return Serve(r); });
    ASSERT_NE(m_server, nullptr);
    m_served = 0;
    m_waits.clear();
    m_answers = c.answers;
    const DownloadResult result = Download();
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.tries, c.tries);
    EXPECT_EQ(m_server->Requests().size(), static_cast<std::size_t>(c.tries));
    EXPECT_EQ(m_waits, c.waits);
    if (c.status == DownloadStatus::Complete) {
      EXPECT_TRUE(FileText(result.path) == body);
    }
  }
}

TEST_F(FileDownloadTest, ARefusedConnectionIsTriedAgain) {
  const std::uint16_t port = test::UnusedPort();
  DownloadRequest request;
  request.url = "http://127.0.0.1:" + std::to_string(port) + "/setup.exe";
  request.cacheFolder = PathToUtf8(m_folder);
  request.fileName = "setup.exe";
  const DownloadResult result = DownloadFile(request, m_control);
  EXPECT_EQ(result.status, DownloadStatus::Failed);
  EXPECT_EQ(result.error, HRESULT_FROM_WIN32(ERROR_INTERNET_CANNOT_CONNECT));
  EXPECT_EQ(result.tries, 4);
}

TEST_F(FileDownloadTest, AWrongDigestIsDeletedAndNotTriedAgain) {
  const std::string body = test::PatternBytes(5000);
  m_answers = {[&](const TestRequest&) {
    TestResponse response;
    response.headers = {{"ETag", "\"v1\""}};
    response.body = body;
    return response;
  }};
  const DownloadResult result = Download(std::string(64, 'a'));
  EXPECT_EQ(result.status, DownloadStatus::Damaged);
  EXPECT_EQ(result.tries, 1);
  EXPECT_EQ(m_server->Requests().size(), 1u);
  EXPECT_TRUE(result.path.empty());
  EXPECT_FALSE(fs::exists(Part()));
  EXPECT_FALSE(fs::exists(m_folder / "setup.exe"));
  EXPECT_FALSE(fs::exists(m_folder / "setup.exe.part.info"));
}

TEST_F(FileDownloadTest, TooLittleDiskSpaceFailsBeforeWriting) {
  const std::string body = test::PatternBytes(5000);
  m_answers = {[&](const TestRequest&) {
    TestResponse response;
    response.body = body;
    return response;
  }};
  std::vector<std::string> asked;
  // No small file system can be made here: the figure is given.
  m_control.freeSpace = [&](const std::string& folder, std::uint64_t* bytes) {
    asked.push_back(folder);
    *bytes = RoomNeeded(body.size(), 0) - 1;
    return S_OK;
  };
  DownloadResult result = Download();
  EXPECT_EQ(result.status, DownloadStatus::DiskFull);
  EXPECT_EQ(result.tries, 1);
  EXPECT_EQ(asked, std::vector<std::string>{PathToUtf8(m_folder)});
  EXPECT_FALSE(fs::exists(Part()));
  EXPECT_FALSE(fs::exists(m_folder / "setup.exe"));

  // One byte more is enough.
  m_control.freeSpace = [&](const std::string&, std::uint64_t* bytes) {
    *bytes = RoomNeeded(body.size(), 0);
    return S_OK;
  };
  result = Download();
  EXPECT_EQ(result.status, DownloadStatus::Complete);
}

}  // namespace
}  // namespace QuickKit
