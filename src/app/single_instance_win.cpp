#include <windows.h>

#include "app/program_entry.h"
#include "app/single_instance.h"
#include "support/scoped_handle.h"
#include "support/text.h"

namespace bright_setup {

// A named mutex without the "Global\" prefix: one per logon session.
struct SingleInstanceLock::Handle {
  QuickKit::ScopedKernelHandle mutex;
};

SingleInstanceLock::SingleInstanceLock() : m_handle(std::make_unique<Handle>()) {
  const std::wstring name = QuickKit::Utf8ToWide(kSingleInstanceName);
  m_handle->mutex.Reset(::CreateMutexW(nullptr, FALSE, name.c_str()));
  const DWORD error = ::GetLastError();
  if (!m_handle->mutex.IsValid()) {
    m_state = State::kUnavailable;
  } else if (error == ERROR_ALREADY_EXISTS) {
    m_state = State::kHeldByOther;
  } else {
    m_state = State::kHeld;
  }
}

SingleInstanceLock::~SingleInstanceLock() = default;

}  // namespace bright_setup
