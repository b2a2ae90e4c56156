#include "test_server.h"

#include <cstdlib>

namespace QuickKit::test {

std::string PatternBytes(std::size_t n) {
  std::string bytes(n, '\0');
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

namespace {

bool NumberAfter(const std::string& path, const std::string& prefix, std::size_t* number) {
  if (path.rfind(prefix, 0) != 0 || path.size() == prefix.size()) return false;
  std::size_t value = 0;
  for (std::size_t i = prefix.size(); i < path.size(); ++i) {
    if (path[i] < '0' || path[i] > '9') return false;
    value = value * 10 + static_cast<std::size_t>(path[i] - '0');
  }
  *number = value;
  return true;
}

}  // namespace

TestResponse StandardResponse(const TestRequest& request) {
  std::string path = request.target;
  const std::size_t scheme = path.find("://");
  if (scheme != std::string::npos) {
    const std::size_t slash = path.find('/', scheme + 3);
    path = slash == std::string::npos ? "/" : path.substr(slash);
  }
  path = path.substr(0, path.find('?'));

  TestResponse response;
  std::size_t n = 0;
  if (NumberAfter(path, "/status/", &n)) {
    response.status = static_cast<int>(n);
    // 204 and 304 carry no body: bytes sent after one would be read as the
    // start of the next response on the same connection.
    if (n != 204 && n != 304) response.body = "status " + std::to_string(n);
  } else if (path == "/redirect") {
    response.status = 302;
    response.headers = {{"Location", "/status/200"}};
    response.body = "moved";
  } else if (NumberAfter(path, "/file/", &n)) {
    response.body = PatternBytes(n);
  } else if (NumberAfter(path, "/nolength/", &n)) {
    response.body = PatternBytes(n);
    response.mode = TestResponse::Mode::NoLength;
  } else if (path == "/named") {
    response.headers = {{"Content-Disposition", "attachment; filename=setup.exe"}};
    response.body = "MZ";
  } else if (path == "/named-quoted") {
    response.headers = {{"Content-Disposition", "attachment; filename=\"my setup.exe\""}};
    response.body = "MZ";
  } else if (path == "/located") {
    response.headers = {{"Location", "http://example.test/dl/app.exe?x=1"}};
    response.body = "MZ";
  } else if (path == "/short") {
    response.body = PatternBytes(100);
    response.mode = TestResponse::Mode::CutShort;
  } else if (path == "/stall-body") {
    response.body = PatternBytes(100);
    response.mode = TestResponse::Mode::StallBody;
  } else if (path == "/stall-headers") {
    response.mode = TestResponse::Mode::StallHeaders;
  } else {
    response.status = 404;
    response.body = "not found";
  }
  return response;
}

TestResponse BodyCutAt(const std::string& body, std::size_t cutAt, const std::string& etag,
                       TestResponse::Mode mode) {
  TestResponse response;
  response.headers = {{"ETag", etag}};
  response.body = body;
  response.mode = mode;
  response.cutAt = cutAt;
  return response;
}

TestResponse RangedBody(const TestRequest& request, const std::string& body,
                        const std::string& etag) {
  TestResponse response;
  response.headers = {{"ETag", etag}};
  std::size_t from = 0;
  constexpr char kPrefix[] = "bytes=";
  const std::string& range = request.range;
  const bool asked = range.rfind(kPrefix, 0) == 0 && range.back() == '-' &&
                     NumberAfter(range.substr(0, range.size() - 1), kPrefix, &from);
  if (asked && (request.ifRange.empty() || request.ifRange == etag) && from < body.size()) {
    response.status = 206;
    response.headers.emplace_back("Content-Range", "bytes " + std::to_string(from) + "-" +
                                                       std::to_string(body.size() - 1) + "/" +
                                                       std::to_string(body.size()));
    response.body = body.substr(from);
  } else {
    response.body = body;
  }
  return response;
}

}  // namespace QuickKit::test
