// The single-instance lock: one running copy of the program per logon
// session. A named mutex on Windows; on Linux an flock on a lock file in
// $XDG_RUNTIME_DIR (else the data folder), which the system releases when
// the process ends however it ends.
#pragma once

#include <memory>

namespace bright_setup {

class SingleInstanceLock {
 public:
  enum class State {
    kHeld,         // this process holds the lock
    kHeldByOther,  // another copy runs
    kUnavailable,  // no lock could be made: the program runs without one
  };

  // Takes the lock if it is free.
  SingleInstanceLock();
  // Releases it.
  ~SingleInstanceLock();
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

  State GetState() const { return m_state; }

 private:
  State m_state = State::kUnavailable;
  struct Handle;
  std::unique_ptr<Handle> m_handle;
};

}  // namespace bright_setup
