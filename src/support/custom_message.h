// The one channel from worker threads to the page: a custom message posted
// to the main window's message loop (PostMessageW on Windows, the GLib
// main context on Linux), handled there on the user-interface thread.
#pragma once

#include <cstdint>

namespace UiDeck {

// wParam of the message.
enum InstallStatus : std::uint32_t {
  kInstallProgress = 0,  // value: the new install percentage
  kInstallFinished = 1,  // the run has ended
  kInstallResume = 2,    // a saved run is to be resumed
};

// Implemented by the main window. Safe to call from any thread; false when
// the message could not be queued.
class ICustomMessagePoster {
 public:
  virtual ~ICustomMessagePoster() = default;
  virtual bool PostCustomMessage(InstallStatus status, std::int32_t value) = 0;
};

}  // namespace UiDeck
