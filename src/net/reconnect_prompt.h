// The one way every download of the program opens its URL: on failure the
// user is asked to reconnect, until a connection has once succeeded or the
// user has once declined.
#pragma once

#include <atomic>
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
class IReconnectPrompt {
 public:
  enum class Answer { Yes, No };

  virtual ~IReconnectPrompt() = default;
  // A Yes/No question owned by owner, with the program's title.
  virtual Answer Ask(WindowHandle owner, const std::string& text, const std::string& title) = 0;
  // Asks the owner window to close once its message loop runs.
  virtual void PostClose(WindowHandle owner) = 0;
};

// Opens the session if needed and url on stream. Returns S_OK when the URL
// opened, else the failure of the last attempt.
HRESULT OpenWithReconnectPrompt(const std::string& url, WindowHandle owner,
                                InternetSession* session, InternetStream* stream,
                                IReconnectPrompt& prompt);

}  // namespace QuickKit
