// The user-interface side of the page bridge: a UNIX socket served from the
// GLib main loop. A connection is accepted only from a process of the same
// user (SO_PEERCRED) and must open with the run's token; each request is
// answered at once by the page methods, so the handlers never wait on the
// web view (the page's process is blocked until the answer arrives).
// User-interface thread only.
#pragma once

#include <glib.h>

#include <cstddef>
#include <map>
#include <memory>
#include <string>

#include "bridge/js_methods.h"

namespace atl_web_core {

class BridgeServer {
 public:
  // Listens at socketPath, which must lie in a private folder. nullptr with
  // the reason in *error when the socket cannot be made. target must
  // outlive the server.
  static std::unique_ptr<BridgeServer> Start(const std::string& socketPath, std::string token,
                                             bright_setup::IJsMethods& target, std::string* error);
  ~BridgeServer();
  BridgeServer(const BridgeServer&) = delete;
  BridgeServer& operator=(const BridgeServer&) = delete;

  // How many connections passed the peer check so far.
  std::size_t ConnectionsAccepted() const { return m_accepted; }

 private:
  struct Connection;

  BridgeServer(int listenFd, std::string token, bright_setup::IJsMethods& target);
  static gboolean OnListenReady(gint fd, GIOCondition condition, gpointer self);
  static gboolean OnConnectionReady(gint fd, GIOCondition condition, gpointer connection);
  void Accept();
  void Serve(const std::shared_ptr<Connection>& connection, GIOCondition condition);
  void Flush(const std::shared_ptr<Connection>& connection);
  void Drop(const std::shared_ptr<Connection>& connection);

  int m_listenFd = -1;
  guint m_listenWatch = 0;
  std::string m_token;
  bright_setup::IJsMethods& m_target;
  std::map<int, std::shared_ptr<Connection>> m_connections;
  std::size_t m_accepted = 0;
};

}  // namespace atl_web_core
