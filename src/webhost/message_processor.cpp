#include "webhost/message_processor.h"

namespace UiDeck {

int MessageProcessor::ProcessMessage(InstallStatus status, std::int32_t value) {
  if (m_handler == nullptr) return 0;
  // Run numbers start at 1: before the first run, no post is current.
  const std::uint32_t current = m_handler->CurrentRun();
  switch (status) {
    case kInstallProgress:
      if (current != 0 && ProgressRun(value) == current) {
        m_handler->OnInstallPercent(ProgressPercent(value));
      }
      break;
    case kInstallFinished:
      if (current != 0 && static_cast<std::uint32_t>(value) == current) {
        m_handler->OnInstallFinished(static_cast<std::uint32_t>(value));
      }
      break;
    case kInstallResume:
      m_handler->ResumeAfterReboot();
      break;
    default:
      break;  // not ours
  }
  return 0;
}

std::function<void(InstallStatus, std::int32_t)> CustomMessageHandlerFor(
    ICustomMessageProcessor* processor) {
  if (processor == nullptr) return nullptr;
  return [processor](InstallStatus status, std::int32_t value) {
    processor->ProcessMessage(status, value);
  };
}

}  // namespace UiDeck
