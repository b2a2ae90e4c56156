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
  if (!m_thread.joinable()) return;
  // A thread cannot wait for itself; when its own body ends the object, it
  // lets go of the handle instead.
  if (m_thread.get_id() == std::this_thread::get_id()) {
    m_thread.detach();
  } else {
    m_thread.join();
  }
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
