#include "catalogue/catalogue_download.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "catalogue/catalogue_model.h"
#include "test_server.h"

namespace bright_setup {
namespace {

using QuickKit::IReconnectPrompt;
using QuickKit::test::TestRequest;
using QuickKit::test::TestResponse;

const char kCatalogue[] =
    "; test catalogue\n"
    "SHIELD.URL * https://dl.norvane.example/shield/NorvaneShieldSetup.exe\n"
    "SHIELD.AREAS * Device,Privacy\n";

void SetEnv(const char* name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name, value.c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

class ScriptedPrompt : public IReconnectPrompt {
 public:
  Answer Ask(QuickKit::WindowHandle, const std::string&, const std::string&) override {
    ++asked;
    return answer;
  }
  void PostClose(QuickKit::WindowHandle owner) override { closed.push_back(owner); }
  Answer answer = Answer::No;
  int asked = 0;
  std::vector<QuickKit::WindowHandle> closed;
};

class CatalogueDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QuickKit::connectionPromptSettled = false;
    server = QuickKit::test::StartTestServer([this](const TestRequest& request) {
      if (request.target == "/Fast/brightsetup/windows/verinfo.txt") return response;
      return QuickKit::test::StandardResponse(request);
    });
    ASSERT_NE(server, nullptr);
    ServeFrom("/Fast/brightsetup/windows/verinfo.txt");
    response.body = kCatalogue;
  }
  void TearDown() override {
    SetEnv("NORVANE_CATALOGUE_URL", "");
    QuickKit::connectionPromptSettled = false;
  }

  void ServeFrom(const std::string& path) {
    SetEnv("NORVANE_CATALOGUE_URL", "http://127.0.0.1:" + std::to_string(server->Port()) + path);
  }

  static bool Finds(const VerInfo& catalogue, const char* key, std::string* value) {
    return FindCatalogueValue(catalogue, key, "en", *value);
  }

  TestResponse response;
  std::unique_ptr<QuickKit::test::TestHttpServer> server;
  int window = 0;
  ScriptedPrompt prompt;
};

TEST_F(CatalogueDownloadTest, LoadsTheServedCatalogue) {
  VerInfo catalogue;
  ASSERT_TRUE(DownloadCatalogue(&window, prompt, catalogue));
  std::string url;
  ASSERT_TRUE(Finds(catalogue, "SHIELD.URL", &url));
  EXPECT_EQ(url, "https://dl.norvane.example/shield/NorvaneShieldSetup.exe");
  EXPECT_EQ(prompt.asked, 0);
  EXPECT_TRUE(QuickKit::connectionPromptSettled);
}

TEST_F(CatalogueDownloadTest, ByteOrderMarkMakesNoDifference) {
  response.body = std::string("\xEF\xBB\xBF") + kCatalogue;
  VerInfo withMark;
  ASSERT_TRUE(DownloadCatalogue(&window, prompt, withMark));
  response.body = kCatalogue;
  VerInfo without;
  ASSERT_TRUE(DownloadCatalogue(&window, prompt, without));
  ASSERT_EQ(withMark.Entries().size(), without.Entries().size());
  std::string a, b;
  ASSERT_TRUE(Finds(withMark, "SHIELD.AREAS", &a));
  ASSERT_TRUE(Finds(without, "SHIELD.AREAS", &b));
  EXPECT_EQ(a, b);
}

TEST_F(CatalogueDownloadTest, WhatIsNotACatalogueLoadsNothing) {
  struct Case {
    const char* what;
    TestResponse served;
  };
  std::vector<Case> cases;
  cases.push_back({"captive-portal page with status 200",
                   {200, {}, "<!DOCTYPE html>\n<HTML><head><title>Sign in</title></head></HTML>"}});
  cases.push_back({"grammar error", {200, {}, "SHIELD.URL\n"}});
  cases.push_back({"not UTF-8", {200, {}, "SHIELD.URL * caf\xE9\n"}});
  cases.push_back({"body cut short", {200, {}, kCatalogue, TestResponse::Mode::CutShort}});
  cases.push_back({"404", {404, {}, "gone"}});
  QuickKit::connectionPromptSettled = true;  // a connection has been made before
  for (const Case& c : cases) {
    response = c.served;
    VerInfo catalogue;
    EXPECT_FALSE(DownloadCatalogue(&window, prompt, catalogue)) << c.what;
    std::string url;
    EXPECT_FALSE(Finds(catalogue, "SHIELD.URL", &url)) << c.what;
  }
  EXPECT_EQ(prompt.asked, 0);
}

TEST_F(CatalogueDownloadTest, EmptyFileIsAnEmptyCatalogue) {
  response.body.clear();
  VerInfo catalogue;
  EXPECT_TRUE(DownloadCatalogue(&window, prompt, catalogue));
  EXPECT_TRUE(catalogue.Entries().empty());
}

TEST_F(CatalogueDownloadTest, OneDownloadFillsEveryHolder) {
  VerInfo forProducts, forController, forScript;
  ASSERT_TRUE(DownloadCatalogue(&window, prompt, {&forProducts, &forController, &forScript}));
  for (const VerInfo* holder : {&forProducts, &forController, &forScript}) {
    std::string url;
    EXPECT_TRUE(Finds(*holder, "SHIELD.URL", &url));
  }
  EXPECT_EQ(server->Requests().size(), 1u);
}

TEST_F(CatalogueDownloadTest, ErrorStatusPromptsAndNoClosesTheWindow) {
  response = {404, {}, "gone"};
  VerInfo first;
  EXPECT_FALSE(DownloadCatalogue(&window, prompt, first));
  EXPECT_EQ(prompt.asked, 1);
  EXPECT_EQ(prompt.closed, std::vector<QuickKit::WindowHandle>{&window});
  // The later downloads of the start fail without asking again.
  response.body = kCatalogue;
  response.status = 200;
  ServeFrom("/status/500");
  VerInfo second;
  EXPECT_FALSE(DownloadCatalogue(&window, prompt, second));
  EXPECT_EQ(prompt.asked, 1);
}

TEST_F(CatalogueDownloadTest, YesRetriesUntilTheCatalogueArrives) {
  // The first answer is a 503; the retry gets the file.
  std::atomic<int> requests{0};
  server = QuickKit::test::StartTestServer([&requests](const TestRequest&) {
    TestResponse r;
    if (requests++ == 0) {
      r.status = 503;
    } else {
      r.body = kCatalogue;
    }
    return r;
  });
  ASSERT_NE(server, nullptr);
  ServeFrom("/Fast/brightsetup/windows/verinfo.txt");
  prompt.answer = IReconnectPrompt::Answer::Yes;
  VerInfo catalogue;
  EXPECT_TRUE(DownloadCatalogue(&window, prompt, catalogue));
  EXPECT_EQ(prompt.asked, 1);
  EXPECT_TRUE(prompt.closed.empty());
  EXPECT_EQ(requests, 2);
}

// The controller ends a download that hangs on a stalled server (the
// session ends during start-up): it fails soon after the cancel, and the
// user is neither asked to reconnect nor is the window closed, although no
// connection has been made yet and the answer would be Yes.
TEST_F(CatalogueDownloadTest, ACancelEndsAStalledDownloadWithoutAPrompt) {
  using Clock = std::chrono::steady_clock;
  using namespace std::chrono_literals;
  const std::pair<const char*, TestResponse::Mode> cases[] = {
      {"the server never answers", TestResponse::Mode::StallHeaders},
      {"the body stalls", TestResponse::Mode::StallBody},
  };
  prompt.answer = IReconnectPrompt::Answer::Yes;
  for (const auto& [what, mode] : cases) {
    response.mode = mode;
    auto cancel = std::make_shared<QuickKit::TransferCancel>();
    Clock::time_point cancelledAt;
    std::thread controller([&cancel, &cancelledAt] {
      std::this_thread::sleep_for(300ms);
      cancelledAt = Clock::now();
      cancel->Cancel();
    });
    VerInfo catalogue;
    const bool loaded = DownloadCatalogue(&window, prompt, catalogue, cancel);
    const Clock::time_point end = Clock::now();
    controller.join();
    EXPECT_FALSE(loaded) << what;
    EXPECT_LT(end - cancelledAt, 5s) << what;  // the fault waits 30 s
    EXPECT_EQ(prompt.asked, 0) << what;
    EXPECT_TRUE(prompt.closed.empty()) << what;
  }
}

}  // namespace
}  // namespace bright_setup
