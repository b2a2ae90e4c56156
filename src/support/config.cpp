#include "support/config.h"

#include <cstdlib>

#include "support/ascii.h"

#ifndef NORVANE_DEFAULT_COLLECTOR_URL
#error "NORVANE_DEFAULT_COLLECTOR_URL comes from the build"
#endif
#ifndef NORVANE_TRACKING_ID
#error "NORVANE_TRACKING_ID comes from the build"
#endif

namespace QuickKit {
namespace {

std::string FromEnvironment(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  if (value != nullptr && *value != '\0') return value;
  return fallback;
}

}  // namespace

std::string CatalogueUrl() {
  return FromEnvironment("NORVANE_CATALOGUE_URL", BuiltInCatalogueUrl().c_str());
}

std::string CollectorUrl() {
  return FromEnvironment("NORVANE_COLLECTOR_URL", NORVANE_DEFAULT_COLLECTOR_URL);
}

std::string TrackingId() { return NORVANE_TRACKING_ID; }

std::string ExtraCaFile() { return FromEnvironment("NORVANE_CA_FILE", ""); }

bool SplitUrl(std::string_view url, UrlParts* parts) {
  const std::size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string_view::npos || schemeEnd == 0) return false;
  UrlParts result;
  result.scheme = AsciiLowered(url.substr(0, schemeEnd));
  std::string_view rest = url.substr(schemeEnd + 3);
  const std::size_t pathStart = rest.find_first_of("/?#");
  std::string_view authority = rest.substr(0, pathStart);
  if (pathStart == std::string_view::npos) {
    result.path.push_back('/');
  } else {
    // "host?query" has its path "/" before the query.
    const std::string_view tail = rest.substr(pathStart);
    if (tail[0] != '/') result.path.push_back('/');
    result.path.append(tail.data(), tail.size());
  }
  // A bracketed IPv6 literal keeps its colons.
  const std::size_t colon = authority.rfind(':');
  const std::size_t bracket = authority.rfind(']');
  std::string_view portText;
  if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
    portText = authority.substr(colon + 1);
    authority = authority.substr(0, colon);
  }
  if (authority.empty()) return false;
  result.host = std::string(authority);
  if (!portText.empty()) {
    unsigned long port = 0;
    for (char c : portText) {
      if (c < '0' || c > '9' || port > 65535) return false;
      port = port * 10 + static_cast<unsigned long>(c - '0');
    }
    if (port == 0 || port > 65535) return false;
    result.port = static_cast<std::uint16_t>(port);
  } else if (result.scheme == "http") {
    result.port = 80;
  } else if (result.scheme == "https") {
    result.port = 443;
  } else if (result.scheme == "ftp") {
    result.port = 21;
  } else {
    return false;
  }
  *parts = std::move(result);
  return true;
}

}  // namespace QuickKit
