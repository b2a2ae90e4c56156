// Invariant checks of the catalogue parser. They stay on in every build:
// a broken invariant ends the load with an exception carrying the
// invariant's text, which the catalogue's loader turns into a failed load,
// instead of reading outside a buffer.
#pragma once

#include <stdexcept>

namespace bright_setup {

inline void VerInfoAssert(bool holds, const char* invariantText) {
  if (!holds) throw std::logic_error(invariantText);
}

}  // namespace bright_setup
