// What the page's methods may ask of the main window: show it (the page
// has started up), minimise it, close it. Implemented by the window host of
// each port; called on the user-interface thread. Each returns whether the
// window could be told; closing happens after the call has returned, from
// the main loop, so the caller's reply still reaches the page.
#pragma once

namespace UiDeck {

class IWindowCommands {
 public:
  virtual ~IWindowCommands() = default;
  virtual bool Show() = 0;
  virtual bool Minimize() = 0;
  virtual bool Close() = 0;
};

}  // namespace UiDeck
