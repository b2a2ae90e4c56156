// The start at the next logon beside the Run value: on Windows the Run
// value is itself the entry; on Linux the desktop's autostart folder holds
// NorvaneInstaller.desktop.
#pragma once

#include <string>

namespace bright_setup {

// Best effort, like the registry writes: false when the entry could not be
// written or removed.
bool WriteAutostartEntry(const std::string& programPath);
bool RemoveAutostartEntry();

// The desktop entry's Exec line for a program path, quoted and escaped as
// desktop entries require.
std::string AutostartExecLine(const std::string& programPath);

}  // namespace bright_setup
