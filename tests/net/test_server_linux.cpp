// cpp-httplib behind the tests' server interface, plus the raw listeners.
#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "test_server.h"

namespace QuickKit::test {
namespace {

using namespace std::chrono_literals;

class HttplibServer : public TestHttpServer {
 public:
  HttplibServer(TestHandler handler, const TlsFiles* tls) : m_handler(std::move(handler)) {
    if (tls != nullptr) {
      m_server = std::make_unique<httplib::SSLServer>(tls->certificate.c_str(), tls->key.c_str());
    } else {
      m_server = std::make_unique<httplib::Server>();
    }
    const auto serve = [this](const httplib::Request& req, httplib::Response& res) {
      Serve(req, res);
    };
    m_server->Get(".*", serve);
    m_server->Post(".*", serve);
    // The tests' handlers answer Range requests themselves, also wrongly
    // on purpose: the server must not cut the bodies they give.
    m_server->set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
      const_cast<httplib::Request&>(req).ranges.clear();
      return httplib::Server::HandlerResponse::Unhandled;
    });
  }

  ~HttplibServer() override {
    m_stopping = true;
    m_server->stop();
    if (m_thread.joinable()) m_thread.join();
  }

  bool Listen(std::uint16_t port) {
    if (!m_server->is_valid()) return false;
    if (port == 0) {
      const int bound = m_server->bind_to_any_port("127.0.0.1");
      if (bound <= 0) return false;
      m_port = static_cast<std::uint16_t>(bound);
    } else {
      if (!m_server->bind_to_port("127.0.0.1", port)) return false;
      m_port = port;
    }
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    // A stop() that comes before the accept loop runs would be missed.
    while (!m_server->is_running()) std::this_thread::sleep_for(1ms);
    return true;
  }

  std::uint16_t Port() const override { return m_port; }

  std::vector<TestRequest> Requests() const override {
    std::lock_guard lock(m_mutex);
    return m_requests;
  }

  std::uint64_t BodyBytesSent() const override { return m_bodyBytes.load(); }

 private:
  void WaitForStop() const {
    while (!m_stopping) std::this_thread::sleep_for(20ms);
  }

  void Serve(const httplib::Request& req, httplib::Response& res) {
    TestRequest request;
    request.method = req.method;
    request.target = req.target;
    request.userAgent = req.get_header_value("User-Agent");
    request.range = req.get_header_value("Range");
    request.ifRange = req.get_header_value("If-Range");
    {
      std::lock_guard lock(m_mutex);
      m_requests.push_back(request);
    }
    TestResponse response = m_handler(request);
    res.status = response.status;
    for (const auto& [name, value] : response.headers) res.set_header(name, value);
    auto body = std::make_shared<std::string>(std::move(response.body));
    // Counted as written into the connection.
    const auto send = [this](httplib::DataSink& sink, const char* data, std::size_t size) {
      const bool sent = sink.write(data, size);
      if (sent) m_bodyBytes += size;
      return sent;
    };
    switch (response.mode) {
      case TestResponse::Mode::Normal:
        if (req.method != "HEAD") m_bodyBytes += body->size();
        res.set_content(*body, "application/octet-stream");
        break;
      case TestResponse::Mode::CutAt:
      case TestResponse::Mode::StallAt: {
        const bool stall = response.mode == TestResponse::Mode::StallAt;
        const std::size_t cutAt = std::min(response.cutAt, body->size());
        res.set_content_provider(body->size(), "application/octet-stream",
                                 [this, body, stall, cutAt, send](std::size_t offset, std::size_t,
                                                                  httplib::DataSink& sink) {
                                   if (offset < cutAt)
                                     return send(sink, body->data() + offset, cutAt - offset);
                                   if (stall) WaitForStop();
                                   return false;  // drops the connection before the announced end
                                 });
        break;
      }
      case TestResponse::Mode::NoLength:
        res.set_chunked_content_provider(
            "application/octet-stream", [body, send](std::size_t offset, httplib::DataSink& sink) {
              const std::size_t piece = std::min<std::size_t>(body->size() - offset, 64 * 1024);
              if (piece != 0) send(sink, body->data() + offset, piece);
              if (offset + piece == body->size()) sink.done();
              return true;
            });
        break;
      case TestResponse::Mode::CutShort:
      case TestResponse::Mode::StallBody: {
        const bool stall = response.mode == TestResponse::Mode::StallBody;
        res.set_content_provider(
            body->size() + 1000, "application/octet-stream",
            [this, body, stall, send](std::size_t offset, std::size_t, httplib::DataSink& sink) {
              if (offset < body->size()) {
                send(sink, body->data() + offset, body->size() - offset);
                return true;
              }
              if (stall) WaitForStop();
              return false;  // drops the connection before the announced end
            });
        break;
      }
      case TestResponse::Mode::StallHeaders:
        WaitForStop();
        break;
    }
  }

  TestHandler m_handler;
  std::unique_ptr<httplib::Server> m_server;
  std::thread m_thread;
  std::uint16_t m_port = 0;
  std::atomic<bool> m_stopping{false};
  std::atomic<std::uint64_t> m_bodyBytes{0};
  mutable std::mutex m_mutex;
  std::vector<TestRequest> m_requests;
};

int LoopbackSocket(std::uint16_t port, std::uint16_t* bound) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return -1;
  }
  *bound = ntohs(address.sin_port);
  return fd;
}

class PosixClosingListener : public ClosingListener {
 public:
  explicit PosixClosingListener(int fd, std::uint16_t port) : m_fd(fd), m_port(port) {
    m_thread = std::thread([this] {
      for (;;) {
        const int client = ::accept(m_fd, nullptr, nullptr);
        if (client < 0) return;  // the socket was shut down
        if (m_stopping) {
          ::close(client);
          return;
        }
        ++m_accepted;
        ::close(client);
      }
    });
  }
  ~PosixClosingListener() override {
    m_stopping = true;
    ::shutdown(m_fd, SHUT_RDWR);
    m_thread.join();
    ::close(m_fd);
  }
  std::uint16_t Port() const override { return m_port; }
  int Accepted() const override { return m_accepted; }

 private:
  int m_fd;
  std::uint16_t m_port;
  std::atomic<bool> m_stopping{false};
  std::atomic<int> m_accepted{0};
  std::thread m_thread;
};

class PosixSilentListener : public SilentListener {
 public:
  explicit PosixSilentListener(int fd, std::uint16_t port) : m_fd(fd), m_port(port) {
    m_thread = std::thread([this] {
      for (;;) {
        const int client = ::accept(m_fd, nullptr, nullptr);
        if (client < 0) return;  // the socket was shut down
        m_clients.push_back(client);
        ++m_accepted;
      }
    });
  }
  ~PosixSilentListener() override {
    ::shutdown(m_fd, SHUT_RDWR);
    m_thread.join();
    ::close(m_fd);
    for (int client : m_clients) ::close(client);
  }
  std::uint16_t Port() const override { return m_port; }
  int Accepted() const override { return m_accepted; }

 private:
  int m_fd;
  std::uint16_t m_port;
  std::atomic<int> m_accepted{0};
  std::vector<int> m_clients;  // the accepting thread's until it is joined
  std::thread m_thread;
};

int ListeningSocket(std::uint16_t* port) {
  const int fd = LoopbackSocket(0, port);
  if (fd < 0) return -1;
  if (::listen(fd, 16) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

std::unique_ptr<TestHttpServer> StartTestServer(TestHandler handler, std::uint16_t port,
                                                const TlsFiles* tls) {
  auto server = std::make_unique<HttplibServer>(std::move(handler), tls);
  if (!server->Listen(port)) return nullptr;
  return server;
}

std::uint16_t UnusedPort() {
  std::uint16_t port = 0;
  const int fd = LoopbackSocket(0, &port);
  if (fd < 0) return 0;
  ::close(fd);
  return port;
}

std::unique_ptr<ClosingListener> StartClosingListener() {
  std::uint16_t port = 0;
  const int fd = ListeningSocket(&port);
  if (fd < 0) return nullptr;
  return std::make_unique<PosixClosingListener>(fd, port);
}

std::unique_ptr<SilentListener> StartSilentListener() {
  std::uint16_t port = 0;
  const int fd = ListeningSocket(&port);
  if (fd < 0) return nullptr;
  return std::make_unique<PosixSilentListener>(fd, port);
}

}  // namespace QuickKit::test
