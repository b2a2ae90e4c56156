#include <gtk/gtk.h>

#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/crash_handlers.h"
#include "app/gtk_app_port.h"
#include "app/linux_entry.h"
#include "app/program_entry.h"
#include "app/single_instance.h"
#include "support/config.h"
#include "support/program_path.h"

namespace bright_setup {
namespace {

// The dialog needs a display; without one the text goes to stderr.
void ShowError(const std::string& text, bool gtkReady) {
  std::fprintf(stderr, "%s: %s\n", kErrorTitle, text.c_str());
  if (gtkReady) ShowMessageBox(text, kErrorTitle);
}

}  // namespace

int RunProgram(int argc, char** argv, const EntryHooks& hooks) {
  const std::string programPath = QuickKit::GetProgramPath();
  InstallCrashHandlers(programPath);

  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (HasCrashSwitch(arguments)) {
    RunCrashReport();
    return 0;
  }

  bool gtkReady = false;
  try {
    SingleInstanceLock lock;
    gtkReady = gtk_init_check(&argc, &argv) != FALSE;
    if (lock.GetState() == SingleInstanceLock::State::kHeldByOther) {
      if (gtkReady) {
        ShowMessageBox(kAnotherInstanceText, QuickKit::kProgramTitle);
      } else {
        std::fprintf(stderr, "%s\n", kAnotherInstanceText);
      }
      return 0;
    }
    if (!gtkReady) throw std::runtime_error("Cannot open the display");

    InstallerApp* appForHooks = nullptr;
    GtkAppPort port([&](atl_web_core::MainWindow& window) {
      if (hooks.windowCreated && appForHooks != nullptr) hooks.windowCreated(*appForHooks, window);
    });
    AppOptions options;
    options.programPath = programPath;
    InstallerApp app(port, options);
    appForHooks = &app;
    app.Run();
  } catch (const std::exception& error) {
    ShowError(error.what(), gtkReady);
    return -1;
  }
  return 0;
}

}  // namespace bright_setup
