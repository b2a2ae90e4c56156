// The Windows main window under Wine, in a real X server (xvfb-run). Wine
// here has no HTML engine: the browser control is created and hosted, but
// no page loads, so what depends on a page (window.external called by a
// script, notifications that reach one) is left to the Linux port's tests
// of the same rules; here a notification can only fail. Creating the
// control costs Wine seconds here (its navigation waits for a service that
// does not start), so the tests that leave the window open share one.
#include "webhost/win/main_window.h"

#include <windows.h>
// After windows.h:
#include <ole2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <utility>
#include <vector>

#include "fake_js_methods.h"
#include "webhost/host_rules.h"
#include "wine_desktop_win.h"

namespace atl_web_core {
namespace {

struct RecordingEvents : IMainWindowEvents {
  int sessionEnding = 0;
  void OnSessionEnding() override { ++sessionEnding; }
  void OnPageRestarted() override {}
};

class WineDesktopReady : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(QuickKit::test::WaitForWineDesktop()); }
};
const auto* const g_desktop = ::testing::AddGlobalTestEnvironment(new WineDesktopReady);

// One window with its page's stand-in and owner.
struct WindowUnderTest {
  bright_setup::FakeJsMethods page;
  RecordingEvents events;
  std::unique_ptr<MainWindow> window;

  void Create() {
    MainWindowParams params;
    params.startPage = NORVANE_TEST_PAGE;
    std::string error;
    window = MainWindow::Create(params, page, &events, &error);
    ASSERT_NE(window, nullptr) << error;
  }
};

class OleTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr))); }
  void TearDown() override { ::OleUninitialize(); }
};

// The checks that leave the window open, on one window in this order.
class MainWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ::OleInitialize(nullptr);
    shared = new WindowUnderTest;
    shared->Create();
  }
  static void TearDownTestSuite() {
    delete shared;
    shared = nullptr;
    ::OleUninitialize();
  }
  void SetUp() override { ASSERT_NE(shared->window, nullptr); }

  // A client point of the browser window as the screen point of a hit test.
  static LRESULT HitTest(HWND target, int x, int y) {
    POINT point{x, y};
    ::ClientToScreen(shared->window->BrowserWindow(), &point);
    return ::SendMessageW(target, WM_NCHITTEST, 0, MAKELPARAM(point.x, point.y));
  }

  static WindowUnderTest* shared;
  MainWindow* window() { return shared->window.get(); }
};
WindowUnderTest* MainWindowTest::shared = nullptr;

TEST_F(MainWindowTest, FrameIsBorderlessSizedByTheDpiAndPlacedOnTheScreen) {
  HWND frame = window()->Frame();
  const LONG style = ::GetWindowLongW(frame, GWL_STYLE);
  EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
  EXPECT_EQ(style & WS_SYSMENU, WS_SYSMENU);

  const int width = ::MulDiv(UiDeck::kWindowWidth, static_cast<int>(window()->Dpi()), 96);
  const int height = ::MulDiv(UiDeck::kWindowHeight, static_cast<int>(window()->Dpi()), 96);
  RECT rect{};
  ASSERT_TRUE(::GetWindowRect(frame, &rect));
  EXPECT_EQ(rect.right - rect.left, width);
  EXPECT_EQ(rect.bottom - rect.top, height);
  // Centred; an axis on which the window does not fit starts at 0 (the
  // X server of the test command is 640 x 480).
  const int screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
  EXPECT_EQ(rect.left, std::max(0, (screenWidth - width) / 2));
  EXPECT_EQ(rect.top, std::max(0, (screenHeight - height) / 2));
  // The browser window fills the frame.
  RECT client{};
  ::GetClientRect(window()->BrowserWindow(), &client);
  EXPECT_EQ(client.right, width);
  EXPECT_EQ(client.bottom, height);
}

TEST_F(MainWindowTest, DragStripIsThePagesTop760By35) {
  struct Case {
    int x, y;
    bool inStrip;
  };
  const double zoom = window()->Dpi() / 96.0;
  auto scaled = [zoom](int v) { return static_cast<int>(v * zoom); };
  const Case cases[] = {
      {0, 0, true}, {759, 34, true}, {760, 10, false}, {10, 35, false}, {400, 300, false}};
  for (const Case& c : cases) {
    const int x = scaled(c.x), y = scaled(c.y);
    EXPECT_EQ(HitTest(window()->Frame(), x, y) == HTCAPTION, c.inStrip) << c.x << "," << c.y;
    // A window inside the frame lets the test through to the frame.
    EXPECT_EQ(HitTest(window()->BrowserWindow(), x, y) == HTTRANSPARENT, c.inStrip)
        << c.x << "," << c.y;
  }
}

TEST_F(MainWindowTest, NotificationWithoutALoadedPageFailsAndLeavesNoTrace) {
  EXPECT_FALSE(window()->Notify("ClientAPI", "GoToPage", 3));
  EXPECT_FALSE(window()->Notify("ClientAPI", "ChangedAttr", "qrCode"));
  EXPECT_FALSE(window()->Notify("AreaAPI", "CollectionChanged"));
  EXPECT_TRUE(shared->page.calls.empty());
}

// The frame shows at once; the page only when it says it is ready.
TEST_F(MainWindowTest, PageStaysHiddenUntilShow) {
  EXPECT_TRUE(::IsWindowVisible(window()->Frame()));
  EXPECT_FALSE(::IsWindowVisible(window()->BrowserWindow()));
  EXPECT_TRUE(window()->Show());
  EXPECT_TRUE(::IsWindowVisible(window()->BrowserWindow()));
}

// Posts from a worker thread reach the handler on this thread, in order;
// the window's commands wait for the loop, and closing from the handler
// ends it.
TEST_F(OleTest, CustomMessagesFromAWorkerArriveInOrderOnTheLoop) {
  WindowUnderTest test;
  ASSERT_NO_FATAL_FAILURE(test.Create());
  MainWindow* window = test.window.get();
  const DWORD uiThread = ::GetCurrentThreadId();
  std::vector<std::pair<UiDeck::InstallStatus, std::int32_t>> seen;
  bool minimisedBeforeTheEnd = false;
  window->SetCustomMessageHandler([&](UiDeck::InstallStatus status, std::int32_t value) {
    EXPECT_EQ(::GetCurrentThreadId(), uiThread);
    seen.emplace_back(status, value);
    if (status == UiDeck::kInstallFinished) {
      minimisedBeforeTheEnd = ::IsIconic(window->Frame()) != FALSE;
      EXPECT_TRUE(window->Close());
    }
  });
  ASSERT_TRUE(window->Minimize());
  EXPECT_FALSE(::IsIconic(window->Frame()));  // nothing happens before the loop runs
  UiDeck::ICustomMessagePoster& poster = window->CustomMessages();
  std::thread worker([&] {
    poster.PostCustomMessage(UiDeck::kInstallProgress, 10);
    poster.PostCustomMessage(UiDeck::kInstallProgress, 20);
    poster.PostCustomMessage(static_cast<UiDeck::InstallStatus>(7), 0);
    poster.PostCustomMessage(UiDeck::kInstallFinished, 3);
  });
  worker.join();
  window->Run();
  EXPECT_TRUE(window->IsClosed());
  EXPECT_TRUE(minimisedBeforeTheEnd);
  const std::vector<std::pair<UiDeck::InstallStatus, std::int32_t>> expected = {
      {UiDeck::kInstallProgress, 10},
      {UiDeck::kInstallProgress, 20},
      {static_cast<UiDeck::InstallStatus>(7), 0},
      {UiDeck::kInstallFinished, 3}};
  EXPECT_EQ(seen, expected);
  // The window has gone: later posts and commands find nobody.
  EXPECT_FALSE(poster.PostCustomMessage(UiDeck::kInstallProgress, 30));
  EXPECT_FALSE(window->Close());
}

TEST_F(OleTest, QueuedEndOfSessionTellsTheOwnerAndClosesTheWindow) {
  WindowUnderTest test;
  ASSERT_NO_FATAL_FAILURE(test.Create());
  ASSERT_TRUE(::PostMessageW(test.window->Frame(), WM_QUERYENDSESSION, 0, 0));
  test.window->Run();
  EXPECT_EQ(test.events.sessionEnding, 1);
  EXPECT_TRUE(test.window->IsClosed());
}

}  // namespace
}  // namespace atl_web_core
