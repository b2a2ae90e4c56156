// Real HTTP servers on loopback for the network tests, started in-process.
// Linux serves with cpp-httplib (HTTP and HTTPS); the Windows build has no
// cpp-httplib, so there a small Winsock server of the tests' own answers
// the same responses over plain HTTP.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace QuickKit::test {

struct TestResponse {
  enum class Mode {
    Normal,        // body with Content-Length
    NoLength,      // body without Content-Length (chunked or until close)
    CutShort,      // announces body + 1000 bytes, sends body, closes
    StallBody,     // announces body + 1000 bytes, sends body, then waits until the server stops
    StallHeaders,  // answers nothing until the server stops
    CutAt,         // announces the whole body, sends its first cutAt bytes, closes
    StallAt,       // announces the whole body, sends its first cutAt bytes, then
                   // waits until the server stops
  };
  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  Mode mode = Mode::Normal;
  std::size_t cutAt = 0;  // CutAt and StallAt
};

struct TestRequest {
  std::string method;
  std::string target;  // path and query as sent (origin or absolute form)
  std::string userAgent;
  std::string range;    // the Range header, if any
  std::string ifRange;  // the If-Range header, if any
};

using TestHandler = std::function<TestResponse(const TestRequest&)>;

struct TlsFiles {
  std::string certificate;
  std::string key;
};

class TestHttpServer {
 public:
  virtual ~TestHttpServer() = default;
  virtual std::uint16_t Port() const = 0;
  // Requests seen so far, oldest first.
  virtual std::vector<TestRequest> Requests() const = 0;
  // Body bytes handed to the network so far, every response counted.
  virtual std::uint64_t BodyBytesSent() const = 0;
};

// Listens on 127.0.0.1 (port 0: any free one). Null when it cannot start.
// TLS only on Linux.
std::unique_ptr<TestHttpServer> StartTestServer(TestHandler handler, std::uint16_t port = 0,
                                                const TlsFiles* tls = nullptr);

// A loopback port on which nothing listens (it was free a moment ago).
std::uint16_t UnusedPort();

// Accepts connections on loopback and closes each at once; counts them.
class ClosingListener {
 public:
  virtual ~ClosingListener() = default;
  virtual std::uint16_t Port() const = 0;
  virtual int Accepted() const = 0;
};
std::unique_ptr<ClosingListener> StartClosingListener();

// Accepts connections on loopback and keeps each open without a word until
// it stops: a server that stalls before its first byte, also before a TLS
// handshake. Counts them.
class SilentListener {
 public:
  virtual ~SilentListener() = default;
  virtual std::uint16_t Port() const = 0;
  virtual int Accepted() const = 0;
};
std::unique_ptr<SilentListener> StartSilentListener();

// The responses most tests use, by path:
//   /status/N         status N, a short body
//   /redirect         302 to /status/200
//   /file/N           N bytes of PatternBytes
//   /nolength/N       the same without Content-Length
//   /named            Content-Disposition: attachment; filename=setup.exe
//   /named-quoted     Content-Disposition: attachment; filename="my setup.exe"
//   /located          200 with Location: http://example.test/dl/app.exe?x=1
//   /short            CutShort, 100 bytes sent
//   /stall-body       StallBody, 100 bytes sent
//   /stall-headers    StallHeaders
// Absolute-form targets (through a proxy) are routed by their path. Anything
// else is a 404.
TestResponse StandardResponse(const TestRequest& request);

// n bytes of a fixed, non-repeating-per-256 pattern.
std::string PatternBytes(std::size_t n);

// The whole body announced with ETag etag, but only its first cutAt bytes
// sent: mode is CutAt (then the connection closes) or StallAt.
TestResponse BodyCutAt(const std::string& body, std::size_t cutAt, const std::string& etag,
                       TestResponse::Mode mode = TestResponse::Mode::CutAt);

// body answered as a server that resumes answers: with ETag etag; a request
// for "bytes=N-" whose If-Range is absent or etag gets 206 with the rest and
// its Content-Range, any other request 200 with the whole body.
TestResponse RangedBody(const TestRequest& request, const std::string& body,
                        const std::string& etag);

}  // namespace QuickKit::test
