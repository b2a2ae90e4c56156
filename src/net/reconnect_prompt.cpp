#include "net/reconnect_prompt.h"

#include "support/config.h"

namespace QuickKit {

std::atomic<bool> connectionPromptSettled{false};

HRESULT OpenWithReconnectPrompt(const std::string& url, WindowHandle owner,
                                InternetSession* session, InternetStream* stream,
                                IReconnectPrompt& prompt) {
  if (session == nullptr || stream == nullptr) return E_INVALIDARG;
  if (!session->IsOpen()) {
    const HRESULT hr = session->Open();
    if (FAILED(hr)) {
      // Without a session no retry can help; the failure is the caller's
      // to see (the download must not go on as if it had connected).
      connectionPromptSettled = true;
      return hr;
    }
  }
  for (;;) {
    // System dialogs (proxy credentials) are owned by the window only as
    // long as the user may still be asked.
    const HRESULT hr =
        stream->OpenUrlStream(session, url, connectionPromptSettled ? nullptr : owner);
    if (SUCCEEDED(hr)) {
      connectionPromptSettled = true;
      return S_OK;
    }
    if (connectionPromptSettled) return hr;
    if (prompt.Ask(owner, kReconnectPromptText, kProgramTitle) == IReconnectPrompt::Answer::Yes) {
      continue;
    }
    connectionPromptSettled = true;
    prompt.PostClose(owner);
    return hr;
  }
}

}  // namespace QuickKit
