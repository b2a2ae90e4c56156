#include "webhost/bridge_session.h"

#include <utility>

namespace UiDeck {

bool TokensEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char difference = 0;
  for (std::size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  return difference == 0;
}

BridgeSession::BridgeSession(std::string token, bright_setup::IJsMethods& target)
    : m_token(std::move(token)), m_target(target) {}

bool BridgeSession::Receive(std::string_view bytes, std::string* out) {
  if (m_closed) return false;
  m_reader.Append(bytes);
  if (m_busy) return true;  // the outer Receive answers them after its call
  m_busy = true;
  while (auto payload = m_reader.Next()) {
    if (!m_authenticated) {
      if (!TokensEqual(*payload, m_token)) {
        m_closed = true;
        break;
      }
      m_authenticated = true;
      continue;
    }
    std::string_view method;
    std::string_view argsJson;
    if (!bridge_wire::SplitRequest(*payload, &method, &argsJson) || method.empty()) {
      m_closed = true;
      break;
    }
    const bright_setup::JsCallReply reply =
        bright_setup::DispatchJsCall(m_target, method, argsJson);
    bridge_wire::AppendFrame(*out, bridge_wire::Reply(reply.ok, reply.text));
  }
  m_busy = false;
  if (m_reader.Broken()) m_closed = true;
  return !m_closed;
}

}  // namespace UiDeck
