#include "support/thread.h"

#include <system_error>

namespace QuickKit {

Thread::~Thread() { Join(); }

bool Thread::Start() {
  Join();
  m_exitCode = 0;
  try {
    m_thread = std::thread(&Thread::ThreadEntry, this);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void Thread::Join() {
  // From the thread itself this throws std::system_error
  // (resource_deadlock_would_occur), as std::thread does: the object would
  // be gone while its own thread still runs in it.
  if (m_thread.joinable()) m_thread.join();
}

void Thread::ThreadEntry(Thread* thread) {
  // No exception may leave a thread body: it would end the whole process.
  try {
    thread->m_exitCode = thread->Run();
  } catch (...) {
    thread->m_exitCode = kExceptionExitCode;
  }
}

}  // namespace QuickKit
