// What only the Linux port can show here: TLS against a loopback server
// with the test CA, the statistics POST, proxies from the environment.
#include <gtest/gtest.h>

#include <string>

#include "net/internet.h"
#include "scoped_env_posix.h"
#include "test_server.h"

namespace QuickKit {
namespace {

const std::string kTlsData = std::string(NORVANE_TEST_DATA) + "/tls/";

class TlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const test::TlsFiles files{kTlsData + "localhost.pem", kTlsData + "localhost.key"};
    server = test::StartTestServer(test::StandardResponse, 0, &files);
    ASSERT_NE(server, nullptr);
  }
  std::string Url(const std::string& host, const std::string& path) const {
    return "https://" + host + ":" + std::to_string(server->Port()) + path;
  }
  std::unique_ptr<test::TestHttpServer> server;
};

TEST_F(TlsTest, TrustsTheConfiguredCaAndChecksTheName) {
  ScopedEnv ca("NORVANE_CA_FILE", (kTlsData + "ca.pem").c_str());
  InternetSession session(false);
  ASSERT_EQ(session.Open(), S_OK);
  InternetStream stream;
  ASSERT_EQ(stream.OpenUrlStream(&session, Url("localhost", "/file/5000"), nullptr), S_OK);
  std::string body;
  StringAsSeqStreamA sink(&body);
  EXPECT_EQ(CopyStream(&stream, nullptr, &sink, 5000), S_OK);
  EXPECT_TRUE(body == test::PatternBytes(5000));
  // The certificate names localhost only: an address does not match it.
  EXPECT_EQ(stream.OpenUrlStream(&session, Url("127.0.0.1", "/file/5000"), nullptr),
            HRESULT_FROM_WIN32(ERROR_INTERNET_INVALID_CA));
}

TEST_F(TlsTest, UnknownCaIsRefused) {
  ScopedEnv ca("NORVANE_CA_FILE", nullptr);
  InternetSession session(false);
  ASSERT_EQ(session.Open(), S_OK);
  InternetStream stream;
  EXPECT_EQ(stream.OpenUrlStream(&session, Url("localhost", "/status/200"), nullptr),
            HRESULT_FROM_WIN32(ERROR_INTERNET_INVALID_CA));
}

TEST(TlsServer, SelfSignedCertificateIsRefusedEvenWithTheTestCa) {
  const test::TlsFiles files{kTlsData + "untrusted.pem", kTlsData + "untrusted.key"};
  auto server = test::StartTestServer(test::StandardResponse, 0, &files);
  ASSERT_NE(server, nullptr);
  ScopedEnv ca("NORVANE_CA_FILE", (kTlsData + "ca.pem").c_str());
  InternetSession session(false);
  ASSERT_EQ(session.Open(), S_OK);
  InternetStream stream;
  EXPECT_EQ(
      stream.OpenUrlStream(
          &session, "https://localhost:" + std::to_string(server->Port()) + "/status/200", nullptr),
      HRESULT_FROM_WIN32(ERROR_INTERNET_INVALID_CA));
}

TEST_F(TlsTest, StatisticsPostGoesToTheConfiguredCollector) {
  ScopedEnv ca("NORVANE_CA_FILE", (kTlsData + "ca.pem").c_str());
  ScopedEnv collector("NORVANE_COLLECTOR_URL", Url("localhost", "/").c_str());
  InternetSession session;
  ASSERT_EQ(session.Open(), S_OK);
  HttpConnection connection;
  ASSERT_EQ(connection.Connect(&session), S_OK);
  EXPECT_TRUE(connection.Secure());
  for (int hit = 0; hit < 2; ++hit) {
    HttpRequest request;
    ASSERT_EQ(request.OpenRequest(&connection, "status/200?v=1&t=event&ec=a%20b"), S_OK);
    ASSERT_EQ(request.Send(), S_OK);
    NullSeqStream sink;
    EXPECT_EQ(CopyStream(&request, nullptr, &sink, kUnknownTotal), S_OK);
  }
  const auto requests = server->Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/status/200?v=1&t=event&ec=a%20b");
  EXPECT_EQ(requests[1].userAgent, BuildUserAgent());
}

// Only here: WinINet keeps its own receive time-out, which Wine does not
// apply to a session, so under Wine a stalled server would hang the test.
TEST(StalledServer, TimesOutInsteadOfBlockingForEver) {
  auto server = test::StartTestServer(test::StandardResponse);
  ASSERT_NE(server, nullptr);
  const std::string base = "http://127.0.0.1:" + std::to_string(server->Port());
  InternetSession session(false);
  ASSERT_EQ(session.Open(), S_OK);
  ASSERT_EQ(session.SetTimeouts(2000, 1000), S_OK);
  {
    InternetStream stream;
    EXPECT_EQ(stream.OpenUrlStream(&session, base + "/stall-headers", nullptr),
              HRESULT_FROM_WIN32(ERROR_INTERNET_TIMEOUT));
  }
  InternetStream stream;
  ASSERT_EQ(stream.OpenUrlStream(&session, base + "/stall-body", nullptr), S_OK);
  NullSeqStream sink;
  EXPECT_EQ(CopyStream(&stream, nullptr, &sink, 1100), HRESULT_FROM_WIN32(ERROR_INTERNET_TIMEOUT));
}

TEST(ProxyFromEnvironment, RequestsGoThroughTheProxy) {
  auto proxy = test::StartTestServer(test::StandardResponse);
  ASSERT_NE(proxy, nullptr);
  const std::string proxyUrl = "http://127.0.0.1:" + std::to_string(proxy->Port());
  ScopedEnv http("http_proxy", proxyUrl.c_str());
  ScopedEnv noProxy("no_proxy", nullptr);
  ScopedEnv noProxyUpper("NO_PROXY", nullptr);
  InternetSession session(true);  // a dialog would be allowed, but there is none here
  ASSERT_EQ(session.Open(), S_OK);
  InternetStream stream;
  // The host does not exist: only the proxy can answer.
  EXPECT_EQ(stream.OpenUrlStream(&session, "http://catalogue.invalid/status/200", nullptr), S_OK);
  EXPECT_EQ(stream.OpenUrlStream(&session, "http://catalogue.invalid/status/407", nullptr),
            E_ACCESSDENIED);
  const auto requests = proxy->Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].target, "http://catalogue.invalid/status/200");
}

}  // namespace
}  // namespace QuickKit
