#include "webhost/host_rules.h"

#include <algorithm>

#include "support/json.h"

namespace UiDeck {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string JsLiteral(std::string_view text) {
  std::string literal = "\"";
  QuickKit::AppendJsonEscaped(literal, text);
  literal += '"';
  return literal;
}

// Calls the method only when the page defines it, and turns every failure
// into false: a notification never raises an error in the page.
std::string CallScript(std::string_view api, std::string_view method, const std::string& argument) {
  return "(function(){try{var o=window[" + JsLiteral(api) + "];var m=" + JsLiteral(method) +
         ";if(!o||typeof o[m]!==\"function\")return false;o[m](" + argument +
         ");return true;}catch(e){return false;}})()";
}

}  // namespace

ScreenPoint CentredWindowOrigin(const ScreenRect& monitor, int width, int height) {
  return {monitor.x + std::max(0, (monitor.width - width) / 2),
          monitor.y + std::max(0, (monitor.height - height) / 2)};
}

bool InDragStrip(double x, double y, double zoom) {
  if (!(zoom > 0)) zoom = 1;
  const double cssX = x / zoom;
  const double cssY = y / zoom;
  return cssX >= 0 && cssX < kDragStripWidth && cssY >= 0 && cssY < kDragStripHeight;
}

bool ShowsContextMenu(bool editable, bool selection) { return editable || selection; }

std::optional<std::string> LocalPathOfFileUri(std::string_view uri) {
  constexpr std::string_view kScheme = "file://";
  if (!StartsWithNoCase(uri, kScheme)) return std::nullopt;
  std::string_view rest = uri.substr(kScheme.size());
  rest = rest.substr(0, rest.find_first_of("?#"));
  const std::size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const std::string_view host = rest.substr(0, slash);
  if (!host.empty() && !(host.size() == 9 && StartsWithNoCase(host, "localhost")))
    return std::nullopt;
  const std::string_view encoded = rest.substr(slash);

  std::string path;
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    if (encoded[i] != '%') {
      path += encoded[i];
      continue;
    }
    if (i + 2 >= encoded.size()) return std::nullopt;
    const int high = HexValue(encoded[i + 1]);
    const int low = HexValue(encoded[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    const char c = static_cast<char>(high * 16 + low);
    if (c == '\0' || c == '/') return std::nullopt;
    path += c;
    i += 2;
  }
  // No segment may step out of (or stay in) its folder by name.
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    const std::string_view segment = std::string_view(path).substr(start, end - start);
    if (segment == "." || segment == "..") return std::nullopt;
    start = end + 1;
  }
  return path;
}

bool IsInsideLayout(std::string_view uri, std::string_view layoutFolder) {
  while (layoutFolder.size() > 1 && layoutFolder.back() == '/') layoutFolder.remove_suffix(1);
  if (layoutFolder.empty() || layoutFolder.front() != '/' || layoutFolder == "/") return false;
  const std::optional<std::string> path = LocalPathOfFileUri(uri);
  return path && path->size() > layoutFolder.size() + 1 &&
         path->compare(0, layoutFolder.size(), layoutFolder) == 0 &&
         (*path)[layoutFolder.size()] == '/';
}

std::string FileUriOfPath(std::string_view path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                       (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' ||
                       c == '~' || c == '/';
    if (plain) {
      uri += c;
    } else {
      uri += '%';
      uri += kHex[byte >> 4];
      uri += kHex[byte & 0xF];
    }
  }
  return uri;
}

std::string NotifyScript(std::string_view api, std::string_view method) {
  return CallScript(api, method, "");
}

std::string NotifyScript(std::string_view api, std::string_view method, std::string_view text) {
  return CallScript(api, method, JsLiteral(text));
}

std::string NotifyScript(std::string_view api, std::string_view method, int number) {
  return CallScript(api, method, std::to_string(number));
}

}  // namespace UiDeck
