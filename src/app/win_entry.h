// The process entry of the Windows program, shared by wWinMain and by the
// tests that run the same program with a hand on its window.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/installer_app.h"
#include "webhost/win/main_window.h"

namespace bright_setup {

struct EntryHooks {
  // Told once the main window exists, before the catalogue is loaded.
  std::function<void(InstallerApp&, atl_web_core::MainWindow&)> windowCreated;
};

// Crash handlers; the crash report for "-crash"; the single-instance mutex;
// then the controller until its window closes. The exit code: 0, or -1
// when an error ended the program (shown in a box titled "Error").
int RunProgram(const wchar_t* commandLine, int showCommand, const EntryHooks& hooks = {});

// The elements of a command line (CommandLineToArgvW); none when it cannot
// be split.
std::vector<std::string> SplitCommandLine(const wchar_t* commandLine);

}  // namespace bright_setup
