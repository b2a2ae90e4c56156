// Wine's desktop on a fresh X server takes a moment before it accepts
// top-level windows (creating one fails with ERROR_INVALID_WINDOW_HANDLE
// meanwhile). Window tests wait for it once before they start.
#pragma once

#include <windows.h>

namespace QuickKit::test {

// True once a top-level window could be made; false after about 30 s.
inline bool WaitForWineDesktop() {
  for (int attempt = 0; attempt < 300; ++attempt) {
    HWND probe = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                   nullptr, nullptr);
    if (probe != nullptr) {
      ::DestroyWindow(probe);
      return true;
    }
    ::Sleep(100);
  }
  return false;
}

}  // namespace QuickKit::test
