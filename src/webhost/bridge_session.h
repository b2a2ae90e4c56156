// One connection of the page bridge, as the user-interface side serves it:
// the token first, then each request dispatched to the page methods and
// answered in order. Byte transport is the port's business; this class only
// turns received bytes into bytes to send. User-interface thread only.
#pragma once

#include <string>
#include <string_view>

#include "bridge/js_methods.h"
#include "webhost/bridge_wire.h"

namespace UiDeck {

class BridgeSession {
 public:
  // target must outlive the session.
  BridgeSession(std::string token, bright_setup::IJsMethods& target);

  // Takes bytes read from the connection and appends the replies to send
  // to *out. False when the connection must be closed: a wrong token, a
  // frame larger than the wire allows, or a request without a method name.
  // A call into the page methods may run a nested main loop that delivers
  // more bytes of this connection; those are queued and answered, in
  // order, by the outer call.
  bool Receive(std::string_view bytes, std::string* out);

  bool Authenticated() const { return m_authenticated; }

 private:
  std::string m_token;
  bright_setup::IJsMethods& m_target;
  bridge_wire::FrameReader m_reader;
  bool m_authenticated = false;
  bool m_closed = false;
  bool m_busy = false;
};

// Equal texts, in a time that depends only on their lengths.
bool TokensEqual(std::string_view a, std::string_view b);

}  // namespace UiDeck
