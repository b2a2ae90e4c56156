// The one channel from worker threads to the page: a custom message posted
// to the main window's message loop (PostMessageW on Windows, the GLib
// main context on Linux), handled there on the user-interface thread.
#pragma once

#include <cstdint>
#include <mutex>

namespace UiDeck {

// wParam of the message.
enum InstallStatus : std::uint32_t {
  kInstallProgress = 0,  // value: ProgressValue(run, the new install percentage)
  kInstallFinished = 1,  // value: the number of the run that has ended
  kInstallResume = 2,    // a saved run is to be resumed
};

// Each installation run has a number, so that the receiver can tell the
// posts of the run it shows from late ones of a run before. Numbers start
// at 1 and stay below kMaxRunNumber (they wrap round; 0 is never a run).
inline constexpr std::uint32_t kMaxRunNumber = 1u << 23;

// A progress post carries both in its 32-bit value: the percentage (0 to
// 100) in the low 8 bits and the run number above them, so that the value
// is never negative.
constexpr std::int32_t ProgressValue(std::uint32_t run, std::int32_t percent) {
  return static_cast<std::int32_t>(((run % kMaxRunNumber) << 8) |
                                   (static_cast<std::uint32_t>(percent) & 0xFFu));
}
constexpr std::int32_t ProgressPercent(std::int32_t value) { return value & 0xFF; }
constexpr std::uint32_t ProgressRun(std::int32_t value) {
  return static_cast<std::uint32_t>(value) >> 8;
}

// Implemented by the main window. Safe to call from any thread; false when
// the message could not be queued.
class ICustomMessagePoster {
 public:
  virtual ~ICustomMessagePoster() = default;
  virtual bool PostCustomMessage(InstallStatus status, std::int32_t value) = 0;
};

// What the worker threads post through. The window goes before the
// threads that post to it are joined, so they never hold the window
// itself: they share this object, which forwards to the window until the
// window's owner calls Revoke() at teardown and drops every post after
// that (false). Held by shared ownership, it outlives every thread.
class RevocablePoster : public ICustomMessagePoster {
 public:
  explicit RevocablePoster(ICustomMessagePoster* target) : m_target(target) {}

  bool PostCustomMessage(InstallStatus status, std::int32_t value) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_target != nullptr && m_target->PostCustomMessage(status, value);
  }

  // Once this returns, no post reaches the target any more, not even one
  // that was on its way: the target may then be destroyed.
  void Revoke() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_target = nullptr;
  }

 private:
  std::mutex m_mutex;
  ICustomMessagePoster* m_target;
};

}  // namespace UiDeck
