#include "webhost/host_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace UiDeck {
namespace {

TEST(WindowPlacement, CentredOnTheMonitorAndNeverOffItsEdge) {
  const struct {
    ScreenRect monitor;
    int x;
    int y;
  } cases[] = {
      {{0, 0, 1920, 1080}, 531, 235},
      {{0, 0, 859, 611}, 0, 0},  // one pixel to spare: integer halves
      {{0, 0, 858, 610}, 0, 0},
      {{0, 0, 800, 600}, 0, 0},            // too small: the top-left corner
      {{0, 0, 1024, 600}, 83, 0},          // fits across only
      {{1920, 0, 1280, 1024}, 2131, 207},  // a second monitor to the right
  };
  for (const auto& c : cases) {
    const ScreenPoint origin = CentredWindowOrigin(c.monitor, kWindowWidth, kWindowHeight);
    EXPECT_EQ(origin.x, c.x) << c.monitor.width << "x" << c.monitor.height;
    EXPECT_EQ(origin.y, c.y) << c.monitor.width << "x" << c.monitor.height;
  }
}

// The strip is the page's top 760 x 35 CSS pixels whatever the scale: at
// 200 % it spans 1520 x 70 of the view, not half of the header.
TEST(DragStrip, SameCssRectangleAtEveryZoom) {
  const struct {
    double x;
    double y;
    double zoom;
    bool inside;
  } cases[] = {
      {759, 34, 1, true},     {0, 0, 1, true},      {760, 10, 1, false},    {10, 35, 1, false},
      {-1, 10, 1, false},     {10, -1, 1, false},   {759.9, 34.9, 1, true}, {1519, 69, 2, true},
      {1000, 60, 2, true},    {1520, 10, 2, false}, {10, 70, 2, false},     {949, 43, 1.25, true},
      {950, 10, 1.25, false}, {759, 34, 0, true},  // no zoom known: none
  };
  for (const auto& c : cases)
    EXPECT_EQ(InDragStrip(c.x, c.y, c.zoom), c.inside) << c.x << "," << c.y << " at " << c.zoom;
}

TEST(ContextMenu, OnlyInFieldsAndOnSelections) {
  EXPECT_FALSE(ShowsContextMenu(false, false));
  EXPECT_TRUE(ShowsContextMenu(true, false));
  EXPECT_TRUE(ShowsContextMenu(false, true));
  EXPECT_TRUE(ShowsContextMenu(true, true));
}

TEST(Navigation, OnlyFilesInsideTheLayout) {
  const std::string layout = "/home/u/.local/share/Norvane Lab/NorvaneInstaller/layout";
  const std::string base = "file:///home/u/.local/share/Norvane%20Lab/NorvaneInstaller/layout";
  const struct {
    std::string uri;
    bool allowed;
  } cases[] = {
      {base + "/production/index.html", true},
      {base + "/production/index.html#install", true},
      {base + "/production/index.html?v=1700000000000", true},
      {"FILE://localhost/home/u/.local/share/Norvane%20Lab/NorvaneInstaller/layout/a.html", true},
      {base + "/production/%69ndex.html", true},  // any escape decodes
      {base, false},                              // the folder itself
      {base + "/", false},
      {base + "X/index.html", false},  // a sibling whose name starts the same
      {base + "/../secret.html", false},
      {base + "/production/%2e%2e/%2E%2E/secret.html", false},
      {base + "/./index.html", false},
      {base + "/production%2Findex.html", false},
      {base + "/index%00.html", false},
      {base + "/index%G0.html", false},
      {base + "/index%2", false},
      {"file://example.com/home/u/.local/share/Norvane%20Lab/NorvaneInstaller/layout/a", false},
      {"file:/home/u/.local/share/Norvane%20Lab/NorvaneInstaller/layout/a.html", false},
      {"file:///etc/passwd", false},
      {"https://www.norvanelab.com/free/", false},
      {"about:blank", false},
      {"data:text/html,<p>x</p>", false},
      {"javascript:alert(1)", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsInsideLayout(c.uri, layout), c.allowed) << c.uri;
  EXPECT_TRUE(IsInsideLayout(base + "/a.html", layout + "/"));  // a trailing '/' is the same folder
  EXPECT_FALSE(IsInsideLayout("file:///a.html", "/"));          // never the whole disk
  EXPECT_FALSE(IsInsideLayout(base + "/a.html", "relative/layout"));
}

TEST(Navigation, FileAddressesOfPathsReadBack) {
  const std::string paths[] = {
      "/home/u/Norvane Lab/layout/production/index.html",
      "/tmp/caf\xC3\xA9/100%/a#b?c.html",
      "/tmp/plain-name_1.~x",
  };
  for (const std::string& path : paths) {
    const std::string uri = FileUriOfPath(path);
    EXPECT_EQ(uri.find_first_of(" #?\xC3", 7), std::string::npos) << uri;
    EXPECT_EQ(LocalPathOfFileUri(uri), path) << uri;
  }
  EXPECT_EQ(FileUriOfPath("/a b/c"), "file:///a%20b/c");
}

TEST(Notifications, ArgumentsAreJsLiteralsNeverScript) {
  EXPECT_EQ(NotifyScript("ClientAPI", "GoToPage", 3),
            "(function(){try{var o=window[\"ClientAPI\"];var m=\"GoToPage\";"
            "if(!o||typeof o[m]!==\"function\")return false;o[m](3);return true;}"
            "catch(e){return false;}})()");
  EXPECT_NE(NotifyScript("AreaAPI", "CollectionChanged").find("o[m]();"), std::string::npos);
  EXPECT_NE(NotifyScript("ClientAPI", "GoToPage", -2147483647 - 1).find("o[m](-2147483648);"),
            std::string::npos);

  // Quotes, backslashes, line ends (U+2028 too), NUL and markup stay inside
  // the string literal.
  static const char kText[] = "a\"); alert(1); (\"\\\n\xE2\x80\xA8</script>\0z";
  const std::string text(kText, sizeof(kText) - 1);
  const std::string script = NotifyScript("ClientAPI", "ChangedAttr", text);
  EXPECT_NE(script.find("o[m](\"a\\\"); alert(1); (\\\"\\\\\\n\\u2028<\\/script>\\u0000z\");"),
            std::string::npos)
      << script;
  for (const char c : script) EXPECT_TRUE(c >= 0x20 && c <= 0x7E) << script;
  // Names are literals too.
  EXPECT_NE(NotifyScript("x\"]", "y").find("window[\"x\\\"]\"]"), std::string::npos);
}

}  // namespace
}  // namespace UiDeck
