// A small OLE container of our own for the system web-browser control: the
// control is created in place inside a child window of the frame, finds
// the page's window.external through GetExternal, and is asked the host's
// questions of IDocHostUIHandler (no context menu outside fields and
// selections, no replacement drop target, nothing translated). Windows
// only; user-interface thread only.
#pragma once

#include <windows.h>
// After windows.h:
#include <oaidl.h>

#include <memory>
#include <string>

namespace atl_web_core {

class BrowserSite;

class BrowserHost {
 public:
  // Creates the control inside host (a child window of frame) and begins
  // loading url (a local file path). external is handed to the page as
  // window.external, with a reference added on each request. nullptr with
  // the failing step's result in *result.
  static std::unique_ptr<BrowserHost> Create(HWND frame, HWND host, IDispatch* external,
                                             const std::wstring& url, HRESULT* result);
  // Deactivates and releases the control.
  ~BrowserHost();
  BrowserHost(const BrowserHost&) = delete;
  BrowserHost& operator=(const BrowserHost&) = delete;

  // The control fills rect of the host window.
  void Resize(const RECT& rect);
  // Gives the control the keyboard focus.
  void Activate();
  // A keyboard or mouse message for the control's own keys (Tab, Enter,
  // the arrows): true when the control took it.
  bool TranslateAccelerator(MSG* message);
  // Calls api.method(argument) in the page: argument is a BSTR, an integer
  // or nothing (null). False when any step fails: no document yet, no such
  // object or method, a script error.
  bool CallPage(const std::wstring& api, const std::wstring& method, VARIANT* argument);

 private:
  BrowserHost() = default;
  std::unique_ptr<BrowserSite> m_site;
};

}  // namespace atl_web_core
