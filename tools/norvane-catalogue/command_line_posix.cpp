#include "command_line.h"

// The bytes of each argument are the file names and texts as given.
bool CommandLineArguments(int argc, char** argv, std::vector<std::string>& args) {
  args.assign(argv + (argc > 0 ? 1 : 0), argv + argc);
  return true;
}
