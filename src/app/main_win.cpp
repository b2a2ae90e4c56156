#include <windows.h>

#include "app/win_entry.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int showCommand) {
  return bright_setup::RunProgram(commandLine, showCommand);
}
