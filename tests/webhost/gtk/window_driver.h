// Drives the real window under Xvfb: runs the GLib main loop until
// something holds, evaluates script in the page and reads its result, and
// moves the real mouse with xdotool at points read from the page. Shared
// by the window tests and the bridge benchmark; everything on the test's
// main thread, which is the window's user-interface thread.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace window_driver {

using std::chrono::milliseconds;

// Gives the process a private home and XDG tree (WebKit and GTK must not
// write into the real ones), no compositing (faster paints without a GPU),
// and initialises GTK. Call first in main(); false when there is no display.
bool InitProcess(int* argc, char*** argv);
// Removes the private tree.
void EndProcess();

// Runs the main loop until done() holds or the time is up; returns done().
bool RunUntil(const std::function<bool()>& done, milliseconds limit = milliseconds(10000));
// Runs the main loop for a while.
void RunFor(milliseconds time);

struct JsResult {
  bool ok = false;
  std::string json;   // the value as JSON ("undefined" when it has none)
  std::string error;  // when !ok
};
// Evaluates script in the page and waits for its value.
JsResult Evaluate(WebKitWebView* view, const std::string& script,
                  milliseconds limit = milliseconds(10000));

// Waits until the view has finished loading a page that has set
// window.pageReady.
bool WaitForPage(WebKitWebView* view, milliseconds limit = milliseconds(15000));

struct Rect {
  double left = 0;
  double top = 0;
  double right = 0;
  double bottom = 0;
};
// The element's box in CSS pixels of the page (getBoundingClientRect).
bool ElementRect(WebKitWebView* view, const std::string& id, Rect* rect);
// A point of the page in CSS pixels, on the screen (X pixels).
void PageToScreen(WebKitWebView* view, double cssX, double cssY, int* x, int* y);

// Runs xdotool with the arguments, keeping the main loop going meanwhile.
bool Xdotool(const std::vector<std::string>& args);
// Presses the left button at (x, y), drags by (dx, dy) in steps, releases.
bool DragMouse(int x, int y, int dx, int dy);
// Right-clicks at (x, y).
bool RightClick(int x, int y);

// The window's top-left corner on the screen.
void WindowOrigin(GtkWindow* window, int* x, int* y);
// Whether a popup menu (a context menu) is on screen.
bool MenuShown();

// Child processes of this one whose command line starts with name.
std::vector<int> ChildProcesses(const std::string& name);

}  // namespace window_driver
