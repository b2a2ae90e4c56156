// The program's arguments as UTF-8. On Windows they are read from the
// UTF-16 command line, since main's argv holds them in the ANSI code page,
// where a file name with other characters cannot be told.
#pragma once

#include <string>
#include <vector>

// The arguments without the program name. False when the command line
// cannot be read as Unicode (an unpaired surrogate, a failed split).
bool CommandLineArguments(int argc, char** argv, std::vector<std::string>& args);
