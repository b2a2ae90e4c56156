#include "webhost/page_script_queue.h"

#include <utility>

namespace UiDeck {

PageScriptQueue::Admission PageScriptQueue::Submit(const std::string& script) {
  if (m_loaded) return Admission::kRunNow;
  if (m_held.size() >= kMaxHeld) return Admission::kRefused;
  m_held.push_back(script);
  return Admission::kHeld;
}

std::vector<std::string> PageScriptQueue::PageLoaded() {
  m_loaded = true;
  return std::exchange(m_held, {});
}

}  // namespace UiDeck
