// A small Winsock HTTP/1.1 server for the Windows build of the network
// tests (there is no cpp-httplib for MinGW here). One thread accepts, one
// thread serves each connection; every answer closes its connection.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "test_server.h"

namespace QuickKit::test {
namespace {

using namespace std::chrono_literals;

struct WinsockInit {
  WinsockInit() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
};

void EnsureWinsock() { static WinsockInit init; }

SOCKET LoopbackSocket(std::uint16_t port, std::uint16_t* bound) {
  EnsureWinsock();
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return s;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::closesocket(s);
    return INVALID_SOCKET;
  }
  *bound = ntohs(address.sin_port);
  return s;
}

// Waits up to 50 ms for s to become readable.
bool Readable(SOCKET s) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval wait{0, 50000};
  return ::select(0, &set, nullptr, nullptr, &wait) > 0;
}

bool SendAll(SOCKET s, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const int n = ::send(s, bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string HeaderValue(const std::string& head, const std::string& name) {
  std::size_t pos = 0;
  while ((pos = head.find("\r\n", pos)) != std::string::npos) {
    pos += 2;
    if (_strnicmp(head.c_str() + pos, name.c_str(), name.size()) == 0 &&
        head.compare(pos + name.size(), 1, ":") == 0) {
      std::size_t start = pos + name.size() + 1;
      while (start < head.size() && head[start] == ' ') ++start;
      return head.substr(start, head.find("\r\n", start) - start);
    }
  }
  return {};
}

class WinsockServer : public TestHttpServer {
 public:
  WinsockServer(TestHandler handler, SOCKET listener, std::uint16_t port)
      : m_handler(std::move(handler)), m_listener(listener), m_port(port) {
    m_acceptor = std::thread([this] { AcceptLoop(); });
  }

  ~WinsockServer() override {
    m_stopping = true;
    m_acceptor.join();
    for (std::thread& t : m_connections) t.join();
    ::closesocket(m_listener);
  }

  std::uint16_t Port() const override { return m_port; }
  std::vector<TestRequest> Requests() const override {
    std::lock_guard lock(m_mutex);
    return m_requests;
  }

  std::uint64_t BodyBytesSent() const override { return m_bodyBytes.load(); }

 private:
  void AcceptLoop() {
    while (!m_stopping) {
      if (!Readable(m_listener)) continue;
      SOCKET client = ::accept(m_listener, nullptr, nullptr);
      if (client == INVALID_SOCKET) continue;
      m_connections.emplace_back([this, client] { Serve(client); });
    }
  }

  void WaitForStop() const {
    while (!m_stopping) std::this_thread::sleep_for(20ms);
  }

  void Serve(SOCKET client) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && !m_stopping) {
      if (!Readable(client)) continue;
      const int n = ::recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      head.append(buffer, static_cast<std::size_t>(n));
    }
    const std::size_t firstSpace = head.find(' ');
    const std::size_t secondSpace = head.find(' ', firstSpace + 1);
    if (firstSpace == std::string::npos || secondSpace == std::string::npos) {
      ::closesocket(client);
      return;
    }
    TestRequest request;
    request.method = head.substr(0, firstSpace);
    request.target = head.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    request.userAgent = HeaderValue(head, "User-Agent");
    request.range = HeaderValue(head, "Range");
    request.ifRange = HeaderValue(head, "If-Range");
    {
      std::lock_guard lock(m_mutex);
      m_requests.push_back(request);
    }
    const TestResponse response = m_handler(request);
    if (response.mode == TestResponse::Mode::StallHeaders) {
      WaitForStop();
      ::closesocket(client);
      return;
    }
    std::string out = "HTTP/1.1 " + std::to_string(response.status) + " Test\r\n";
    for (const auto& [name, value] : response.headers) out += name + ": " + value + "\r\n";
    std::size_t announced = response.body.size();
    if (response.mode == TestResponse::Mode::CutShort ||
        response.mode == TestResponse::Mode::StallBody) {
      announced += 1000;
    }
    if (response.mode != TestResponse::Mode::NoLength) {
      out += "Content-Length: " + std::to_string(announced) + "\r\n";
    }
    out += "Connection: close\r\n\r\n";
    const bool cut =
        response.mode == TestResponse::Mode::CutAt || response.mode == TestResponse::Mode::StallAt;
    std::string body = response.body;
    if (cut) body.resize(std::min(response.cutAt, body.size()));
    if (request.method == "HEAD") body.clear();
    if (SendAll(client, out) && SendAll(client, body)) m_bodyBytes += body.size();
    if (response.mode == TestResponse::Mode::StallBody ||
        response.mode == TestResponse::Mode::StallAt) {
      WaitForStop();
    }
    ::shutdown(client, SD_SEND);
    ::closesocket(client);
  }

  TestHandler m_handler;
  SOCKET m_listener;
  std::uint16_t m_port;
  std::atomic<bool> m_stopping{false};
  std::thread m_acceptor;
  std::vector<std::thread> m_connections;  // touched by the acceptor only until it ends
  std::atomic<std::uint64_t> m_bodyBytes{0};
  mutable std::mutex m_mutex;
  std::vector<TestRequest> m_requests;
};

class WinsockClosingListener : public ClosingListener {
 public:
  WinsockClosingListener(SOCKET s, std::uint16_t port) : m_socket(s), m_port(port) {
    m_thread = std::thread([this] {
      while (!m_stopping) {
        if (!Readable(m_socket)) continue;
        SOCKET client = ::accept(m_socket, nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
        ++m_accepted;
        ::closesocket(client);
      }
    });
  }
  ~WinsockClosingListener() override {
    m_stopping = true;
    m_thread.join();
    ::closesocket(m_socket);
  }
  std::uint16_t Port() const override { return m_port; }
  int Accepted() const override { return m_accepted; }

 private:
  SOCKET m_socket;
  std::uint16_t m_port;
  std::atomic<bool> m_stopping{false};
  std::atomic<int> m_accepted{0};
  std::thread m_thread;
};

class WinsockSilentListener : public SilentListener {
 public:
  WinsockSilentListener(SOCKET s, std::uint16_t port) : m_socket(s), m_port(port) {
    m_thread = std::thread([this] {
      while (!m_stopping) {
        if (!Readable(m_socket)) continue;
        SOCKET client = ::accept(m_socket, nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
        m_clients.push_back(client);
        ++m_accepted;
      }
    });
  }
  ~WinsockSilentListener() override {
    m_stopping = true;
    m_thread.join();
    ::closesocket(m_socket);
    for (SOCKET client : m_clients) ::closesocket(client);
  }
  std::uint16_t Port() const override { return m_port; }
  int Accepted() const override { return m_accepted; }

 private:
  SOCKET m_socket;
  std::uint16_t m_port;
  std::atomic<bool> m_stopping{false};
  std::atomic<int> m_accepted{0};
  std::vector<SOCKET> m_clients;  // the accepting thread's until it is joined
  std::thread m_thread;
};

SOCKET ListeningSocket(std::uint16_t* port) {
  SOCKET s = LoopbackSocket(0, port);
  if (s == INVALID_SOCKET) return s;
  if (::listen(s, 16) != 0) {
    ::closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

}  // namespace

std::unique_ptr<TestHttpServer> StartTestServer(TestHandler handler, std::uint16_t port,
                                                const TlsFiles* tls) {
  if (tls != nullptr) return nullptr;
  std::uint16_t bound = 0;
  SOCKET s = LoopbackSocket(port, &bound);
  if (s == INVALID_SOCKET) return nullptr;
  if (::listen(s, 16) != 0) {
    ::closesocket(s);
    return nullptr;
  }
  return std::make_unique<WinsockServer>(std::move(handler), s, bound);
}

std::uint16_t UnusedPort() {
  std::uint16_t port = 0;
  SOCKET s = LoopbackSocket(0, &port);
  if (s == INVALID_SOCKET) return 0;
  ::closesocket(s);
  return port;
}

std::unique_ptr<ClosingListener> StartClosingListener() {
  std::uint16_t port = 0;
  SOCKET s = ListeningSocket(&port);
  if (s == INVALID_SOCKET) return nullptr;
  return std::make_unique<WinsockClosingListener>(s, port);
}

std::unique_ptr<SilentListener> StartSilentListener() {
  std::uint16_t port = 0;
  SOCKET s = ListeningSocket(&port);
  if (s == INVALID_SOCKET) return nullptr;
  return std::make_unique<WinsockSilentListener>(s, port);
}

}  // namespace QuickKit::test
