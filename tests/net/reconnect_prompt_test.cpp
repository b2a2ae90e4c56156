#include "net/reconnect_prompt.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "test_server.h"

namespace QuickKit {
namespace {

// Answers from a script and records what it was asked.
class ScriptedPrompt : public IReconnectPrompt {
 public:
  Answer Ask(WindowHandle owner, const std::string& text, const std::string& title) override {
    asked.push_back(text);
    titles.push_back(title);
    owners.push_back(owner);
    if (beforeAnswer) beforeAnswer();
    if (answers.empty()) return Answer::No;
    const Answer answer = answers.front();
    answers.erase(answers.begin());
    return answer;
  }
  void PostClose(WindowHandle owner) override { closed.push_back(owner); }

  std::vector<Answer> answers;
  std::function<void()> beforeAnswer;
  std::vector<std::string> asked;
  std::vector<std::string> titles;
  std::vector<WindowHandle> owners;
  std::vector<WindowHandle> closed;
};

class ReconnectPromptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    connectionPromptSettled = false;
    port = test::UnusedPort();
    ASSERT_NE(port, 0);
  }
  void TearDown() override { connectionPromptSettled = false; }

  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port) + path;
  }

  int window = 0;
  WindowHandle owner = &window;
  std::uint16_t port = 0;
};

TEST_F(ReconnectPromptTest, NoNetworkThenYesRetriesTheSameOpen) {
  ScriptedPrompt prompt;
  prompt.answers = {IReconnectPrompt::Answer::Yes};
  std::unique_ptr<test::TestHttpServer> server;
  // The network "comes back" while the question is on screen.
  prompt.beforeAnswer = [&] { server = test::StartTestServer(test::StandardResponse, port); };
  InternetSession session;
  InternetStream stream;
  EXPECT_EQ(OpenWithReconnectPrompt(Url("/file/10"), owner, &session, &stream, prompt), S_OK);
  ASSERT_NE(server, nullptr);
  ASSERT_EQ(prompt.asked.size(), 1u);
  EXPECT_EQ(prompt.asked[0],
            "This program requires internet connection to work properly, otherwise it will be "
            "closed. Try to reconnect?");
  EXPECT_EQ(prompt.titles[0], "Norvane Installer");
  EXPECT_EQ(prompt.owners[0], owner);
  EXPECT_TRUE(prompt.closed.empty());
  EXPECT_TRUE(connectionPromptSettled);
  EXPECT_TRUE(session.IsOpen());
  ASSERT_EQ(server->Requests().size(), 1u);
  EXPECT_EQ(server->Requests()[0].target, "/file/10");
}

TEST_F(ReconnectPromptTest, YesAgainAndAgainUntilNo) {
  ScriptedPrompt prompt;
  prompt.answers = {IReconnectPrompt::Answer::Yes, IReconnectPrompt::Answer::Yes,
                    IReconnectPrompt::Answer::No};
  InternetSession session;
  InternetStream stream;
  EXPECT_EQ(OpenWithReconnectPrompt(Url("/x"), owner, &session, &stream, prompt),
            HRESULT_FROM_WIN32(ERROR_INTERNET_CANNOT_CONNECT));
  EXPECT_EQ(prompt.asked.size(), 3u);
  EXPECT_EQ(prompt.closed, std::vector<WindowHandle>{owner});
}

TEST_F(ReconnectPromptTest, NoClosesTheOwnerAndSettlesForLaterDownloads) {
  ScriptedPrompt prompt;
  prompt.answers = {IReconnectPrompt::Answer::No};
  {
    InternetSession session;
    InternetStream stream;
    EXPECT_TRUE(FAILED(OpenWithReconnectPrompt(Url("/x"), owner, &session, &stream, prompt)));
  }
  EXPECT_EQ(prompt.asked.size(), 1u);
  EXPECT_EQ(prompt.closed, std::vector<WindowHandle>{owner});
  EXPECT_TRUE(connectionPromptSettled);
  // The second and third downloads fail silently.
  for (int i = 0; i < 2; ++i) {
    InternetSession session;
    InternetStream stream;
    EXPECT_EQ(OpenWithReconnectPrompt(Url("/x"), owner, &session, &stream, prompt),
              HRESULT_FROM_WIN32(ERROR_INTERNET_CANNOT_CONNECT));
  }
  EXPECT_EQ(prompt.asked.size(), 1u);
  EXPECT_EQ(prompt.closed.size(), 1u);
}

TEST_F(ReconnectPromptTest, NoPromptAfterTheFirstSuccess) {
  auto server = test::StartTestServer(test::StandardResponse, port);
  ASSERT_NE(server, nullptr);
  ScriptedPrompt prompt;
  {
    InternetSession session;
    InternetStream stream;
    EXPECT_EQ(OpenWithReconnectPrompt(Url("/status/200"), owner, &session, &stream, prompt), S_OK);
  }
  // Later failures, of the network or of the server, come back unasked.
  InternetSession session;
  InternetStream stream;
  EXPECT_EQ(OpenWithReconnectPrompt(Url("/status/404"), owner, &session, &stream, prompt),
            HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  stream.Close();  // lets the server end at once, without a kept-alive connection
  server.reset();
  EXPECT_EQ(OpenWithReconnectPrompt(Url("/status/200"), owner, &session, &stream, prompt),
            HRESULT_FROM_WIN32(ERROR_INTERNET_CANNOT_CONNECT));
  EXPECT_TRUE(prompt.asked.empty());
  EXPECT_TRUE(prompt.closed.empty());
}

TEST_F(ReconnectPromptTest, HttpErrorPromptsLikeAConnectionFailure) {
  auto server = test::StartTestServer(test::StandardResponse, port);
  ASSERT_NE(server, nullptr);
  ScriptedPrompt prompt;
  prompt.answers = {IReconnectPrompt::Answer::No};
  InternetSession session;
  InternetStream stream;
  EXPECT_EQ(OpenWithReconnectPrompt(Url("/status/500"), owner, &session, &stream, prompt), E_FAIL);
  EXPECT_EQ(prompt.asked.size(), 1u);
  EXPECT_EQ(prompt.closed.size(), 1u);
}

}  // namespace
}  // namespace QuickKit
