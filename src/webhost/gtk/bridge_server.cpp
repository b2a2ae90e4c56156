#include "webhost/gtk/bridge_server.h"

#include <errno.h>
#include <glib-unix.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "webhost/bridge_session.h"

namespace atl_web_core {

struct BridgeServer::Connection {
  Connection(BridgeServer* owner, int socket, std::string token, bright_setup::IJsMethods& target)
      : server(owner), fd(socket), session(std::move(token), target) {}

  BridgeServer* server;
  int fd;
  guint watch = 0;
  GIOCondition watching = G_IO_IN;
  UiDeck::BridgeSession session;
  std::string output;
};

namespace {

constexpr int kBacklog = 16;
constexpr std::size_t kReadChunk = 64 * 1024;

}  // namespace

std::unique_ptr<BridgeServer> BridgeServer::Start(const std::string& socketPath, std::string token,
                                                  bright_setup::IJsMethods& target,
                                                  std::string* error) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof(address.sun_path)) {
    *error = "socket path too long: " + socketPath;
    return nullptr;
  }
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    *error = std::string("cannot create the bridge socket: ") + std::strerror(errno);
    return nullptr;
  }
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      chmod(socketPath.c_str(), 0600) != 0 || listen(fd, kBacklog) != 0) {
    *error = "cannot listen at " + socketPath + ": " + std::strerror(errno);
    close(fd);
    return nullptr;
  }
  return std::unique_ptr<BridgeServer>(new BridgeServer(fd, std::move(token), target));
}

BridgeServer::BridgeServer(int listenFd, std::string token, bright_setup::IJsMethods& target)
    : m_listenFd(listenFd), m_token(std::move(token)), m_target(target) {
  m_listenWatch = g_unix_fd_add(m_listenFd, G_IO_IN, &BridgeServer::OnListenReady, this);
}

BridgeServer::~BridgeServer() {
  while (!m_connections.empty()) {
    const std::shared_ptr<Connection> connection = m_connections.begin()->second;
    Drop(connection);
  }
  g_source_remove(m_listenWatch);
  close(m_listenFd);
}

gboolean BridgeServer::OnListenReady(gint, GIOCondition, gpointer self) {
  static_cast<BridgeServer*>(self)->Accept();
  return G_SOURCE_CONTINUE;
}

void BridgeServer::Accept() {
  for (;;) {
    const int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;  // EAGAIN: all taken; anything else: try at the next wake-up
    ucred peer{};
    socklen_t size = sizeof(peer);
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != getuid()) {
      close(fd);
      continue;
    }
    ++m_accepted;
    auto connection = std::make_shared<Connection>(this, fd, m_token, m_target);
    connection->watch =
        g_unix_fd_add(fd, G_IO_IN, &BridgeServer::OnConnectionReady, connection.get());
    m_connections[fd] = connection;
  }
}

gboolean BridgeServer::OnConnectionReady(gint fd, GIOCondition condition, gpointer data) {
  BridgeServer* server = static_cast<Connection*>(data)->server;
  const auto found = server->m_connections.find(fd);
  if (found != server->m_connections.end()) {
    // Held here: a page method may run a nested main loop in which this
    // connection is dropped.
    const std::shared_ptr<Connection> connection = found->second;
    server->Serve(connection, condition);
  }
  return G_SOURCE_CONTINUE;  // a dropped connection has removed its watch already
}

void BridgeServer::Serve(const std::shared_ptr<Connection>& connection, GIOCondition condition) {
  if (condition & G_IO_OUT) {
    Flush(connection);
    if (connection->fd < 0) return;
  }
  if (!(condition & (G_IO_IN | G_IO_HUP | G_IO_ERR))) return;
  char buffer[kReadChunk];
  for (;;) {
    const ssize_t n = recv(connection->fd, buffer, sizeof(buffer), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n <= 0) {  // the page's process closed its end (a time-out, or it ended)
      Drop(connection);
      return;
    }
    std::string replies;
    const bool keep = connection->session.Receive(
        std::string_view(buffer, static_cast<std::size_t>(n)), &replies);
    if (connection->fd < 0) return;  // dropped while a page method ran
    connection->output += replies;
    if (!keep) {
      Drop(connection);
      return;
    }
  }
  Flush(connection);
}

void BridgeServer::Flush(const std::shared_ptr<Connection>& connection) {
  while (!connection->output.empty()) {
    const ssize_t n = send(connection->fd, connection->output.data(), connection->output.size(),
                           MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n < 0) {  // the reader went away: its call has timed out
      Drop(connection);
      return;
    }
    connection->output.erase(0, static_cast<std::size_t>(n));
  }
  // Watch for room to write only while something waits to be sent.
  const GIOCondition wanted =
      connection->output.empty() ? G_IO_IN : static_cast<GIOCondition>(G_IO_IN | G_IO_OUT);
  if (wanted != connection->watching) {
    g_source_remove(connection->watch);
    connection->watch =
        g_unix_fd_add(connection->fd, wanted, &BridgeServer::OnConnectionReady, connection.get());
    connection->watching = wanted;
  }
}

// The caller holds its own reference: erasing the map's may free the last other one.
void BridgeServer::Drop(const std::shared_ptr<Connection>& connection) {
  if (connection->fd < 0) return;
  g_source_remove(connection->watch);
  m_connections.erase(connection->fd);
  close(connection->fd);
  connection->fd = -1;
}

}  // namespace atl_web_core
