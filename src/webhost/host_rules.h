// The decisions of the window and browser host, kept apart from the
// toolkit so that both ports make them the same way: window placement, the
// drag strip, context menus, which pages the browser may show, and the
// script that delivers a notification to the page. Pure functions.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace UiDeck {

// The window's fixed size, in the page's CSS pixels (GTK's logical pixels
// at zoom 1).
constexpr int kWindowWidth = 858;
constexpr int kWindowHeight = 610;
// The strip at the top of the page that moves the borderless window, in
// CSS pixels: the page's header without its buttons.
constexpr int kDragStripWidth = 760;
constexpr int kDragStripHeight = 35;

struct ScreenRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

struct ScreenPoint {
  int x = 0;
  int y = 0;
};

// The window's top-left corner, centred on the monitor; an axis on which
// the window does not fit starts at the monitor's edge.
ScreenPoint CentredWindowOrigin(const ScreenRect& monitor, int width, int height);

// Whether a press at (x, y) in the browser's own coordinates lands in the
// drag strip. The point is turned into CSS pixels by the page's zoom; the
// strip is never scaled, so it is the same part of the page at every scale
// (left and top edges inside, right and bottom outside).
bool InDragStrip(double x, double y, double zoom);

// The browser's context menu only where it helps: in editable fields and
// on selected text.
bool ShowsContextMenu(bool editable, bool selection);

// Whether the browser may show uri: only file:// addresses (no host, or
// "localhost") of files inside layoutFolder, an absolute folder path.
// Percent escapes are decoded first; a path with "." or ".." segments, a
// NUL or an escaped '/' is refused, as is anything that is not file://.
bool IsInsideLayout(std::string_view uri, std::string_view layoutFolder);

// The path of a file:// address, decoded; nullopt when uri is not a plain
// local file address (see IsInsideLayout).
std::optional<std::string> LocalPathOfFileUri(std::string_view uri);

// The file:// address of an absolute path, every byte outside the
// unreserved set and '/' percent-escaped.
std::string FileUriOfPath(std::string_view path);

// The script that calls api.method() in the page, with a string, an
// integer or no argument. Names and text are written as JS string literals
// (never pasted raw), so nothing in them can change the script. The script
// evaluates to true when the page had the method and it returned without
// throwing, false otherwise.
std::string NotifyScript(std::string_view api, std::string_view method);
std::string NotifyScript(std::string_view api, std::string_view method, std::string_view text);
std::string NotifyScript(std::string_view api, std::string_view method, int number);

}  // namespace UiDeck
