// What a port's main window tells its owner, the controller. Called on the
// user-interface thread.
#pragma once

namespace atl_web_core {

class IMainWindowEvents {
 public:
  virtual ~IMainWindowEvents() = default;
  // The desktop session is ending (SIGTERM, SIGHUP, the end of the logon
  // session). Called before the window closes; the message loop returns
  // afterwards.
  virtual void OnSessionEnding() = 0;
  // The page's web process died and the page is loading again.
  // Notifications sent from here on reach the new page once it has loaded:
  // the place to give it back the program's state.
  virtual void OnPageRestarted() = 0;
};

}  // namespace atl_web_core
