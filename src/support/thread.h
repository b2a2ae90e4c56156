// Base class of the program's worker threads.
//
// The owner (the thread that constructs the object) calls Start; the thread
// runs Run() and ends when Run returns. Nothing ever kills a thread: long
// work checks a stop flag between steps, and the owner asks it to stop and
// then waits. A subclass whose Run may take long must stop and Join its
// thread in its own destructor, since by the time ~Thread runs the
// subclass's members are already gone.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

namespace QuickKit {

class Thread {
 public:
  // Exit code of a thread whose Run ended with an exception.
  static constexpr std::uint32_t kExceptionExitCode = 0xFFFFFFFFu;

  Thread() = default;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Waits for the thread; returns at once when it was never started.
  virtual ~Thread();

  // Starts Run() on a new thread. A thread still running from an earlier
  // Start is waited for first. Returns false when no thread could be made.
  bool Start();

  // Waits until the thread has ended; returns at once when none runs.
  // Owner thread only: a thread that joins itself is a programming error
  // and gets std::system_error, as with std::thread, so a thread body never
  // ends its own object.
  void Join();

  bool IsStarted() const { return m_thread.joinable(); }

  // Run()'s result once the thread has ended.
  std::uint32_t ExitCode() const { return m_exitCode.load(); }

 protected:
  // The thread body; its result is the thread's exit code. Exceptions
  // thrown here end the thread with kExceptionExitCode.
  virtual std::uint32_t Run() = 0;

 private:
  static void ThreadEntry(Thread* thread);

  std::thread m_thread;
  std::atomic<std::uint32_t> m_exitCode{0};
};

}  // namespace QuickKit
