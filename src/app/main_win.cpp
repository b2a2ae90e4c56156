#include <windows.h>

#include <cstdlib>

#include "app/win_entry.h"

// The runtime's default terminate handler prints the exception's demangled
// type, which links the whole demangler (about 45 KB) into a GUI program
// that has no console to print to. The entry installs its own handler
// first thing; until then a terminate simply aborts.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int showCommand) {
  return bright_setup::RunProgram(commandLine, showCommand);
}
