// Scripts for the page (the program's notifications), in order. Evaluated
// while a page that has finished loading is shown; held from the start of
// a load (or the death of the page's process) until the next load has
// finished, then released in order. User-interface thread.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace UiDeck {

class PageScriptQueue {
 public:
  // More than this many held scripts means no page is coming; later ones
  // are refused rather than kept without end.
  static constexpr std::size_t kMaxHeld = 4096;

  enum class Admission { kRunNow, kHeld, kRefused };

  Admission Submit(const std::string& script);

  // A page has finished loading: the held scripts, oldest first; scripts
  // submitted from now on run at once.
  std::vector<std::string> PageLoaded();

  // A new load has started or the page's process has died.
  void PageGone() { m_loaded = false; }

  bool Loaded() const { return m_loaded; }

 private:
  bool m_loaded = false;
  std::vector<std::string> m_held;
};

}  // namespace UiDeck
