#include "net/reconnect_prompt.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "process_flags.h"
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
    port = test::UnusedPort();
    ASSERT_NE(port, 0);
  }

  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port) + path;
  }

  ScopedProcessFlags flags{&connectionPromptSettled};
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

// --- From several threads ---

// Stands in for the UI thread's message loop: a thread that runs posted
// tasks one after another.
class UiLoop {
 public:
  UiLoop() : m_thread([this] { Loop(); }) {}
  ~UiLoop() {
    {
      const std::lock_guard<std::mutex> guard(m_lock);
      m_ending = true;
    }
    m_changed.notify_all();
    m_thread.join();
  }

  // False once the loop is ending, as the port's poster after teardown.
  bool Post(std::function<void()> task) {
    const std::lock_guard<std::mutex> guard(m_lock);
    if (m_ending) return false;
    m_tasks.push_back(std::move(task));
    m_changed.notify_all();
    return true;
  }

  // Runs body on the loop and waits for its result.
  template <typename Body>
  auto Run(Body body) -> decltype(body()) {
    std::packaged_task<decltype(body())()> task(std::move(body));
    auto result = task.get_future();
    Post([&task] { task(); });
    return result.get();
  }

  std::thread::id Id() const { return m_thread.get_id(); }

 private:
  void Loop() {
    for (;;) {
      std::function<void()> task;
      {
        std::unique_lock<std::mutex> guard(m_lock);
        m_changed.wait(guard, [this] { return m_ending || !m_tasks.empty(); });
        if (m_ending) return;
        task = std::move(m_tasks.front());
        m_tasks.pop_front();
      }
      task();
    }
  }

  std::mutex m_lock;
  std::condition_variable m_changed;
  std::deque<std::function<void()>> m_tasks;
  bool m_ending = false;
  std::thread m_thread;  // last: starts once the rest exists
};

// A prompt on a UiLoop whose dialog answers from a script, and the records
// of what it was asked and where.
class LoopPromptTest : public ReconnectPromptTest {
 protected:
  void SetUp() override {
    ReconnectPromptTest::SetUp();
    prompt = loop.Run([this] {
      return std::make_unique<UiThreadReconnectPrompt>(
          [this](std::function<void()> task) {
            ++posts;
            if (onPost) onPost();
            return loop.Post(std::move(task));
          },
          [this](WindowHandle, const std::string& text, const std::string&) {
            const std::lock_guard<std::mutex> guard(m_lock);
            dialogThreads.push_back(std::this_thread::get_id());
            EXPECT_EQ(text, kReconnectPromptText);
            return dialog ? dialog() : IReconnectPrompt::Answer::No;
          },
          [this](WindowHandle) { ++closes; });
    });
  }
  void TearDown() override {
    prompt->Cancel();  // as the program's teardown does, before any join
  }

  std::size_t Dialogs() {
    const std::lock_guard<std::mutex> guard(m_lock);
    return dialogThreads.size();
  }

  // A download of the unused port on a thread of its own.
  std::future<HRESULT> Download(const std::string& path) {
    return std::async(std::launch::async, [this, path] {
      InternetSession session;
      InternetStream stream;
      return OpenWithReconnectPrompt(Url(path), owner, &session, &stream, *prompt);
    });
  }

  // Set before the prompt is used.
  std::function<IReconnectPrompt::Answer()> dialog;
  std::function<void()> onPost;

  std::atomic<int> posts{0};
  std::atomic<int> closes{0};
  std::vector<std::thread::id> dialogThreads;
  UiLoop loop;
  std::unique_ptr<UiThreadReconnectPrompt> prompt;

 private:
  std::mutex m_lock;
};

TEST_F(LoopPromptTest, WorkersAskThroughTheUiThreadAndItAsksDirectly) {
  dialog = [] { return IReconnectPrompt::Answer::Yes; };
  EXPECT_FALSE(prompt->IsUiThread());
  EXPECT_EQ(prompt->Ask(owner, kReconnectPromptText, "t"), IReconnectPrompt::Answer::Yes);
  EXPECT_EQ(posts, 1);
  EXPECT_EQ(loop.Run([this] { return prompt->IsUiThread(); }), true);
  EXPECT_EQ(loop.Run([this] { return prompt->Ask(owner, kReconnectPromptText, "t"); }),
            IReconnectPrompt::Answer::Yes);
  EXPECT_EQ(posts, 1);  // no post from the UI thread itself
  ASSERT_EQ(Dialogs(), 2u);
  EXPECT_EQ(dialogThreads[0], loop.Id());
  EXPECT_EQ(dialogThreads[1], loop.Id());
}

TEST_F(LoopPromptTest, TwoWorkersThatFailTogetherShareOnePrompt) {
  struct Case {
    IReconnectPrompt::Answer answer;
    HRESULT result;
  };
  for (const Case& c :
       {Case{IReconnectPrompt::Answer::No, HRESULT_FROM_WIN32(ERROR_INTERNET_CANNOT_CONNECT)},
        Case{IReconnectPrompt::Answer::Yes, S_OK}}) {
    connectionPromptSettled = false;
    std::unique_ptr<test::TestHttpServer> server;
    dialog = [&] {
      // Long enough for the other worker to fail and reach the prompt too.
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      if (c.answer == IReconnectPrompt::Answer::Yes) {
        server = test::StartTestServer(test::StandardResponse, port);
      }
      return c.answer;
    };
    const std::size_t dialogsBefore = Dialogs();
    const int closesBefore = closes;
    std::future<HRESULT> first = Download("/status/200");
    std::future<HRESULT> second = Download("/status/200");
    ASSERT_EQ(first.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    ASSERT_EQ(second.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(first.get(), c.result);
    EXPECT_EQ(second.get(), c.result);
    EXPECT_EQ(Dialogs() - dialogsBefore, 1u);
    EXPECT_TRUE(connectionPromptSettled);
    if (c.answer == IReconnectPrompt::Answer::No) {
      EXPECT_EQ(closes - closesBefore, 1);
    } else {
      EXPECT_EQ(closes - closesBefore, 0);
      ASSERT_NE(server, nullptr);
      EXPECT_EQ(server->Requests().size(), 2u);  // each worker's own download
    }
  }
}

TEST_F(LoopPromptTest, TheUiThreadNeverWaitsForAWorkersPrompt) {
  // A worker's download fails and its prompt goes out: the worker holds the
  // turn and waits for the UI thread. Meanwhile the UI thread is busy with
  // a download of its own that fails too.
  std::promise<void> workerAsking;
  onPost = [&workerAsking] { workerAsking.set_value(); };
  std::promise<HRESULT> uiResult;
  std::future<HRESULT> uiDownload = uiResult.get_future();
  loop.Post([&, asking = workerAsking.get_future().share()] {
    asking.wait_for(std::chrono::seconds(10));
    InternetSession session;
    InternetStream stream;
    uiResult.set_value(OpenWithReconnectPrompt(Url("/ui"), owner, &session, &stream, *prompt));
  });
  std::future<HRESULT> worker = Download("/worker");
  // Had the UI thread waited for the turn, neither could go on; the
  // shutdown's Cancel would be the only way out.
  const bool uiReturned =
      uiDownload.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  if (!uiReturned) prompt->Cancel();
  ASSERT_TRUE(uiReturned) << "the UI thread waited for the worker's prompt";
  // It failed at once, without a second prompt; the worker's prompt is
  // then shown on the UI thread and answered.
  EXPECT_EQ(uiDownload.get(), HRESULT_FROM_WIN32(ERROR_INTERNET_CANNOT_CONNECT));
  ASSERT_EQ(worker.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(worker.get(), HRESULT_FROM_WIN32(ERROR_INTERNET_CANNOT_CONNECT));
  EXPECT_EQ(Dialogs(), 1u);
  EXPECT_EQ(closes, 1);
}

TEST_F(LoopPromptTest, CancelEndsAWaitingPromptSoTheWorkerCanBeJoined) {
  // The UI thread is tearing down: it does not run the dialog's task.
  std::promise<void> teardownMayEnd;
  loop.Post([ended = teardownMayEnd.get_future().share()] { ended.wait(); });
  std::promise<void> workerAsking;
  onPost = [&workerAsking] { workerAsking.set_value(); };
  std::future<HRESULT> worker = Download("/worker");
  ASSERT_EQ(workerAsking.get_future().wait_for(std::chrono::seconds(10)),
            std::future_status::ready);
  const auto start = std::chrono::steady_clock::now();
  prompt->Cancel();
  ASSERT_EQ(worker.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(worker.get(), HRESULT_FROM_WIN32(ERROR_INTERNET_CANNOT_CONNECT));
  EXPECT_LT(took, std::chrono::seconds(1));
  // Later questions are answered No at once, without a post; the task the
  // worker had posted shows nothing when the UI thread gets to it.
  EXPECT_EQ(prompt->Ask(owner, kReconnectPromptText, "t"), IReconnectPrompt::Answer::No);
  EXPECT_EQ(posts, 1);
  teardownMayEnd.set_value();
  loop.Run([] { return 0; });
  EXPECT_EQ(Dialogs(), 0u);
}

TEST(UiThreadReconnectPrompt, AQuestionThatCannotBePostedIsAnsweredNo) {
  int dialogs = 0;
  UiThreadReconnectPrompt prompt([](std::function<void()>) { return false; },
                                 [&dialogs](WindowHandle, const std::string&, const std::string&) {
                                   ++dialogs;
                                   return IReconnectPrompt::Answer::Yes;
                                 },
                                 nullptr);
  const auto answer = std::async(std::launch::async, [&prompt] {
                        return prompt.Ask(nullptr, kReconnectPromptText, "t");
                      }).get();
  EXPECT_EQ(answer, IReconnectPrompt::Answer::No);
  EXPECT_EQ(dialogs, 0);
}

}  // namespace
}  // namespace QuickKit
