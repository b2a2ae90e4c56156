// The program's process-wide flags are set once and never cleared:
// connectionPromptSettled (net/reconnect_prompt.h) and StatisticsEnabled
// (stats/usage_statistics.h). A test that sets them, or needs them clear,
// holds a ScopedProcessFlags for its whole run (as a member of its fixture,
// or first thing in the test): the flags it names are cleared when it
// begins and again when it ends, so that every test starts as a fresh
// program would, also where all tests share one process (under Wine).
#pragma once

#include <atomic>
#include <initializer_list>
#include <vector>

namespace QuickKit {

class ScopedProcessFlags {
 public:
  ScopedProcessFlags(std::initializer_list<std::atomic<bool>*> flags) : m_flags(flags) { Clear(); }
  ~ScopedProcessFlags() { Clear(); }
  ScopedProcessFlags(const ScopedProcessFlags&) = delete;
  ScopedProcessFlags& operator=(const ScopedProcessFlags&) = delete;

 private:
  void Clear() {
    for (std::atomic<bool>* flag : m_flags) flag->store(false);
  }

  std::vector<std::atomic<bool>*> m_flags;
};

}  // namespace QuickKit
