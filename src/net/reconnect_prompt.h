// The one way every download of the program opens its URL: on failure the
// user is asked to reconnect, until a connection has once succeeded or the
// user has once declined.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "net/internet.h"

namespace QuickKit {

// Set once a download has connected, or the user has declined to
// reconnect; from then on failures are returned without a prompt. The UI
// thread and the installer's thread both read and set it.
extern std::atomic<bool> connectionPromptSettled;

inline constexpr char kReconnectPromptText[] =
    "This program requires internet connection to work properly, otherwise it will be closed. "
    "Try to reconnect?";

// The prompt and the close request, behind the UI seam: the application
// gives the real message box and the posted WM_CLOSE; tests script them.
//
// Threads. Ask may be called on any thread: the UI thread downloads the
// catalogue, the installer's thread its products. A real dialog runs only on
// the UI thread, so an implementation shows it there and makes a caller on
// another thread wait for the answer. At shutdown the owner cancels the
// prompt before it joins the threads that may ask: a pending Ask, and every
// later one, then answers No without a dialog, so that no join can wait on
// a dialog that nobody will show. UiThreadReconnectPrompt below is that
// implementation, given the port's two user-interface calls.
class IReconnectPrompt {
 public:
  enum class Answer { Yes, No };

  virtual ~IReconnectPrompt() = default;
  // A Yes/No question owned by owner, with the program's title. Any thread.
  virtual Answer Ask(WindowHandle owner, const std::string& text, const std::string& title) = 0;
  // Asks the owner window to close once its message loop runs. Any thread.
  virtual void PostClose(WindowHandle owner) = 0;
  // Whether the calling thread is the one the dialog runs on. That thread
  // is never made to wait for another thread's prompt (see
  // OpenWithReconnectPrompt). A prompt without a UI thread says false.
  virtual bool IsUiThread() const { return false; }
};

// Opens the session if needed and url on stream. Returns S_OK when the URL
// opened, else the failure of the last attempt.
//
// One prompt at a time: a thread whose download fails while another
// thread's prompt is out waits for that prompt to settle the question, then
// follows it (after a decline it fails without asking; after a connection
// it tries once more, without asking). The UI thread does not wait: when
// another thread's prompt is out, its download fails at once, without a
// second prompt.
HRESULT OpenWithReconnectPrompt(const std::string& url, WindowHandle owner,
                                InternetSession* session, InternetStream* stream,
                                IReconnectPrompt& prompt);

// The prompt for a port: the dialog is shown on the UI thread through the
// port's two calls, whichever thread asks.
//
// Made and cancelled on the UI thread, which it takes to be the thread its
// dialogs run on. An Ask on the UI thread shows the dialog at once; an Ask
// on another thread posts the dialog to the UI thread and waits for its
// answer, or for Cancel.
class UiThreadReconnectPrompt : public IReconnectPrompt {
 public:
  // Runs a task on the UI thread later (a posted message, an idle
  // callback). False when it cannot (the UI is gone); the Ask then answers
  // No. Called on any thread.
  using RunOnUiThread = std::function<bool(std::function<void()> task)>;
  // Shows the modal Yes/No dialog and returns the answer. UI thread only.
  using ShowDialog =
      std::function<Answer(WindowHandle owner, const std::string& text, const std::string& title)>;
  // Posts the close request to the owner window. Any thread.
  using PostCloseRequest = std::function<void(WindowHandle owner)>;

  UiThreadReconnectPrompt(RunOnUiThread runOnUiThread, ShowDialog showDialog,
                          PostCloseRequest postClose);
  // Cancels: a task still queued on the UI thread then shows nothing.
  ~UiThreadReconnectPrompt() override;
  UiThreadReconnectPrompt(const UiThreadReconnectPrompt&) = delete;
  UiThreadReconnectPrompt& operator=(const UiThreadReconnectPrompt&) = delete;

  Answer Ask(WindowHandle owner, const std::string& text, const std::string& title) override;
  void PostClose(WindowHandle owner) override;
  bool IsUiThread() const override;

  // Shutdown: the Ask that waits, and every later one, answers No without a
  // dialog. Call it before joining any thread that may ask, and before the
  // window the dialogs belong to goes. Any thread.
  void Cancel();

 private:
  struct Shared;

  RunOnUiThread m_runOnUiThread;
  PostCloseRequest m_postClose;
  // Shared with the tasks posted to the UI thread, which may run after
  // this object is gone.
  std::shared_ptr<Shared> m_shared;
};

}  // namespace QuickKit
