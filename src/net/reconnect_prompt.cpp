#include "net/reconnect_prompt.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "support/config.h"

namespace QuickKit {

std::atomic<bool> connectionPromptSettled{false};

namespace {

// Why the question was last settled: read only once connectionPromptSettled
// is set, and written just before it (Settle).
std::atomic<bool> g_declined{false};

void Settle(bool declined) {
  g_declined = declined;
  connectionPromptSettled = true;
}

// The turn to ask. The thread whose prompt is out holds it from its first
// question until the question is settled (its retry connected, or the user
// declined), so that a thread failing meanwhile does not show a second
// prompt but waits, and then follows the outcome.
//
// Why no thread can deadlock on it: a worker that holds the turn may wait
// in Ask for the UI thread to show its dialog. The UI thread therefore
// never waits for the turn; it only tries to take it, and when another
// thread has it, its download fails at once without a prompt. Workers do
// wait for the turn, but its holder waits only for the network or for the
// UI thread's dialog, neither of which waits for a worker. The one place
// the UI thread waits for a worker, the join at shutdown, comes after the
// prompt's Cancel, which ends a holder's Ask. The UI thread asked again
// from inside the message loop of its own dialog, while it holds the turn
// itself, finds the turn busy too.
class PromptTurn {
 public:
  explicit PromptTurn(bool uiThread) {
    const std::thread::id self = std::this_thread::get_id();
    if (s_holder.load() == self) return;  // nested in our own prompt
    if (uiThread) {
      m_held = s_lock.try_lock();
    } else {
      s_lock.lock();
      m_held = true;
    }
    if (m_held) s_holder = self;
  }
  ~PromptTurn() {
    if (!m_held) return;
    s_holder = std::thread::id();
    s_lock.unlock();
  }
  PromptTurn(const PromptTurn&) = delete;
  PromptTurn& operator=(const PromptTurn&) = delete;

  bool Held() const { return m_held; }

 private:
  static std::mutex s_lock;
  static std::atomic<std::thread::id> s_holder;
  bool m_held = false;
};

std::mutex PromptTurn::s_lock;
std::atomic<std::thread::id> PromptTurn::s_holder;

}  // namespace

HRESULT OpenWithReconnectPrompt(const std::string& url, WindowHandle owner,
                                InternetSession* session, InternetStream* stream,
                                IReconnectPrompt& prompt) {
  if (session == nullptr || stream == nullptr) return E_INVALIDARG;
  if (!session->IsOpen()) {
    const HRESULT hr = session->Open();
    if (FAILED(hr)) {
      // Without a session no retry can help; the failure is the caller's
      // to see (the download must not go on as if it had connected).
      Settle(false);
      return hr;
    }
  }
  const auto open = [&] {
    // System dialogs (proxy credentials) are owned by the window only as
    // long as the user may still be asked.
    return stream->OpenUrlStream(session, url, connectionPromptSettled ? nullptr : owner);
  };
  HRESULT hr = open();
  if (SUCCEEDED(hr)) {
    Settle(false);
    return S_OK;
  }
  // A stop or shutdown cut the open: nobody is to be asked, and nothing is
  // learnt about the connection.
  if (session->IsCancelled()) return hr;
  if (connectionPromptSettled) return hr;

  const PromptTurn turn(prompt.IsUiThread());
  if (!turn.Held()) return hr;  // the UI thread, while another prompt is out
  if (connectionPromptSettled) {
    // Settled by the prompt we waited for.
    if (g_declined) return hr;
    hr = open();
    if (FAILED(hr)) return hr;
    Settle(false);
    return S_OK;
  }
  for (;;) {
    if (prompt.Ask(owner, kReconnectPromptText, kProgramTitle) == IReconnectPrompt::Answer::No) {
      Settle(true);
      prompt.PostClose(owner);
      return hr;
    }
    hr = open();
    if (SUCCEEDED(hr)) {
      Settle(false);
      return S_OK;
    }
    if (session->IsCancelled()) return hr;
    // Settled meanwhile by a download that did not need the turn.
    if (connectionPromptSettled) return hr;
  }
}

// --- UiThreadReconnectPrompt ---

struct UiThreadReconnectPrompt::Shared {
  ShowDialog showDialog;
  std::thread::id uiThread;
  std::mutex lock;
  std::condition_variable changed;
  bool cancelled = false;  // under lock
};

UiThreadReconnectPrompt::UiThreadReconnectPrompt(RunOnUiThread runOnUiThread, ShowDialog showDialog,
                                                 PostCloseRequest postClose)
    : m_runOnUiThread(std::move(runOnUiThread)),
      m_postClose(std::move(postClose)),
      m_shared(std::make_shared<Shared>()) {
  m_shared->showDialog = std::move(showDialog);
  m_shared->uiThread = std::this_thread::get_id();
}

UiThreadReconnectPrompt::~UiThreadReconnectPrompt() { Cancel(); }

IReconnectPrompt::Answer UiThreadReconnectPrompt::Ask(WindowHandle owner, const std::string& text,
                                                      const std::string& title) {
  const std::shared_ptr<Shared> shared = m_shared;
  {
    const std::lock_guard<std::mutex> guard(shared->lock);
    if (shared->cancelled) return Answer::No;
  }
  if (IsUiThread()) return shared->showDialog(owner, text, title);

  // The answer travels in its own record, shared with the posted task, so
  // that a task that runs after this Ask gave up touches nothing freed.
  struct Reply {
    bool given = false;
    Answer answer = Answer::No;
  };
  const auto reply = std::make_shared<Reply>();
  const bool posted = m_runOnUiThread([shared, reply, owner, text, title] {
    {
      const std::lock_guard<std::mutex> guard(shared->lock);
      if (shared->cancelled) return;
    }
    const Answer answer = shared->showDialog(owner, text, title);
    const std::lock_guard<std::mutex> guard(shared->lock);
    reply->answer = answer;
    reply->given = true;
    shared->changed.notify_all();
  });
  if (!posted) return Answer::No;
  std::unique_lock<std::mutex> guard(shared->lock);
  shared->changed.wait(guard, [&] { return reply->given || shared->cancelled; });
  return reply->given ? reply->answer : Answer::No;
}

void UiThreadReconnectPrompt::PostClose(WindowHandle owner) {
  if (m_postClose) m_postClose(owner);
}

bool UiThreadReconnectPrompt::IsUiThread() const {
  return std::this_thread::get_id() == m_shared->uiThread;
}

void UiThreadReconnectPrompt::Cancel() {
  const std::lock_guard<std::mutex> guard(m_shared->lock);
  m_shared->cancelled = true;
  m_shared->changed.notify_all();
}

}  // namespace QuickKit
