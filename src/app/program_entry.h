// The parts of the process entry that both ports share: the crash switch,
// the crash report, the single-instance name and the entry's texts.
#pragma once

#include <string>
#include <vector>

namespace bright_setup {

// Starts the program only to report a crash of the copy before it.
inline constexpr char kCrashSwitch[] = "-crash";
// One running copy per logon session holds this name (a named mutex on
// Windows, a lock file on Linux).
inline constexpr char kSingleInstanceName[] = "{D5AA0810-F024-40EC-823C-32B65E087BE5}";
inline constexpr char kAnotherInstanceText[] = "Another instance is currently running.";
inline constexpr char kErrorTitle[] = "Error";

// Whether any of the arguments (the program's name not among them) is the
// crash switch, exactly and case-sensitively.
bool HasCrashSwitch(const std::vector<std::string>& arguments);

// The crash report run: a statistics client of its own, a session under
// this machine's identifier, the crash event, then the client's end, which
// drains its queue. No lock, no window, no working folder.
void RunCrashReport();

}  // namespace bright_setup
