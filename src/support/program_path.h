// The full path of the running executable (UTF-8).
#pragma once

#include <string>

namespace QuickKit {

// GetModuleFileNameW on Windows, /proc/self/exe on Linux; empty when the
// system cannot tell.
std::string GetProgramPath();

}  // namespace QuickKit
