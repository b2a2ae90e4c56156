// The last-resort handlers: a crash, or an exception nobody caught, starts
// a fresh copy of the program with the crash switch, so that the crash is
// reported; only once the user has accepted the licence terms
// (StatisticsEnabled). Before that the system's own handling follows.
#pragma once

#include <string>

namespace bright_setup {

// Installs the handlers for the life of the process: on Linux for the fatal
// signals (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT) and std::terminate.
// programPath is the executable the relaunch starts. Call once, first
// thing, on the main thread.
void InstallCrashHandlers(const std::string& programPath);

}  // namespace bright_setup
