// Files the program writes for itself are replaced whole: a reader sees
// the old content or the new, never a part.
#pragma once

#include <string>
#include <string_view>

#include "support/hresult.h"

namespace QuickKit {

// Writes content to a temporary file beside path, flushes it to disk and
// renames it over path. The file is private to the user (0600 on Linux).
// On failure path is left as it was and no temporary file remains.
HRESULT WriteFileAtomically(const std::string& path, std::string_view content);

}  // namespace QuickKit
