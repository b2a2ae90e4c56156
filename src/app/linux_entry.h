// The process entry of the Linux program, shared by its main() and by the
// test driver that runs the same program with a hand on its window.
#pragma once

#include <functional>

#include "app/installer_app.h"
#include "webhost/gtk/main_window.h"

namespace bright_setup {

struct EntryHooks {
  // Told once the main window exists, before the catalogue is loaded.
  std::function<void(InstallerApp&, atl_web_core::MainWindow&)> windowCreated;
};

// Crash handlers; the crash report for "-crash"; the single-instance lock;
// then the controller until its window closes. The process exit status: 0,
// or -1 when an error ended the program (shown in a dialog titled "Error").
int RunProgram(int argc, char** argv, const EntryHooks& hooks = {});

}  // namespace bright_setup
